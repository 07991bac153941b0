// One account: its balance, its month-end balances as a chart, and its
// transactions of the period (transfers included, as money in or out).

import * as api from '../lib/api.js';
import { h, svgIcon } from '../ui/dom.js';
import { chartDefaults, loadCharts } from '../ui/charts.js';
import { icons } from '../ui/icons.js';
import { periodBar } from '../ui/period_bar.js';
import { amountCell, editRow, empty, loading, transactionForm, transactionList } from './common.js';
import { accountFlow, totalsStrip } from './transactions.js';

function findItem(tree, id) {
  for (const group of tree) {
    const item = (group.children ?? []).find((child) => String(child.assetId) === id);
    if (item) return item;
  }
  return null;
}

async function drawChart(app, canvasBox, points) {
  let Chart;
  try {
    Chart = await loadCharts();
  } catch {
    canvasBox.replaceChildren(empty(app.t('chartsMissing')));
    return;
  }
  chartDefaults(Chart);
  const canvas = h('canvas', { role: 'img', 'aria-label': app.t('monthEndBalance') });
  canvasBox.replaceChildren(canvas);
  new Chart(canvas, {
    type: 'line',
    data: {
      labels: points.map((p) => String(p.month).slice(0, 7)),
      datasets: [{
        label: app.t('monthEndBalance'),
        data: points.map((p) => Number(p.assetMoney)),
        borderColor: '#2f6fdf',
        backgroundColor: 'rgba(47, 111, 223, 0.12)',
        fill: true,
        tension: 0,
        pointRadius: 3,
      }],
    },
    options: {
      plugins: { legend: { display: false }, tooltip: { callbacks: { label: (c) => app.money(c.parsed.y) } } },
      scales: { y: { ticks: { callback: (v) => app.money(v, { decimals: Number.isInteger(v) ? 0 : app.decimals }) } } },
    },
  });
}

export async function render(app, root, id, current) {
  const { t } = app;
  const item = findItem(app.tree, id);
  const name = app.accountOptions().find((a) => a.value === id)?.label ?? item?.assetName ?? id;
  const chartBox = h('div', { class: 'chart-box' }, loading(app));
  const list = h('div', { class: 'screen-body' }, loading(app));
  root.append(
    h('a', { class: 'back-link', href: '#/accounts' }, svgIcon(icons.back), h('span', { text: t('backToAccounts') })),
    h('div', { class: 'hero' },
      h('span', { class: 'hero-label', text: name }),
      item && amountCell(app, item.assetMoney, Number(item.assetMoney) < 0 ? 'out' : 'in', 'amount hero-amount')),
    h('section', { class: 'panel' },
      h('header', { class: 'panel-head' }, h('h3', { text: t('monthEndBalance') })),
      chartBox),
    h('div', { class: 'toolbar' },
      periodBar(app, (period) => app.setPeriod(period)),
      h('div', { class: 'toolbar-actions' },
        h('button', {
          type: 'button', class: 'button primary', onclick: () => transactionForm(app, null, { assetId: id }),
        }, svgIcon(icons.plus), h('span', { text: t('add') })))),
    list);
  const [chart, rows] = await Promise.all([
    api.accountChart(id),
    api.transactions(app.period.start, app.period.end, id),
  ]);
  if (!current()) return;
  list.replaceChildren(totalsStrip(app, accountFlow(rows), true), transactionList(app, rows, (row) => editRow(app, row), id));
  const points = Array.isArray(chart?.assetChartData) ? chart.assetChartData : [];
  if (points.length) await drawChart(app, chartBox, points);
  else chartBox.replaceChildren(empty(t('nothingInPeriod')));
}
