// Credit and debit cards with what is due on each: the amount not yet paid,
// the day the statement closes, the payment day and the account that pays.

import * as api from '../lib/api.js';
import { parseAmount } from '../lib/money.js';
import { h, svgIcon } from '../ui/dom.js';
import { field, formDialog, select, userError } from '../ui/dialog.js';
import { icons } from '../ui/icons.js';
import { addButton, amountCell, empty, loading, sectionHead } from './common.js';

const dayOptions = Array.from({ length: 31 }, (_, i) => ({ value: String(i + 1), label: String(i + 1) }));

function cardForm(app, card) {
  const { t } = app;
  const accounts = [{ value: '', label: t('none') }, ...app.accountOptions().filter((a) => a.value !== String(card?.assetId ?? ''))];
  const fields = [
    field(t('cardName'), h('input', { name: 'name', required: true, maxlength: 100, autofocus: true, value: card?.assetName ?? '' }), { wide: true }),
    h('div', { class: 'field-pair' },
      field(t('settlementDay'), select('jungsanDay', dayOptions, card?.jungsanDay || '1')),
      field(t('paymentDay'), select('paymentDay', dayOptions, card?.paymentDay || '14'))),
    field(t('paysFrom'), select('link', accounts, card?.linkAssetId ?? ''), { wide: true }),
    field(t('amountDue'), h('input', {
      name: 'due', class: 'amount-input', inputmode: 'decimal', autocomplete: 'off', value: app.money(card?.notPayMoney ?? 0),
    }), { wide: true }),
  ];
  return formDialog({
    title: card ? t('editCard') : t('addCard'),
    fields,
    t,
    deleteQuestion: card ? t('confirmDeleteAccount', card.assetName) : undefined,
    onDelete: card ? async () => {
      await api.removeAccount(card.assetId);
      await app.changed(t('deleted'));
    } : undefined,
    onSave: async (form) => {
      const e = form.elements;
      const name = e.name.value.trim();
      if (!name) throw userError(t('needName'));
      const due = e.due.value.trim() === '' ? 0 : parseAmount(e.due.value, app.locale);
      if (!Number.isFinite(due)) throw userError(t('needAmount'));
      const fields = {
        cardName: name, paymentDay: e.paymentDay.value, jungsanDay: e.jungsanDay.value,
        linkAssetId: e.link.value, notPayMoney: String(due),
      };
      if (card) await api.modifyCard(card.assetId, fields);
      else await api.addCard(fields);
      await app.changed(t('saved'));
    },
  });
}

export async function render(app, root, param, current) {
  const { t } = app;
  const body = h('div', { class: 'screen-body' }, loading(app));
  root.append(sectionHead(t('navCards'), addButton(t('addCard'), () => cardForm(app))), body);
  const groups = await api.cards();
  if (!current()) return;
  const withCards = (Array.isArray(groups) ? groups : []).filter((g) => (g.children ?? []).length);
  if (!withCards.length) {
    body.replaceChildren(empty(t('noCards')));
    return;
  }
  body.replaceChildren(...withCards.map((group) =>
    h('section', { class: 'card-section' },
      h('header', { class: 'panel-head plain' },
        h('h3', { text: group.assetName }),
        h('span', { class: 'muted' }, `${t('amountDue')} `, amountCell(app, group.notPayMoney, 'out'))),
      h('div', { class: 'card-grid' }, group.children.map((card) =>
        h('article', { class: 'pay-card', dataset: { id: card.assetId } },
          h('header', {},
            h('h4', { text: card.assetName }),
            h('button', {
              type: 'button', class: 'icon-button', 'aria-label': `${t('editCard')}: ${card.assetName}`, onclick: () => cardForm(app, card),
            }, svgIcon(icons.edit))),
          h('div', { class: 'due' },
            h('span', { class: 'hero-label', text: t('amountDue') }),
            amountCell(app, card.notPayMoney, Number(card.notPayMoney) > 0 ? 'out' : 'neutral', 'amount due-amount')),
          h('dl', { class: 'facts' },
            h('div', {}, h('dt', { text: t('settlementDay') }), h('dd', { text: t('dayOfMonth', card.jungsanDay) })),
            h('div', {}, h('dt', { text: t('paymentDay') }), h('dd', { text: t('dayOfMonth', card.paymentDay) })),
            h('div', {}, h('dt', { text: t('paysFrom') }), h('dd', { text: card.linkAssetName || t('none') })),
            h('div', {}, h('dt', { text: t('cardBalance') }), h('dd', {}, amountCell(app, card.assetMoney, Number(card.assetMoney) < 0 ? 'out' : 'neutral'))))))))));
}
