// The period by category: income, expenses and what is left, how spending
// splits between accounts and cards, and each category against its budget.

import * as api from '../lib/api.js';
import { h } from '../ui/dom.js';
import { chartDefaults, loadCharts, palette } from '../ui/charts.js';
import { periodBar } from '../ui/period_bar.js';
import { amountCell, empty, loading } from './common.js';

function tile(app, label, value, tone, extra) {
  return h('div', { class: `tile ${extra ?? ''}` },
    h('span', { class: 'tile-label', text: label }),
    amountCell(app, value, tone, 'amount tile-amount'));
}

// One category row: the amount and, when it has a budget, a bar of the
// budget used.
function categoryRow(app, entry, side) {
  const { t } = app;
  const used = Number(entry.mcSum) || 0;
  const budget = Number(entry.budget) || 0;
  const share = budget > 0 ? used / budget : 0;
  const rest = budget - used;
  return h('li', { class: 'category-row' },
    h('div', { class: 'category-line' },
      h('span', { class: 'category-name', text: entry.mcname || t('noCategory') }),
      amountCell(app, used, side, 'amount category-amount')),
    budget > 0
      ? h('div', { class: 'budget' },
        h('div', { class: `budget-bar${share > 1 ? ' over' : ''}`, role: 'meter', 'aria-valuemin': '0', 'aria-valuemax': String(budget), 'aria-valuenow': String(used) },
          h('span', { style: { width: `${Math.min(100, share * 100).toFixed(1)}%` } })),
        h('div', { class: 'budget-text' },
          h('span', { text: `${t('budget')} ${app.money(budget)}` }),
          h('span', { class: rest < 0 ? 'over' : '', text: rest < 0 ? t('over', app.money(-rest)) : t('left', app.money(rest)) })))
      : h('div', { class: 'budget-text muted', text: t('noBudget') }));
}

async function doughnut(app, box, entries) {
  let Chart;
  try {
    Chart = await loadCharts();
  } catch {
    box.replaceChildren(empty(app.t('chartsMissing')));
    return;
  }
  chartDefaults(Chart);
  const canvas = h('canvas', { role: 'img', 'aria-label': app.t('expenseByCategory') });
  box.replaceChildren(canvas);
  new Chart(canvas, {
    type: 'doughnut',
    data: {
      labels: entries.map((e) => e.mcname),
      datasets: [{ data: entries.map((e) => Number(e.mcSum)), backgroundColor: entries.map((_, i) => palette[i % palette.length]), borderWidth: 2 }],
    },
    options: {
      cutout: '62%',
      plugins: {
        legend: { position: 'bottom', labels: { boxWidth: 12, usePointStyle: true } },
        tooltip: { callbacks: { label: (c) => `${c.label}: ${app.money(c.parsed)}` } },
      },
    },
  });
}

function categoryPanel(app, title, entries, side, withChart) {
  const list = entries.filter((e) => Number(e.mcSum) !== 0 || Number(e.budget) > 0)
    .sort((a, b) => Number(b.mcSum) - Number(a.mcSum));
  const chartBox = withChart && list.some((e) => Number(e.mcSum) > 0) ? h('div', { class: 'chart-box doughnut' }) : null;
  const panel = h('section', { class: 'panel' },
    h('header', { class: 'panel-head' }, h('h3', { text: title })),
    list.length
      ? h('div', { class: chartBox ? 'split' : '' }, chartBox, h('ul', { class: 'category-list' }, list.map((e) => categoryRow(app, e, side))))
      : empty(app.t('nothingInPeriod')));
  return { panel, chartBox, list };
}

export async function render(app, root, param, current) {
  const { t } = app;
  const body = h('div', { class: 'screen-body' }, loading(app));
  root.append(h('div', { class: 'toolbar' }, periodBar(app, (period) => app.setPeriod(period))), body);
  const data = await api.summary(app.period.start, app.period.end);
  if (!current()) return;
  const s = data?.summary ?? {};
  const income = Number(s.income) || 0;
  const expense = Number(s.outcome) || 0;
  const net = Number(s.sum ?? income - expense);
  const tiles = h('div', { class: 'tiles' },
    tile(app, t('periodIncome'), income, 'in'),
    tile(app, t('periodExpense'), expense, 'out'),
    tile(app, t('periodNet'), net, net < 0 ? 'out' : 'in', 'strong'),
    tile(app, t('cash'), s.cash, 'neutral', 'small'),
    tile(app, t('card'), s.card, 'neutral', 'small'),
    s.etcExpenseOpt === true && tile(app, t('otherExpense'), s.etcExpense, 'neutral', 'small'));
  const out = categoryPanel(app, t('expenseByCategory'), data?.outcome ?? [], 'out', true);
  const inc = categoryPanel(app, t('incomeByCategory'), data?.income ?? [], 'in', false);
  body.replaceChildren(tiles, h('div', { class: 'columns' }, out.panel, inc.panel));
  if (out.chartBox) await doughnut(app, out.chartBox, out.list.filter((e) => Number(e.mcSum) > 0));
}
