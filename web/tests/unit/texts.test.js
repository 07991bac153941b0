import assert from 'node:assert/strict';
import { test } from 'node:test';

import { missingKeys, textsFor } from '../../www/js/lib/texts.js';

test('Korean and English say the same things', () => {
  assert.deepEqual(missingKeys(), { en: [], ko: [] });
});

test('the interface language picks the texts, others read English', () => {
  assert.equal(textsFor('ko')('navSummary'), '통계');
  assert.equal(textsFor('ko_KR')('navSummary'), '통계');
  assert.equal(textsFor('ja')('navSummary'), 'Summary');
  assert.equal(textsFor('en')('left', '1,000'), '1,000 left');
});
