// The transactions of a period, newest first, with the period's totals; a
// row opens its form, and new incomes, expenses and transfers start here.

import * as api from '../lib/api.js';
import { h, svgIcon } from '../ui/dom.js';
import { select } from '../ui/dialog.js';
import { icons } from '../ui/icons.js';
import { periodBar } from '../ui/period_bar.js';
import { amountCell, editRow, loading, transactionForm, transactionList, transferForm } from './common.js';

let accountFilter = '';

export function totalsStrip(app, totals, oneAccount = false) {
  const { t } = app;
  return h('div', { class: 'totals' },
    h('div', { class: 'total' }, h('span', { class: 'total-label', text: t(oneAccount ? 'moneyIn' : 'periodIncome') }),
      amountCell(app, totals.income, 'in')),
    h('div', { class: 'total' }, h('span', { class: 'total-label', text: t(oneAccount ? 'moneyOut' : 'periodExpense') }),
      amountCell(app, totals.expense, 'out')),
    h('div', { class: 'total net' }, h('span', { class: 'total-label', text: t('periodNet') }),
      amountCell(app, totals.net, totals.net < 0 ? 'out' : 'in')));
}

// One account's money in and out over its rows, transfers and balance
// adjustments included.
export function accountFlow(rows) {
  const sum = (set) => rows.filter((r) => set.includes(r.kind)).reduce((a, r) => a + Math.abs(r.amount), 0);
  const income = sum(['0', '4', '7']);
  const expense = sum(['1', '3', '8']);
  return { income, expense, net: income - expense };
}

export async function render(app, root, param, current) {
  const { t } = app;
  const accounts = app.accountOptions();
  if (accountFilter && !accounts.some((a) => a.value === accountFilter)) accountFilter = '';
  const filter = select('account', [{ value: '', label: t('allAccounts') }, ...accounts], accountFilter);
  filter.setAttribute('aria-label', t('account'));
  filter.addEventListener('change', () => {
    accountFilter = filter.value;
    app.render();
  });
  const body = h('div', { class: 'screen-body' }, loading(app));
  root.append(
    h('div', { class: 'toolbar' },
      periodBar(app, (period) => app.setPeriod(period)),
      h('div', { class: 'toolbar-actions' },
        filter,
        h('a', {
          class: 'icon-button print-link', target: '_blank', rel: 'noopener', title: t('print'), 'aria-label': t('print'),
          href: `/print.html?${api.formBody({ startDate: app.period.start, endDate: app.period.end, assetId: accountFilter || undefined })}`,
        }, svgIcon(icons.print)),
        h('button', {
          type: 'button', class: 'button', onclick: () => transferForm(app, null, { fromAssetId: accountFilter }),
        }, svgIcon(icons.arrowRight), h('span', { text: t('transfer') })),
        h('button', {
          type: 'button', class: 'button primary add-transaction', onclick: () => transactionForm(app, null, { assetId: accountFilter }),
        }, svgIcon(icons.plus), h('span', { text: t('add') })))),
    body);

  const { start, end } = app.period;
  const [rows, summary] = await Promise.all([
    api.transactions(start, end, accountFilter),
    accountFilter ? null : api.summary(start, end),
  ]);
  if (!current()) return;
  let totals;
  if (summary?.summary) {
    const income = Number(summary.summary.income);
    const expense = Number(summary.summary.outcome);
    totals = { income, expense, net: Number(summary.summary.sum ?? income - expense) };
  } else {
    totals = accountFlow(rows);
  }
  body.replaceChildren(
    totalsStrip(app, totals, Boolean(accountFilter)),
    transactionList(app, rows, (row) => editRow(app, row), accountFilter));
}
