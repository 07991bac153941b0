// The whole household at a glance: net worth, assets and debts, how net
// worth moved month by month, and where the money is and what is owed.

import * as api from '../lib/api.js';
import { h } from '../ui/dom.js';
import { chartDefaults, loadCharts, palette } from '../ui/charts.js';
import { amountCell, empty, loading, sectionHead } from './common.js';

function ratioChart(app, Chart, box, entries, label) {
  const canvas = h('canvas', { role: 'img', 'aria-label': label });
  box.replaceChildren(canvas);
  new Chart(canvas, {
    type: 'doughnut',
    data: {
      labels: entries.map((e) => e.assetName),
      datasets: [{ data: entries.map((e) => Math.abs(Number(e.assetMoney))), backgroundColor: entries.map((_, i) => palette[i % palette.length]), borderWidth: 2 }],
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

export async function render(app, root, param, current) {
  const { t } = app;
  const body = h('div', { class: 'screen-body' }, loading(app));
  root.append(sectionHead(t('navDashboard')), body);
  const data = await api.dashboard();
  if (!current()) return;
  const summary = data?.assetSummary ?? {};
  const line = Array.isArray(data?.assetLine) ? data.assetLine : [];
  const assets = (data?.assetRatio ?? []).filter((e) => Number(e.assetMoney) !== 0);
  const debts = (data?.debtRatio ?? []).filter((e) => Number(e.assetMoney) !== 0);
  const total = Number(summary.totalAsset) || 0;
  const lineBox = h('div', { class: 'chart-box wide' });
  const assetBox = h('div', { class: 'chart-box doughnut' });
  const debtBox = h('div', { class: 'chart-box doughnut' });
  body.replaceChildren(
    h('div', { class: 'tiles' },
      h('div', { class: 'tile strong' }, h('span', { class: 'tile-label', text: t('totalAssets') }),
        amountCell(app, total, total < 0 ? 'out' : 'in', 'amount tile-amount')),
      h('div', { class: 'tile' }, h('span', { class: 'tile-label', text: t('assets') }), amountCell(app, summary.asset, 'in', 'amount tile-amount')),
      h('div', { class: 'tile' }, h('span', { class: 'tile-label', text: t('debts') }), amountCell(app, Math.abs(Number(summary.debt) || 0), 'out', 'amount tile-amount'))),
    h('section', { class: 'panel' }, h('header', { class: 'panel-head' }, h('h3', { text: t('assetTrend') })), line.length ? lineBox : empty(t('nothingInPeriod'))),
    h('div', { class: 'columns' },
      h('section', { class: 'panel' }, h('header', { class: 'panel-head' }, h('h3', { text: t('assetMix') })), assets.length ? assetBox : empty(t('noAccounts'))),
      h('section', { class: 'panel' }, h('header', { class: 'panel-head' }, h('h3', { text: t('debtMix') })), debts.length ? debtBox : empty(t('noDebts')))));
  let Chart;
  try {
    Chart = await loadCharts();
  } catch {
    lineBox.replaceChildren(empty(t('chartsMissing')));
    return;
  }
  if (!current()) return;
  chartDefaults(Chart);
  if (line.length) {
    const canvas = h('canvas', { role: 'img', 'aria-label': t('assetTrend') });
    lineBox.replaceChildren(canvas);
    const series = (key, label, color, fill) => ({
      label, data: line.map((p) => Number(p[key])), borderColor: color, backgroundColor: fill ?? color,
      fill: Boolean(fill), tension: 0, pointRadius: 2,
    });
    new Chart(canvas, {
      type: 'line',
      data: {
        labels: line.map((p) => p.month),
        datasets: [
          series('total', t('totalAssets'), '#2f6fdf', 'rgba(47, 111, 223, 0.10)'),
          series('asset', t('assets'), '#17a398'),
          series('debt', t('debts'), '#e4572e'),
        ],
      },
      options: {
        interaction: { mode: 'index', intersect: false },
        plugins: {
          legend: { position: 'bottom', labels: { boxWidth: 12, usePointStyle: true } },
          tooltip: { callbacks: { label: (c) => `${c.dataset.label}: ${app.money(c.parsed.y)}` } },
        },
        scales: { y: { ticks: { callback: (v) => app.money(v, { decimals: Number.isInteger(v) ? 0 : app.decimals }) } } },
      },
    });
  }
  if (assets.length) ratioChart(app, Chart, assetBox, assets, t('assetMix'));
  if (debts.length) ratioChart(app, Chart, debtBox, debts, t('debtMix'));
}
