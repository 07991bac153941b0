// The browser client end to end: a real `varnel serve` on a fresh ledger
// with a known password, driven in Debian's Chromium through playwright-core.
// A person's round: log in (a wrong password first), add an expense and find
// it in the list, the account's balance and the summary; change it, delete
// it, move money between accounts, download the spreadsheet and the ledger,
// upload a ledger; on the way, nothing of the ledger is handed out without
// the session. Screenshots at desktop and phone sizes stay in the output
// folder. Exits 77 (skipped) only when Chromium is not installed.
//
//   node browser_test.js --varnel PROGRAM --root WWW --modules NODE_MODULES
//                        --chromium /usr/bin/chromium --out FOLDER

import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

const options = {};
for (let i = 2; i < process.argv.length; i += 2) options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
for (const name of ['varnel', 'root', 'modules', 'chromium', 'out']) {
  if (!options[name]) {
    console.error(`browser_test: --${name} is missing`);
    process.exit(2);
  }
}
if (!fs.existsSync(options.chromium)) {
  console.log(`browser_test: SKIPPED, no Chromium at ${options.chromium} (scripts/install-deps installs it)`);
  process.exit(77);
}
const { chromium } = createRequire(path.join(path.resolve(options.modules), 'index.js'))('playwright-core');

const out = path.resolve(options.out);
const shots = path.join(out, 'screenshots');
const downloads = path.join(out, 'downloads');
fs.rmSync(out, { recursive: true, force: true });
for (const folder of [shots, downloads]) fs.mkdirSync(folder, { recursive: true });

const password = 'tq84zm';
// One fixed day for the ledger and the browser, so that the period shown
// and the screenshots are the same on every run.
const now = '2025-03-15T12:00:00';

// ---------- The ledger and the server ----------

function varnel(home, language, ...args) {
  const run = spawnSync(options.varnel, ['--home', home, ...language, '--now', now, ...args], { encoding: 'utf8' });
  if (run.status !== 0) throw new Error(`varnel ${args.join(' ')} failed (${run.status}): ${run.stderr}`);
  return run.stdout;
}

// A fresh ledger with a little history, so that the screens have something
// to show besides what the test itself adds.
function makeLedger(name, language, lines) {
  const home = path.join(out, name);
  varnel(home, language, 'init');
  for (const line of lines) varnel(home, language, ...line);
  return home;
}

const english = ['--lang', 'en', '--locale', 'en_US', '--tz', 'UTC'];
const korean = ['--lang', 'ko', '--locale', 'ko_KR', '--tz', 'Asia/Seoul'];

const servers = [];

async function serve(home, language) {
  const child = spawn(options.varnel, ['--home', home, ...language, '--now', now, 'serve', '--port', '0', '--bind', '127.0.0.1',
    '--password', password, '--root', path.resolve(options.root)], { stdio: ['ignore', 'pipe', 'pipe'] });
  servers.push(child);
  let output = '';
  const port = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`varnel serve did not start: ${output}`)), 30000);
    const read = (chunk) => {
      output += chunk;
      const found = /on port (\d+)/.exec(output);
      if (found) {
        clearTimeout(timer);
        resolve(Number(found[1]));
      }
    };
    child.stdout.on('data', read);
    child.stderr.on('data', read);
    child.on('exit', (code) => reject(new Error(`varnel serve ended (${code}): ${output}`)));
  });
  return { child, base: `http://127.0.0.1:${port}/` };
}

async function stop(server) {
  if (server.child.exitCode !== null) return server.child.exitCode;
  const ended = new Promise((resolve) => server.child.on('exit', (code) => resolve(code)));
  server.child.kill('SIGTERM');
  return ended;
}

// ---------- Helpers ----------

const amountOf = (text) => Number(String(text).replace(/[^0-9.-]/g, ''));
const problems = [];

async function newPage(browser, viewport, locale, isPhone) {
  const context = await browser.newContext({
    viewport, locale, acceptDownloads: true, isMobile: isPhone, hasTouch: isPhone, deviceScaleFactor: 1,
    reducedMotion: 'reduce',
  });
  await context.clock.setFixedTime(new Date(now));
  const page = await context.newPage();
  page.setDefaultTimeout(20000);
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error') problems.push(`console error: ${message.text()}`);
  });
  // The confirmations of deletes and uploads are answered yes.
  page.on('dialog', (dialog) => dialog.accept());
  return page;
}

// Waits until the screen has finished loading its data.
async function settled(page) {
  await page.waitForFunction(() => {
    const view = document.getElementById('view');
    return !view?.hasAttribute('aria-busy') && !document.querySelector('.loading');
  });
}

async function open(page, base, screen) {
  await page.goto(`${base}#/${screen}`);
  await page.waitForSelector(`.screen-${screen.split('/')[0]}`);
  await settled(page);
}

async function login(page, base) {
  await page.goto(base);
  await page.fill('#password', password);
  await page.click('#login button[type=submit]');
  await page.waitForSelector('.app-nav');
  await settled(page);
}

async function shot(page, name, fullPage = false) {
  await settled(page);
  // The notice of the last change would cover part of the picture.
  await page.evaluate(() => document.getElementById('toast')?.classList.remove('show'));
  await page.screenshot({ path: path.join(shots, `${name}.png`), fullPage });
}

// The balance of the account called `name` on the accounts screen.
async function balance(page, base, name) {
  await open(page, base, 'accounts');
  const item = page.locator('.account-item', { has: page.locator('.account-name', { hasText: name }) }).first();
  return amountOf(await item.locator('.account-balance').textContent());
}

function row(page, title) {
  return page.locator('.tx-row', { has: page.locator('.tx-title', { hasText: title }) });
}

async function noOverflow(page, width) {
  const scrollWidth = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.ok(scrollWidth <= width, `the page is ${scrollWidth} px wide in a ${width} px window`);
}

async function fetchText(url, init) {
  const response = await fetch(url, { redirect: 'manual', ...init });
  return { status: response.status, text: await response.text() };
}

const steps = [];
async function step(name, body) {
  process.stdout.write(`- ${name}\n`);
  await body();
  steps.push(name);
}

// ---------- The round ----------

const ledgerQuestions = [
  'varnelBook/getDataByPeriod?startDate=2025-01-01&endDate=2025-12-31',
  'varnelBook/getInitData',
  'varnelBook/getAssetData',
  'varnelBook/getCardData',
  'varnelBook/getSummaryDataByPeriod?startDate=2025-01-01&endDate=2025-12-31',
  'varnelBook/getDashBoardData',
  'varnelBook/getEachAssetChartData?assetId=1',
  'varnelBook/varnel.sqlite',
];

// Nothing of the ledger in a reply: no dataset, no object with names, no
// store file.
function assertNothingHandedOut(reply, what) {
  assert.ok(!reply.text.includes('<dataset>'), `${what} handed out the transaction list`);
  assert.ok(!reply.text.startsWith('SQLite format 3'), `${what} handed out the ledger file`);
  assert.ok(!/assetName|mcname|assetMoney|Groceries/.test(reply.text), `${what} handed out ledger data: ${reply.text.slice(0, 200)}`);
}

async function englishRound(browser) {
  const home = makeLedger('ledger-en', english, [
    // Sub-categories in use (the Korean ledger keeps the default, without).
    ['settings', 'set', '19810', '1'],
    ['account', 'add', '--name', 'Savings', '--group', 'Bank', '--balance', '2500'],
    ['tx', 'add', 'income', '--account', 'Bank Accounts', '--category', 'Salary', '--amount', '4200', '--date', '2025-02-05T09:00:00', '--content', 'February salary'],
    ['tx', 'add', 'expense', '--account', 'Bank Accounts', '--category', 'Housing & utilities/Rent', '--amount', '1450', '--date', '2025-02-06T10:00:00', '--content', 'Rent'],
    ['tx', 'add', 'income', '--account', 'Bank Accounts', '--category', 'Salary', '--amount', '4200', '--date', '2025-03-05T09:00:00', '--content', 'March salary'],
    ['tx', 'add', 'expense', '--account', 'Bank Accounts', '--category', 'Housing & utilities/Rent', '--amount', '1450', '--date', '2025-03-06T10:00:00', '--content', 'Rent'],
    ['tx', 'add', 'expense', '--account', 'Card', '--category', 'Food/Eating out', '--amount', '38.50', '--date', '2025-03-08T19:30:00', '--content', 'Dinner with Sam'],
    ['tx', 'add', 'expense', '--account', 'Cash', '--category', 'Transport/Bus & subway', '--amount', '2.75', '--date', '2025-03-10T08:10:00', '--content', 'Bus'],
    ['tx', 'add', 'transfer', '--account', 'Bank Accounts', '--to', 'Cash', '--amount', '200', '--date', '2025-03-01T12:00:00', '--content', 'ATM'],
    ['budget', 'set', '--kind', 'expense', '--period', 'month', '--category', 'Food', '--amount', '600', '--date', '2025-03-01'],
    ['budget', 'set', '--kind', 'expense', '--period', 'month', '--category', 'Transport', '--amount', '120', '--date', '2025-03-01'],
  ]);
  const server = await serve(home, english);
  const { base } = server;

  await step('without the session the API hands out nothing and changes nothing', async () => {
    for (const question of ledgerQuestions) assertNothingHandedOut(await fetchText(base + question), question);
    for (const cookie of ['conid=', 'conid=0', 'conid=123456789']) {
      assertNothingHandedOut(await fetchText(base + ledgerQuestions[0], { headers: { Cookie: cookie } }), `${ledgerQuestions[0]} with ${cookie}`);
    }
    const create = await fetchText(`${base}varnelBook/create`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
      body: 'mbDate=2025-03-15&inOutCode=1&mbCash=99&mbContent=Sneaked%20in',
    });
    assert.ok(!/success\s*:\s*true/.test(create.text), `create without the session answered ${create.text}`);
    const page = await fetchText(base);
    assert.match(page.text, /<title>Varnel Desk<\/title>/);
    assert.match(page.text, /login\.js/, 'the page without the session is not the login page');
    const wrong = await fetchText(`${base}varnelBook/login`, {
      method: 'POST', headers: { 'Content-Type': 'application/x-www-form-urlencoded' }, body: 'pwd=000000',
    });
    assert.match(wrong.text, /success\s*:\s*false/);
  });

  const page = await newPage(browser, { width: 1280, height: 800 }, 'en-US', false);

  await step('a wrong password is refused, the right one opens the ledger', async () => {
    await page.goto(base);
    await page.waitForSelector('#password');
    await shot(page, 'desktop-login');
    await page.fill('#password', 'wrong1');
    await page.click('#login button[type=submit]');
    await page.waitForSelector('.form-error:not([hidden])');
    assert.match(await page.textContent('.form-error'), /not right/);
    assert.equal(await page.locator('.app-nav').count(), 0, 'the ledger opened with a wrong password');
    await page.fill('#password', password);
    await page.click('#login button[type=submit]');
    await page.waitForSelector('.app-nav');
    await settled(page);
    assert.equal(await page.title(), 'Varnel Desk');
    assert.equal((await page.textContent('#header h1')).trim(), 'Varnel Desk');
    assert.equal(await row(page, 'Sneaked in').count(), 0, 'a change without the session reached the ledger');
    assert.equal(await row(page, 'March salary').count(), 1);
  });

  const cashBefore = await balance(page, base, 'Cash');
  let category;

  await step('an expense added shows in the list, the balance and the summary', async () => {
    await open(page, base, 'transactions');
    await page.click('.add-transaction');
    const dialog = page.locator('dialog[open]');
    await dialog.locator('input[name=amount]').fill('1,234.56');
    await dialog.locator('select[name=assetId]').selectOption({ label: 'Cash' });
    await dialog.locator('select[name=mcid]').selectOption({ label: 'Food' });
    await dialog.locator('select[name=mcscid]').selectOption({ label: 'Groceries' });
    category = 'Food';
    await dialog.locator('input[name=content]').fill('Farmers market');
    await dialog.locator('input[name=date]').fill('2025-03-14');
    await shot(page, 'desktop-add-expense');
    await dialog.locator('button[type=submit]').click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    await settled(page);
    const added = row(page, 'Farmers market');
    assert.equal(await added.count(), 1);
    assert.equal((await added.locator('.tx-amount').textContent()).trim(), '-1,234.56');
    assert.match(await added.locator('.tx-detail').textContent(), /Cash · Food › Groceries/);
    assert.equal(await balance(page, base, 'Cash'), Math.round((cashBefore - 1234.56) * 100) / 100);
    await open(page, base, 'summary');
    const food = page.locator('.category-row', { has: page.locator('.category-name', { hasText: category }) });
    assert.equal(amountOf(await food.locator('.category-amount').textContent()), 1234.56 + 38.5);
    assert.match(await food.locator('.budget-text').textContent(), /Budget 600\.00/);
    assert.match(await food.locator('.budget-text').textContent(), /673\.06 over/);
  });

  await step('the expense changed keeps every character of what was typed', async () => {
    await open(page, base, 'transactions');
    await row(page, 'Farmers market').click();
    const dialog = page.locator('dialog[open]');
    assert.equal(await dialog.locator('input[name=amount]').inputValue(), '1,234.56');
    await dialog.locator('input[name=amount]').fill('80');
    await dialog.locator('input[name=content]').fill('Market & bakery');
    await dialog.locator('textarea[name=memo]').fill('50% off = 1+1, "fresh"');
    await dialog.locator('button[type=submit]').click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    await settled(page);
    assert.equal(await row(page, 'Farmers market').count(), 0);
    const changed = row(page, 'Market & bakery');
    assert.equal((await changed.locator('.tx-amount').textContent()).trim(), '-80.00');
    await changed.click();
    assert.equal(await page.locator('dialog[open] textarea[name=memo]').inputValue(), '50% off = 1+1, "fresh"');
    await page.locator('dialog[open] .dialog-actions button', { hasText: 'Cancel' }).click();
    assert.equal(await balance(page, base, 'Cash'), Math.round((cashBefore - 80) * 100) / 100);
  });

  await step('the expense deleted leaves the list and the balance', async () => {
    await open(page, base, 'transactions');
    await row(page, 'Market & bakery').click();
    await page.locator('dialog[open] button.danger', { hasText: 'Delete' }).click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    await settled(page);
    assert.equal(await row(page, 'Market & bakery').count(), 0);
    assert.equal(await balance(page, base, 'Cash'), cashBefore);
  });

  await step('a transfer moves money between the two accounts', async () => {
    const savingsBefore = await balance(page, base, 'Savings');
    const bankBefore = await balance(page, base, 'Bank Accounts');
    await open(page, base, 'transactions');
    await page.click('.toolbar-actions button:has-text("Transfer")');
    const dialog = page.locator('dialog[open]');
    await dialog.locator('input[name=amount]').fill('750');
    await dialog.locator('select[name=fromAssetId]').selectOption({ label: 'Bank Accounts' });
    await dialog.locator('select[name=toAssetId]').selectOption({ label: 'Savings' });
    await dialog.locator('input[name=content]').fill('Rainy day fund');
    await dialog.locator('input[name=date]').fill('2025-03-12');
    await dialog.locator('button[type=submit]').click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    await settled(page);
    const moved = row(page, 'Rainy day fund');
    assert.equal(await moved.count(), 1, 'the transfer shows once in the list of all accounts');
    assert.match(await moved.locator('.tx-detail').textContent(), /Bank Accounts → Savings/);
    assert.equal(amountOf(await moved.locator('.tx-amount').textContent()), 750);
    assert.equal(await balance(page, base, 'Savings'), savingsBefore + 750);
    assert.equal(await balance(page, base, 'Bank Accounts'), bankBefore - 750);
  });

  await step('an account is added with its balance, the balance changed, the account deleted; a card added', async () => {
    await open(page, base, 'accounts');
    await page.click('.section-head .button.primary');
    let dialog = page.locator('dialog[open]');
    await dialog.locator('input[name=name]').fill("Kim's piggy bank");
    await dialog.locator('select[name=group]').selectOption({ label: 'Savings' });
    await dialog.locator('input[name=balance]').fill('1,000');
    await dialog.locator('button[type=submit]').click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    await settled(page);
    assert.equal(await balance(page, base, "Kim's piggy bank"), 1000);
    const item = () => page.locator('.account-item', { has: page.locator('.account-name', { hasText: "Kim's piggy bank" }) });
    await item().locator('.icon-button').click();
    dialog = page.locator('dialog[open]');
    assert.equal(await dialog.locator('input[name=name]').inputValue(), "Kim's piggy bank");
    await dialog.locator('input[name=balance]').fill('1,250');
    await dialog.locator('button[type=submit]').click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    assert.equal(await balance(page, base, "Kim's piggy bank"), 1250);
    await item().locator('.icon-button').click();
    await page.locator('dialog[open] button.danger').click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    await settled(page);
    assert.equal(await item().count(), 0);

    await open(page, base, 'cards');
    await page.click('.section-head .button.primary');
    dialog = page.locator('dialog[open]');
    await dialog.locator('input[name=name]').fill('Travel card');
    await dialog.locator('select[name=jungsanDay]').selectOption('14');
    await dialog.locator('select[name=paymentDay]').selectOption('25');
    await dialog.locator('select[name=link]').selectOption({ label: 'Bank Accounts' });
    await dialog.locator('button[type=submit]').click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    await settled(page);
    const card = page.locator('.pay-card', { has: page.locator('h4', { hasText: 'Travel card' }) });
    assert.match(await card.locator('.facts').textContent(), /Day 14.*Day 25.*Bank Accounts/);
  });

  await step('desktop screens', async () => {
    await open(page, base, 'transactions');
    await noOverflow(page, 1280);
    await shot(page, 'desktop-transactions');
    for (const screen of ['accounts', 'cards', 'summary', 'dashboard', 'data']) {
      await open(page, base, screen);
      if (screen === 'summary' || screen === 'dashboard') await page.waitForSelector('canvas');
      await noOverflow(page, 1280);
      await shot(page, `desktop-${screen}`, true);
    }
    await open(page, base, 'accounts');
    await page.click('.account-link:has-text("Bank Accounts")');
    await page.waitForSelector('.screen-account canvas');
    await settled(page);
    assert.equal(await row(page, 'Rainy day fund').count(), 1, "the transfer is in the sending account's list");
    await shot(page, 'desktop-account', true);
  });

  let storeCopy;
  await step('the spreadsheet and the ledger download', async () => {
    await open(page, base, 'data');
    const [sheet] = await Promise.all([page.waitForEvent('download'), page.click('#spreadsheet button[type=submit]')]);
    assert.match(sheet.suggestedFilename(), /\.xlsx$/);
    const sheetPath = path.join(downloads, sheet.suggestedFilename());
    await sheet.saveAs(sheetPath);
    assert.equal(fs.readFileSync(sheetPath).subarray(0, 4).toString('latin1'), 'PK\x03\x04', 'the spreadsheet is not a workbook');
    const [store] = await Promise.all([page.waitForEvent('download'), page.click('#download-store')]);
    assert.equal(store.suggestedFilename(), 'varnel.sqlite');
    storeCopy = path.join(downloads, 'varnel.sqlite');
    await store.saveAs(storeCopy);
    assert.equal(fs.readFileSync(storeCopy).subarray(0, 16).toString('latin1'), 'SQLite format 3\0', 'the download is not the ledger file');
  });

  await step('an upload that is not a ledger is refused and a ledger file replaces the ledger', async () => {
    // A change made after the copy was taken: the upload of the copy must
    // take it away again.
    await open(page, base, 'transactions');
    await page.click('.add-transaction');
    const dialog = page.locator('dialog[open]');
    await dialog.locator('input[name=amount]').fill('5');
    await dialog.locator('input[name=content]').fill('After the copy');
    await dialog.locator('button[type=submit]').click();
    await page.waitForSelector('dialog[open]', { state: 'detached' });
    await settled(page);
    assert.equal(await row(page, 'After the copy').count(), 1);

    const notALedger = path.join(downloads, 'notes.sqlite');
    fs.writeFileSync(notALedger, 'these are not the ledger you are looking for\n'.repeat(100));
    await open(page, base, 'data');
    await page.setInputFiles('#upload input[type=file]', notALedger);
    await page.click('#upload button[type=submit]');
    await page.waitForSelector('#upload .form-status.error');
    await open(page, base, 'transactions');
    assert.equal(await row(page, 'After the copy').count(), 1, 'a refused upload changed the ledger');

    await open(page, base, 'data');
    await page.setInputFiles('#upload input[type=file]', storeCopy);
    await page.click('#upload button[type=submit]');
    await page.waitForSelector('#upload .form-status.success');
    await open(page, base, 'transactions');
    assert.equal(await row(page, 'After the copy').count(), 0, 'the uploaded ledger did not replace the one served');
    assert.equal(await row(page, 'Rainy day fund').count(), 1, 'the uploaded ledger is not the copy');
  });

  await step('phone screens', async () => {
    const phone = await newPage(browser, { width: 390, height: 844 }, 'en-US', true);
    await login(phone, base);
    await noOverflow(phone, 390);
    const nav = await phone.locator('.app-nav').boundingBox();
    assert.ok(nav.y > 844 - 120, `the tab bar is not at the bottom of the phone (y ${nav.y})`);
    await shot(phone, 'phone-transactions');
    await phone.click('.add-transaction');
    await phone.waitForSelector('dialog[open]');
    await shot(phone, 'phone-add-expense');
    await phone.keyboard.press('Escape');
    for (const screen of ['accounts', 'summary', 'dashboard', 'data']) {
      await open(phone, base, screen);
      if (screen === 'summary' || screen === 'dashboard') await phone.waitForSelector('canvas');
      await noOverflow(phone, 390);
      await shot(phone, `phone-${screen}`);
    }
    await phone.context().close();
  });

  await page.context().close();
  assert.equal(await stop(server), 0, 'varnel serve did not stop cleanly');
}

async function koreanRound(browser) {
  const home = makeLedger('ledger-ko', korean, [
    ['tx', 'add', 'income', '--account', '은행', '--category', '급여', '--amount', '3200000', '--date', '2025-03-05T09:00:00', '--content', '3월 급여'],
    ['tx', 'add', 'expense', '--account', '현금', '--category', '식비', '--amount', '8500', '--date', '2025-03-12T12:30:00', '--content', '김밥'],
    ['tx', 'add', 'expense', '--account', '카드', '--category', '식비', '--amount', '45000', '--date', '2025-03-13T19:00:00', '--content', '저녁 외식'],
  ]);
  const server = await serve(home, korean);
  await step('Korean pages read Korean, amounts in won without decimals', async () => {
    const phone = await newPage(browser, { width: 390, height: 844 }, 'ko-KR', true);
    await phone.goto(server.base);
    await phone.waitForSelector('#password');
    assert.equal(await phone.textContent('#login button[type=submit]'), '열기');
    await login(phone, server.base);
    assert.equal((await phone.textContent('.app-nav a[data-screen=transactions]')).trim(), '내역');
    assert.equal((await row(phone, '저녁 외식').locator('.tx-amount').textContent()).trim(), '-45,000');
    await noOverflow(phone, 390);
    await shot(phone, 'phone-ko-transactions');
    await open(phone, server.base, 'summary');
    await phone.waitForSelector('canvas');
    await shot(phone, 'phone-ko-summary');
    await phone.context().close();
    const desk = await newPage(browser, { width: 1280, height: 800 }, 'ko-KR', false);
    await login(desk, server.base);
    await shot(desk, 'desktop-ko-transactions');
    await desk.context().close();
  });
  assert.equal(await stop(server), 0, 'varnel serve did not stop cleanly');
}

let browser;
let failed = false;
try {
  browser = await chromium.launch({
    executablePath: options.chromium,
    // As root (the CI) Chromium runs only without its sandbox.
    args: ['--no-sandbox', '--font-render-hinting=none'],
  });
  await englishRound(browser);
  await koreanRound(browser);
  assert.deepEqual(problems, [], 'the pages reported errors');
} catch (error) {
  failed = true;
  console.error(error);
  for (const context of browser?.contexts() ?? []) {
    for (const [index, page] of context.pages().entries()) {
      await page.screenshot({ path: path.join(shots, `failure-${index}.png`), fullPage: true }).catch(() => {});
    }
  }
  if (problems.length) console.error(problems.join('\n'));
} finally {
  await browser?.close();
  for (const child of servers) if (child.exitCode === null) child.kill('SIGTERM');
}
console.log(`screenshots in ${shots}`);
console.log(failed ? `browser_test: FAILED after ${steps.join(' / ')}` : 'browser_test: every step passed');
process.exit(failed ? 1 : 0);
