import assert from 'node:assert/strict';
import { test } from 'node:test';

import { parseObjectText, parseSettingsScript } from '../../www/js/lib/objtext.js';

// Replies in the forms the ledger writes them: bare and quoted keys, tabs,
// runs of spaces, lists joined with "},{".
test('object texts read as data', () => {
  const cases = [
    ["{success:true, conid:'1234567'}", { success: true, conid: '1234567' }],
    ["{success:false, sessionid:''}", { success: false, sessionid: '' }],
    ['{success:true}', { success: true }],
    ["{\tinitData: {initStartDate:'2025-03-01',initEndDate:'2025-03-31',mbid:'1', mbName:'Home'},\tmultiBooks: [{mbid:'1', mbname:'Home', baseDate:'1'}],"
      + "category_1: [{mcid:'10',mcname:'Salary',mcsc:[]}],category_0: [{mcid:'20',mcname:'Food',mcsc:[{mcscid:'21', mcscname:'Lunch'},{mcscid:'22', mcscname:'Cafe'}]}],"
      + "inOutText:[['Income'],['Expense']],assetNames:[]}",
    {
      initData: { initStartDate: '2025-03-01', initEndDate: '2025-03-31', mbid: '1', mbName: 'Home' },
      multiBooks: [{ mbid: '1', mbname: 'Home', baseDate: '1' }],
      category_1: [{ mcid: '10', mcname: 'Salary', mcsc: [] }],
      category_0: [{ mcid: '20', mcname: 'Food', mcsc: [{ mcscid: '21', mcscname: 'Lunch' }, { mcscid: '22', mcscname: 'Cafe' }] }],
      inOutText: [['Income'], ['Expense']],
      assetNames: [],
    }],
    ["[{             assetGroupId:'G1',             assetType:'group',             children:[{assetId:'A',leaf:'true',assetMoney:'-12.50'}]}]",
      [{ assetGroupId: 'G1', assetType: 'group', children: [{ assetId: 'A', leaf: 'true', assetMoney: '-12.50' }] }]],
    ["{assetLine:[{month:'2025-03',total:'10',asset:'12.000000',debt:'-2.000000'}], assetRatio:[], debtRatio:[], assetSummary:{'totalAsset':'10.000000', 'asset':'12.000000', 'debt':'-2.000000'}}",
      {
        assetLine: [{ month: '2025-03', total: '10', asset: '12.000000', debt: '-2.000000' }],
        assetRatio: [],
        debtRatio: [],
        assetSummary: { totalAsset: '10.000000', asset: '12.000000', debt: '-2.000000' },
      }],
    ['{a:1.5, b:-2, c:null, d:[true,false]}', { a: 1.5, b: -2, c: null, d: [true, false] }],
  ];
  for (const [text, expected] of cases) assert.deepEqual(parseObjectText(text), expected, text);
});

// Names are what users typed; only the quote and the backslash are escapes,
// and nothing in a name can run.
test('names with quotes, backslashes and code stay text', () => {
  const cases = [
    ["{assetName:'Mom\\'s wallet'}", "Mom's wallet"],
    ["{assetName:'C:\\new'}", 'C:\\new'],
    ["{assetName:'a\\\\b'}", 'a\\b'],
    ["{assetName:'\"}); alert(1); ({'}", '"}); alert(1); ({'],
    ["{assetName:'한글 이름, 쉼표: 콜론'}", '한글 이름, 쉼표: 콜론'],
  ];
  for (const [text, name] of cases) assert.equal(parseObjectText(text).assetName, name, text);
});

test('texts that are not whole object texts are refused', () => {
  for (const text of ['', '{a:', "{a:'open}", '[1,2', '{a 1}', '{a:1} trailing', '<html><body>login</body></html>']) {
    assert.throws(() => parseObjectText(text), undefined, text);
  }
});

test('the settings script is read without running it', () => {
  assert.deepEqual(
    parseSettingsScript("Tarnwick.lang = 'ko';Tarnwick.moneyFormat='0,000';Tarnwick.uri='varnelBook';"),
    { lang: 'ko', moneyFormat: '0,000', uri: 'varnelBook' });
  assert.deepEqual(parseSettingsScript("Tarnwick.lang = 'pt_BR';Tarnwick.moneyFormat='0,000.00';"),
    { lang: 'pt_BR', moneyFormat: '0,000.00' });
});
