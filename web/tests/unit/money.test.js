import assert from 'node:assert/strict';
import { test } from 'node:test';

import { decimalsOf, formatMoney, localeTag, parseAmount } from '../../www/js/lib/money.js';

test('the money format gives the decimals', () => {
  for (const [format, decimals] of [['0,000.00', 2], ['0,000', 0], ['0,000.000', 3], ['', 0], [undefined, 0]]) {
    assert.equal(decimalsOf(format), decimals, String(format));
  }
});

test('device locales become language tags', () => {
  for (const [identifier, tag] of [['ko_KR', 'ko-KR'], ['en_US@currency=USD', 'en-US'], ['de', 'de'], ['', 'en'], ['not a locale!', 'en']]) {
    assert.equal(localeTag(identifier), tag, identifier);
  }
});

test('amounts show grouped with the currency decimals', () => {
  const cases = [
    [1234567, 'ko-KR', 0, '1,234,567'],
    ['12345.000000', 'ko-KR', 0, '12,345'],
    [-12345, 'ko-KR', 0, '-12,345'],
    [1234.5, 'en-US', 2, '1,234.50'],
    ['-0.004', 'en-US', 2, '0.00'],
    [-0.4, 'ko-KR', 0, '0'],
    [0.125, 'en-US', 2, '0.13'],
    [-0.125, 'en-US', 2, '-0.13'],
    [1234.5, 'de-DE', 2, '1.234,50'],
    ['abc', 'en-US', 2, ''],
  ];
  for (const [value, locale, decimals, text] of cases) {
    assert.equal(formatMoney(value, { locale, decimals }), text, `${value} ${locale}`);
  }
  assert.equal(formatMoney(5, { locale: 'en-US', decimals: 0, signed: true }), '+5');
});

test('typed amounts read back in the locale', () => {
  const cases = [
    ['12,345', 'ko-KR', 12345],
    [' 1 234.50 ', 'en-US', 1234.5],
    ['12.5', 'en-US', 12.5],
    ['1.234,50', 'de-DE', 1234.5],
    ['12,5', 'de-DE', 12.5],
    ['12.5', 'fr-FR', 12.5],
    ['-3', 'en-US', -3],
    ['', 'en-US', NaN],
    ['12a', 'en-US', NaN],
    ['1.2.3', 'en-US', NaN],
    ['₩500', 'ko-KR', NaN],
  ];
  for (const [text, locale, value] of cases) assert.deepEqual(parseAmount(text, locale), value, `${text} ${locale}`);
});
