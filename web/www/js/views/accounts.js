// Accounts by group with their balances and the net worth over all of them;
// an account opens its own page, and accounts are added, changed and
// deleted here.

import * as api from '../lib/api.js';
import { parseAmount } from '../lib/money.js';
import { h, svgIcon } from '../ui/dom.js';
import { field, formDialog, select, userError } from '../ui/dialog.js';
import { icons } from '../ui/icons.js';
import { addButton, amountCell, empty, loading, sectionHead } from './common.js';

const tone = (value) => (Number(value) < 0 ? 'out' : 'in');

function cleanName(app, item) {
  return app.init?.assetNames?.find((a) => String(a.assetId) === String(item.assetId))?.assetName ?? item.assetName;
}

// The form of an account; `item` is the tree item being changed, none for
// a new account.
export function accountForm(app, item, groupId) {
  const { t } = app;
  const groups = (app.init?.assetGroups ?? []).map((g) => ({ value: g.assetGroupId, label: g.assetName }));
  const others = [{ value: '', label: t('none') }, ...app.accountOptions().filter((a) => a.value !== String(item?.assetId ?? ''))];
  const fields = [
    field(t('accountName'), h('input', { name: 'name', required: true, maxlength: 100, autofocus: true, value: item ? cleanName(app, item) : '' }), { wide: true }),
    h('div', { class: 'field-pair' },
      field(t('accountGroup'), select('group', groups, groupId ?? groups[0]?.value)),
      field(t('balance'), h('input', {
        name: 'balance', class: 'amount-input', inputmode: 'decimal', autocomplete: 'off',
        value: app.money(item ? item.assetMoney : 0),
      }))),
    field(t('linkedAccount'), select('link', others, item?.linkAssetId ?? ''), { wide: true }),
  ];
  return formDialog({
    title: item ? t('editAccount') : t('addAccount'),
    fields,
    t,
    deleteQuestion: item ? t('confirmDeleteAccount', cleanName(app, item)) : undefined,
    onDelete: item ? async () => {
      await api.removeAccount(item.assetId);
      await app.changed(t('deleted'));
    } : undefined,
    onSave: async (form) => {
      const e = form.elements;
      const name = e.name.value.trim();
      if (!name) throw userError(t('needName'));
      const balance = e.balance.value.trim() === '' ? 0 : parseAmount(e.balance.value, app.locale);
      if (!Number.isFinite(balance)) throw userError(t('needAmount'));
      const fields = { assetGroupId: e.group.value, assetName: name, assetMoney: String(balance), linkAssetId: e.link.value };
      if (item) await api.modifyAccount(item.assetId, fields);
      else await api.addAccount(fields);
      await app.changed(t('saved'));
    },
  });
}

export async function render(app, root, param, current) {
  const { t } = app;
  const body = h('div', { class: 'screen-body' }, loading(app));
  root.append(sectionHead(t('navAccounts'), addButton(t('addAccount'), () => accountForm(app))), body);
  const tree = await api.assets();
  if (!current()) return;
  app.tree = Array.isArray(tree) ? tree : [];
  const groups = app.tree.filter((g) => (g.children ?? []).length);
  if (!groups.length) {
    body.replaceChildren(empty(t('noAccounts')));
    return;
  }
  const total = app.tree.reduce((sum, g) => sum + Number(g.assetMoney || 0), 0);
  body.replaceChildren(
    h('div', { class: 'hero' },
      h('span', { class: 'hero-label', text: t('netWorth') }),
      amountCell(app, total, tone(total), 'amount hero-amount')),
    h('div', { class: 'card-grid' }, groups.map((group) =>
      h('section', { class: 'panel account-group', dataset: { group: group.assetGroupId } },
        h('header', { class: 'panel-head' },
          h('h3', { text: group.assetName }),
          amountCell(app, group.assetMoney, tone(group.assetMoney), 'amount group-total')),
        h('ul', { class: 'account-list' }, group.children.map((item) =>
          h('li', { class: 'account-item', dataset: { id: item.assetId } },
            h('a', { class: 'account-link', href: `#/account/${encodeURIComponent(item.assetId)}` },
              h('span', { class: 'account-name', text: item.assetName }),
              amountCell(app, item.assetMoney, tone(item.assetMoney), 'amount account-balance')),
            h('button', {
              type: 'button', class: 'icon-button', 'aria-label': `${t('editAccount')}: ${cleanName(app, item)}`,
              onclick: () => accountForm(app, item, group.assetGroupId),
            }, svgIcon(icons.edit)))))))));
}
