// Taking the ledger out and putting one in: the spreadsheet of a period,
// the ledger file itself, and the upload that replaces the ledger.

import * as api from '../lib/api.js';
import { normalisePeriod } from '../lib/period.js';
import { h, svgIcon } from '../ui/dom.js';
import { field, select, toast } from '../ui/dialog.js';
import { icons } from '../ui/icons.js';
import { sectionHead } from './common.js';

// The page's hidden spreadsheet form; made here when the page has none.
function spreadsheetForm() {
  let form = document.getElementById('excelForm') ?? document.forms.namedItem('excelForm');
  if (!form) {
    form = h('form', { id: 'excelForm', name: 'excelForm', method: 'post', action: api.spreadsheetUrl, hidden: true },
      ['startDate', 'endDate', 'mbid', 'assetId', 'inOutType'].map((name) => h('input', { type: 'hidden', name })));
    document.body.append(form);
  }
  return form;
}

function setHidden(form, name, value) {
  let input = form.elements.namedItem(name);
  if (!input) {
    input = h('input', { type: 'hidden', name });
    form.append(input);
  }
  input.value = value;
}

export async function render(app, root) {
  const { t } = app;
  const start = h('input', { type: 'date', name: 'start', value: app.period.start, required: true });
  const end = h('input', { type: 'date', name: 'end', value: app.period.end, required: true });
  const account = select('account', [{ value: '', label: t('allAccounts') }, ...app.accountOptions()], '');
  const spreadsheet = h('form', { class: 'data-form', id: 'spreadsheet' },
    h('div', { class: 'field-pair' }, field(t('from'), start), field(t('to'), end)),
    field(t('account'), account, { wide: true }),
    h('button', { type: 'submit', class: 'button primary' }, svgIcon(icons.download), h('span', { text: t('downloadSpreadsheet') })));
  spreadsheet.addEventListener('submit', (event) => {
    event.preventDefault();
    const period = normalisePeriod(start.value, end.value);
    if (!period) return;
    const form = spreadsheetForm();
    setHidden(form, 'startDate', period.start);
    setHidden(form, 'endDate', period.end);
    setHidden(form, 'mbid', '1');
    setHidden(form, 'assetId', account.value);
    setHidden(form, 'inOutType', '');
    form.method = 'post';
    form.submit();
  });

  const file = h('input', { type: 'file', name: 'file', accept: '.sqlite,.vnbak,.gz,.db,application/octet-stream', required: true });
  const status = h('p', { class: 'form-status', role: 'status' });
  const uploadButton = h('button', { type: 'submit', class: 'button danger' }, svgIcon(icons.upload), h('span', { text: t('uploadButton') }));
  const upload = h('form', { class: 'data-form', id: 'upload' }, field(t('chooseFile'), file, { wide: true }), uploadButton, status);
  upload.addEventListener('submit', async (event) => {
    event.preventDefault();
    const chosen = file.files?.[0];
    if (!chosen) return;
    if (!window.confirm(t('confirmUpload', chosen.name))) return;
    uploadButton.disabled = true;
    status.className = 'form-status';
    status.textContent = t('uploading');
    try {
      const taken = await api.uploadStore(chosen);
      status.className = `form-status ${taken ? 'success' : 'error'}`;
      status.textContent = taken ? t('uploadDone') : t('uploadRefused');
      if (taken) {
        upload.reset();
        toast(t('uploadDone'), 'success');
        await app.loadShared();
      }
    } catch (error) {
      if (error instanceof api.SessionEnded) {
        app.failed(error);
        return;
      }
      status.className = 'form-status error';
      status.textContent = t('uploadRefused');
    } finally {
      uploadButton.disabled = false;
    }
  });

  root.append(
    sectionHead(t('navData')),
    h('div', { class: 'card-grid data-grid' },
      h('section', { class: 'panel' },
        h('header', { class: 'panel-head' }, h('h3', {}, svgIcon(icons.table), h('span', { text: t('spreadsheet') }))),
        h('p', { class: 'muted', text: t('spreadsheetHint') }),
        spreadsheet),
      h('section', { class: 'panel' },
        h('header', { class: 'panel-head' }, h('h3', {}, svgIcon(icons.database), h('span', { text: t('store') }))),
        h('p', { class: 'muted', text: t('storeHint') }),
        h('a', { class: 'button primary', id: 'download-store', href: api.storeUrl, download: 'varnel.sqlite' },
          svgIcon(icons.download), h('span', { text: t('downloadStore') }))),
      h('section', { class: 'panel wide' },
        h('header', { class: 'panel-head' }, h('h3', {}, svgIcon(icons.upload), h('span', { text: t('upload') }))),
        h('p', { class: 'muted', text: t('uploadHint') }),
        upload)));
}
