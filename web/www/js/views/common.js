// Pieces that several screens share: the account picker's options, amount
// cells, the transaction list grouped by day, and the transaction and
// transfer forms.

import * as api from '../lib/api.js';
import { parseAmount } from '../lib/money.js';
import { dayLabel, today } from '../lib/period.js';
import { h, svgIcon } from '../ui/dom.js';
import { field, formDialog, select, userError } from '../ui/dialog.js';
import { icons } from '../ui/icons.js';

export const kinds = {
  income: '0',
  expense: '1',
  transferOut: '3',
  transferIn: '4',
  adjustUp: '7',
  adjustDown: '8',
};
const inKinds = new Set(['0', '4', '7']);
const isTransfer = (kind) => kind === kinds.transferOut || kind === kinds.transferIn;

// Accounts for pickers, grouped by the account tree's groups; names come
// from the plain name list, since the tree decorates card names.
export function chooseAccountKinds(init, tree) {
  const groupOf = new Map();
  for (const group of tree ?? []) {
    for (const child of group.children ?? []) groupOf.set(String(child.assetId), group.assetName);
  }
  const names = Array.isArray(init?.assetNames) && init.assetNames.length
    ? init.assetNames.map((a) => ({ value: String(a.assetId), label: a.assetName }))
    : (init?.payType ?? []).map((p) => ({ value: String(p.ptid), label: p.ptname }));
  return names.map((option) => ({ ...option, group: groupOf.get(option.value) }));
}

export function amountCell(app, value, kind, className = 'amount') {
  const n = Number(value);
  const tone = kind === 'in' ? 'in' : kind === 'out' ? 'out' : 'neutral';
  return h('span', { class: `${className} ${tone}`, text: app.money(n) });
}

export function loading(app) {
  return h('div', { class: 'loading', role: 'status' }, h('span', { class: 'spinner' }), app.t('loading'));
}

export function empty(text) {
  return h('div', { class: 'empty' }, h('p', { text }));
}

export function sectionHead(title, ...actions) {
  return h('div', { class: 'section-head' }, h('h2', { text: title }), h('div', { class: 'actions' }, actions));
}

export function addButton(label, onclick) {
  return h('button', { type: 'button', class: 'button primary', onclick }, svgIcon(icons.plus), h('span', { text: label }));
}

function accountName(app, id) {
  return app.accountOptions().find((o) => o.value === String(id))?.label ?? '';
}

// How one row reads: the title line, the detail line and its money side.
function describe(app, row, accountId) {
  const { t } = app;
  if (isTransfer(row.kind)) {
    const other = accountName(app, row.toAssetId);
    const [from, to] = row.kind === kinds.transferOut ? [row.account, other] : [other, row.account];
    return {
      title: row.content || t('transfer'),
      detail: `${from || '—'} → ${to || '—'}`,
      badge: t('transfer'),
      side: accountId ? (row.kind === kinds.transferIn ? 'in' : 'out') : 'neutral',
    };
  }
  const category = [row.category, row.subCategory].filter(Boolean).join(' › ');
  const adjustment = row.kind === kinds.adjustUp || row.kind === kinds.adjustDown;
  return {
    title: row.content || category || row.kindName,
    detail: [row.account, adjustment ? t('adjustment') : category].filter(Boolean).join(' · '),
    badge: adjustment ? t('adjustment') : row.category || t('noCategory'),
    side: inKinds.has(row.kind) ? 'in' : 'out',
  };
}

// The rows of a period, newest day first, each day with its net amount.
// In one account's list (`accountId`) transfers count as money in or out.
export function transactionList(app, rows, onPick, accountId) {
  if (!rows.length) return empty(app.t('noTransactions'));
  const days = new Map();
  for (const row of rows) {
    if (!days.has(row.date)) days.set(row.date, []);
    days.get(row.date).push(row);
  }
  return h('div', { class: 'tx-list' }, [...days].map(([day, list]) => {
    let net = 0;
    const items = list.map((row) => {
      const d = describe(app, row, accountId);
      const amount = Math.abs(row.amount);
      if (d.side === 'in') net += amount;
      else if (d.side === 'out') net -= amount;
      return h('li', {},
        h('button', {
          type: 'button', class: `tx-row kind-${row.kind}`, dataset: { id: row.id },
          onclick: () => onPick(row),
        },
        h('span', { class: 'tx-badge', text: (d.badge || '·').slice(0, 1) }),
        h('span', { class: 'tx-main' },
          h('span', { class: 'tx-title', text: d.title }),
          h('span', { class: 'tx-detail', text: d.detail })),
        amountCell(app, d.side === 'out' ? -amount : amount, d.side, 'amount tx-amount')));
    });
    return h('section', { class: 'tx-day' },
      h('h3', { class: 'tx-day-head' },
        h('span', { text: dayLabel(day, app.locale) }),
        net !== 0 && amountCell(app, net, net > 0 ? 'in' : 'out', 'amount day-net')),
      h('ul', {}, items));
  }));
}

function defaultDate(app) {
  const now = today();
  return now >= app.period.start && now <= app.period.end ? now : app.period.end;
}

// The ledger's own category for an income or expense left without one.
export const uncategorised = '-2';

function categoryPickers(app, kind, mcid, mcscid) {
  const none = { value: uncategorised, label: app.t('noCategory') };
  const mains = app.categories(kind);
  const main = select('mcid', [none, ...mains.map((c) => ({ value: c.mcid, label: c.mcname }))], mcid);
  const sub = select('mcscid', [], '');
  const fillSub = (selected) => {
    const category = mains.find((c) => String(c.mcid) === main.value);
    const subs = category?.mcsc ?? [];
    sub.replaceChildren(...[{ value: '', label: app.t('noSubCategory') }, ...subs.map((s) => ({ value: s.mcscid, label: s.mcscname }))]
      .map((o) => h('option', { value: o.value, text: o.label, selected: String(o.value) === String(selected ?? '') })));
    sub.disabled = subs.length === 0;
  };
  main.addEventListener('change', () => fillSub(''));
  fillSub(mcscid);
  return { main, sub };
}

function amountInput(app, value) {
  return h('input', {
    name: 'amount', class: 'amount-input', inputmode: 'decimal', autocomplete: 'off', required: true,
    value: value ? app.money(value) : '', placeholder: app.money(0), autofocus: true,
  });
}

function readAmount(app, form) {
  const amount = parseAmount(form.elements.amount.value, app.locale);
  if (!(amount > 0)) throw userError(app.t('needAmount'));
  return String(amount);
}

// A balance adjustment is shown as it is, to be deleted; its amount changes
// with the account's balance on the accounts screen.
function adjustmentView(app, row) {
  const { t } = app;
  const readOnly = (label, value) => field(label, h('input', { value, readonly: true, tabindex: '-1' }));
  return formDialog({
    title: t('adjustment'),
    fields: [
      h('p', { class: 'kind-note', text: t('adjustmentHint') }),
      field(t('amount'), h('input', { class: 'amount-input', readonly: true, value: app.money(Math.abs(row.amount)) }), { wide: true }),
      h('div', { class: 'field-pair' }, readOnly(t('date'), row.date), readOnly(t('account'), row.account)),
      row.memo && field(t('memo'), h('textarea', { rows: 2, readonly: true, text: row.memo }), { wide: true }),
    ],
    t,
    deleteQuestion: t('confirmDelete'),
    onDelete: async () => {
      await api.deleteTransactions([row.id]);
      await app.changed(t('deleted'));
    },
  });
}

// The form of an income or expense; `row` is the transaction being
// changed, none for a new one.
export function transactionForm(app, row, { kind = kinds.expense, assetId } = {}) {
  const { t } = app;
  const editing = Boolean(row);
  let currentKind = row?.kind ?? kind;
  const kindSwitch = h('div', { class: 'segmented', role: 'radiogroup' });
  const categorySlot = h('div', { class: 'field-pair' });
  let pickers;
  const drawCategories = (mcid, mcscid) => {
    pickers = categoryPickers(app, currentKind, mcid, mcscid);
    categorySlot.replaceChildren(field(t('category'), pickers.main), field(t('subCategory'), pickers.sub));
  };
  const choices = [
    { value: kinds.expense, label: t('expense') },
    { value: kinds.income, label: t('income') },
    !editing && { value: 'transfer', label: t('transfer') },
  ].filter(Boolean);
  let dialog;
  for (const choice of choices) {
    kindSwitch.append(h('button', {
      type: 'button', role: 'radio', class: 'segment', dataset: { kind: choice.value },
      'aria-checked': String(choice.value === currentKind), text: choice.label,
      onclick: () => {
        if (choice.value === 'transfer') {
          dialog.close();
          transferForm(app, null, { fromAssetId: dialog.form.elements.assetId.value });
          return;
        }
        currentKind = choice.value;
        for (const b of kindSwitch.children) b.setAttribute('aria-checked', String(b.dataset.kind === currentKind));
        drawCategories('', '');
      },
    }));
  }
  drawCategories(row?.mcid ?? '', row?.mcscid);
  const accounts = app.accountOptions();
  const fields = [
    kindSwitch,
    field(t('amount'), amountInput(app, row ? Math.abs(row.amount) : 0), { wide: true }),
    h('div', { class: 'field-pair' },
      field(t('date'), h('input', { type: 'date', name: 'date', required: true, value: row?.date ?? defaultDate(app) })),
      field(t('account'), select('assetId', accounts, row?.assetId ?? assetId ?? accounts[0]?.value))),
    categorySlot,
    field(t('content'), h('input', { name: 'content', maxlength: 200, value: row?.content ?? '', autocomplete: 'off' }), { wide: true }),
    field(t('memo'), h('textarea', { name: 'memo', rows: 2, maxlength: 1000, text: row?.memo ?? '' }), { wide: true }),
  ];
  dialog = formDialog({
    title: editing ? t('editTransaction') : t('addTransaction'),
    fields,
    t,
    deleteQuestion: t('confirmDelete'),
    onDelete: editing ? async () => {
      await api.deleteTransactions([row.id]);
      await app.changed(t('deleted'));
    } : undefined,
    onSave: async (form) => {
      const e = form.elements;
      if (!e.assetId.value) throw userError(t('needAccount'));
      const fields = {
        mbDate: e.date.value,
        assetId: e.assetId.value,
        inOutCode: currentKind,
        mbCash: readAmount(app, form),
        mbContent: e.content.value.trim(),
        mbDetailContent: e.memo.value.trim(),
      };
      fields.mcid = pickers.main.value || uncategorised;
      fields.mcscid = pickers.sub.value || '(null)';
      if (editing) await api.updateTransaction(row.id, fields);
      else await api.createTransaction(fields);
      await app.changed(t('saved'));
    },
  });
  return dialog;
}

// The form of a transfer between two accounts; `row` is either side of the
// transfer being changed.
export function transferForm(app, row, { fromAssetId, toAssetId } = {}) {
  const { t } = app;
  const editing = Boolean(row);
  const accounts = app.accountOptions();
  let from = fromAssetId;
  let to = toAssetId;
  if (row) {
    [from, to] = row.kind === kinds.transferOut ? [row.assetId, row.toAssetId] : [row.toAssetId, row.assetId];
  }
  from ||= accounts[0]?.value;
  to ||= accounts.find((a) => a.value !== from)?.value;
  const fields = [
    field(t('amount'), amountInput(app, row ? Math.abs(row.amount) : 0), { wide: true }),
    field(t('date'), h('input', { type: 'date', name: 'date', required: true, value: row?.date ?? defaultDate(app) }), { wide: true }),
    h('div', { class: 'field-pair transfer-pair' },
      field(t('fromAccount'), select('fromAssetId', accounts, from)),
      h('span', { class: 'transfer-arrow' }, svgIcon(icons.arrowRight)),
      field(t('toAccount'), select('toAssetId', accounts, to))),
    field(t('content'), h('input', { name: 'content', maxlength: 200, value: row?.content ?? '', autocomplete: 'off' }), { wide: true }),
    field(t('memo'), h('textarea', { name: 'memo', rows: 2, maxlength: 1000, text: row?.memo ?? '' }), { wide: true }),
  ];
  return formDialog({
    title: editing ? t('editTransfer') : t('addTransfer'),
    fields,
    t,
    deleteQuestion: t('confirmDeleteTransfer'),
    onDelete: editing ? async () => {
      await api.deleteTransactions([row.id]);
      await app.changed(t('deleted'));
    } : undefined,
    onSave: async (form) => {
      const e = form.elements;
      if (!e.fromAssetId.value || !e.toAssetId.value || e.fromAssetId.value === e.toAssetId.value) {
        throw userError(t('needTwoAccounts'));
      }
      const fields = {
        moveDate: e.date.value,
        fromAssetId: e.fromAssetId.value,
        toAssetId: e.toAssetId.value,
        moveMoney: readAmount(app, form),
        moneyContent: e.content.value.trim(),
        mbDetailContent: e.memo.value.trim(),
      };
      if (editing) await api.updateTransfer(row.id, fields);
      else await api.createTransfer(fields);
      await app.changed(t('saved'));
    },
  });
}

// Opens the right form for a row of the list.
export function editRow(app, row) {
  if (isTransfer(row.kind)) return transferForm(app, row);
  if (row.kind === kinds.adjustUp || row.kind === kinds.adjustDown) return adjustmentView(app, row);
  return transactionForm(app, row);
}
