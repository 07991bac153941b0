import assert from 'node:assert/strict';
import { test } from 'node:test';

import { addDays, normalisePeriod, parseDay, periodContaining, periodLabel, shiftPeriod } from '../../www/js/lib/period.js';

test('only real days are days', () => {
  for (const text of ['2024-02-30', '2023-02-29', '2024-13-01', '2024-00-10', '24-01-01', '2024-1-1', '', null]) {
    assert.equal(parseDay(text), null, String(text));
  }
  assert.deepEqual(parseDay('2024-02-29'), { year: 2024, month: 2, day: 29 });
});

test('day arithmetic crosses months, years and leap days', () => {
  for (const [day, count, result] of [
    ['2024-02-28', 1, '2024-02-29'], ['2023-02-28', 1, '2023-03-01'], ['2024-12-31', 1, '2025-01-01'],
    ['2025-01-01', -1, '2024-12-31'], ['2024-03-31', 30, '2024-04-30'], ['2024-03-10', 365, '2025-03-10'],
  ]) {
    assert.equal(addDays(day, count), result, `${day} ${count}`);
  }
});

// The ledger's month begins on its start day, or on the month's last day in
// a shorter month.
test('the month period holding a day', () => {
  for (const [day, startDay, start, end] of [
    ['2024-03-15', 1, '2024-03-01', '2024-03-31'],
    ['2024-03-15', 25, '2024-02-25', '2024-03-24'],
    ['2024-03-25', 25, '2024-03-25', '2024-04-24'],
    ['2024-03-01', 31, '2024-02-29', '2024-03-30'],
    ['2023-03-01', 31, '2023-02-28', '2023-03-30'],
    ['2024-01-10', 15, '2023-12-15', '2024-01-14'],
  ]) {
    assert.deepEqual(periodContaining(day, startDay), { start, end }, `${day} from ${startDay}`);
  }
});

test('stepping a period', () => {
  for (const [period, count, startDay, result] of [
    [['2024-01-01', '2024-01-31'], 1, 1, ['2024-02-01', '2024-02-29']],
    [['2024-01-01', '2024-01-31'], -1, 1, ['2023-12-01', '2023-12-31']],
    [['2024-11-01', '2024-11-30'], 14, 1, ['2026-01-01', '2026-01-31']],
    [['2024-01-31', '2024-02-28'], 1, 31, ['2024-02-29', '2024-03-30']],
    [['2024-02-29', '2024-03-30'], 1, 31, ['2024-03-31', '2024-04-29']],
    [['2024-12-25', '2025-01-24'], 1, 25, ['2025-01-25', '2025-02-24']],
    // Not a month of the ledger: the same number of days.
    [['2024-03-10', '2024-03-16'], 1, 1, ['2024-03-17', '2024-03-23']],
    [['2024-03-10', '2024-03-16'], -2, 1, ['2024-02-25', '2024-03-02']],
    [['2024-03-05', '2024-03-05'], -5, 1, ['2024-02-29', '2024-02-29']],
  ]) {
    const [start, end] = period;
    assert.deepEqual(shiftPeriod({ start, end }, count, startDay), { start: result[0], end: result[1] },
      `${start}..${end} by ${count} from day ${startDay}`);
  }
});

test('typed periods need two real days in order', () => {
  assert.deepEqual(normalisePeriod('2024-01-01', '2024-01-01'), { start: '2024-01-01', end: '2024-01-01' });
  assert.equal(normalisePeriod('2024-02-01', '2024-01-31'), null);
  assert.equal(normalisePeriod('2024-02-30', '2024-03-01'), null);
});

test('period headings', () => {
  assert.equal(periodLabel({ start: '2024-03-01', end: '2024-03-31' }, 'en-US'), 'March 2024');
  assert.equal(periodLabel({ start: '2024-03-01', end: '2024-03-31' }, 'ko-KR'), '2024년 3월');
  assert.match(periodLabel({ start: '2024-03-25', end: '2024-04-24' }, 'en-US', 25), /Mar 25.*Apr 24, 2024/);
});
