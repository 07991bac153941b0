// The print page: the transactions of a period as a plain table with the
// period's totals, laid out for paper. The period and the account come in
// the address (startDate, endDate, assetId), else the period last shown.

import * as api from './lib/api.js';
import { decimalsOf, formatMoney, localeTag } from './lib/money.js';
import { normalisePeriod, periodContaining, periodLabel, today } from './lib/period.js';
import { languageOf, textsFor } from './lib/texts.js';
import { h } from './ui/dom.js';

export async function start() {
  if (window.top !== window.self) return;
  const settings = window.Tarnwick?.lang && window.Tarnwick?.moneyFormat ? window.Tarnwick : await api.settings();
  const lang = languageOf(settings.lang);
  const t = textsFor(lang);
  const locale = localeTag(lang === 'ko' ? 'ko_KR' : navigator.language, lang);
  const money = (value) => formatMoney(value, { locale, decimals: decimalsOf(settings.moneyFormat) });
  document.documentElement.lang = lang;
  document.body.classList.add('desk', 'print-page');

  const query = new URLSearchParams(location.search);
  let saved = null;
  try {
    saved = JSON.parse(sessionStorage.getItem('varnelDesk.period') ?? 'null');
  } catch {
    saved = null;
  }
  const period = normalisePeriod(query.get('startDate'), query.get('endDate'))
    ?? (saved && normalisePeriod(saved.start, saved.end)) ?? periodContaining(today());
  const assetId = query.get('assetId') ?? '';

  let header = document.getElementById('header');
  if (!header) {
    header = h('div', { id: 'header' }, h('h1', { text: t('appName') }));
    document.body.prepend(header);
  }
  header.classList.add('app-bar');
  const main = h('main', { class: 'print-sheet' }, h('p', { class: 'muted', text: t('loading') }));
  header.after(main);
  let rows;
  try {
    rows = await api.transactions(period.start, period.end, assetId);
  } catch (error) {
    main.replaceChildren(h('p', { class: 'form-error', text: error instanceof api.SessionEnded ? t('sessionEnded') : t('loadFailed') }));
    return;
  }
  const inKinds = ['0', '4', '7'];
  let income = 0;
  let expense = 0;
  const body = rows.map((row) => {
    const amount = Math.abs(row.amount);
    const isIn = inKinds.includes(row.kind);
    const transfer = row.kind === '3' || row.kind === '4';
    if (!transfer || assetId) {
      if (isIn) income += amount;
      else expense += amount;
    }
    return h('tr', {},
      h('td', { text: row.date }),
      h('td', { text: row.account }),
      h('td', { text: transfer ? t('transfer') : [row.category, row.subCategory].filter(Boolean).join(' › ') }),
      h('td', { text: [row.content, row.memo].filter(Boolean).join(' — ') }),
      // Between two accounts of the ledger a transfer is neither income nor
      // expense, so it shows without colour and stays out of the totals.
      h('td', { class: `amount ${transfer && !assetId ? 'neutral' : 'in'}`, text: isIn ? money(amount) : '' }),
      h('td', { class: `amount ${transfer && !assetId ? 'neutral' : 'out'}`, text: isIn ? '' : money(amount) }));
  });
  main.replaceChildren(
    h('header', { class: 'print-head' },
      h('h2', { text: periodLabel(period, locale) }),
      h('button', { type: 'button', class: 'button primary no-print', text: t('print'), onclick: () => window.print() })),
    h('table', { class: 'print-table' },
      h('thead', {}, h('tr', {},
        [t('date'), t('account'), t('category'), t('content'), t('income'), t('expense')].map((label, i) =>
          h('th', { class: i >= 4 ? 'amount' : '', text: label })))),
      h('tbody', {}, body.length ? body : h('tr', {}, h('td', { colspan: 6, class: 'muted', text: t('noTransactions') }))),
      h('tfoot', {}, h('tr', {},
        h('td', { colspan: 4, text: t('total') }),
        h('td', { class: 'amount in', text: money(income) }),
        h('td', { class: 'amount out', text: money(expense) })))));
}
