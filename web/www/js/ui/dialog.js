// Modal forms and short notices. A form dialog stays open, with the reason
// shown, when its save is refused, so nothing typed is lost.

import { h, svgIcon } from './dom.js';
import { icons } from './icons.js';

// A problem with what the user typed, said in the user's words.
export function userError(message) {
  const error = new Error(message);
  error.userMessage = message;
  return error;
}

// Opens a dialog holding `fields` (form rows). `onSave` gets the form and
// returns a promise; when it fails the dialog stays open and says why: the
// message of a userError, else that the ledger refused. An optional
// `onDelete` adds a delete button on the left; without `onSave` the dialog
// only shows.
export function formDialog({ title, fields, t, onSave, onDelete, deleteQuestion }) {
  const error = h('p', { class: 'form-error', role: 'alert', hidden: true });
  const saveButton = onSave && h('button', { type: 'submit', class: 'button primary', text: t('save') });
  const form = h('form', { class: 'dialog-form', method: 'dialog', novalidate: true }, fields, error);
  const dialog = h('dialog', { class: 'sheet', 'aria-label': title });
  const close = () => {
    dialog.close();
    dialog.remove();
  };
  const fail = (problem) => {
    // A session that ended sends the page back to its login.
    if (problem?.name === 'SessionEnded') {
      toast(t('sessionEnded'), 'error');
      setTimeout(() => location.reload(), 1200);
    }
    error.textContent = problem?.userMessage ?? t(problem?.name === 'SessionEnded' ? 'sessionEnded' : 'failed');
    error.hidden = false;
  };
  const busy = (on) => {
    for (const button of dialog.querySelectorAll('button')) button.disabled = on;
  };
  const footer = h('div', { class: 'dialog-actions' },
    onDelete && h('button', {
      type: 'button', class: 'button danger', text: t('delete'),
      onclick: async () => {
        if (deleteQuestion && !window.confirm(deleteQuestion)) return;
        busy(true);
        try {
          await onDelete();
          close();
        } catch (e) {
          fail(e);
          busy(false);
        }
      },
    }),
    h('span', { class: 'spacer' }),
    h('button', { type: 'button', class: 'button', text: t(onSave ? 'cancel' : 'close'), onclick: close }),
    saveButton);
  form.append(footer);
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    if (!onSave) return;
    error.hidden = true;
    busy(true);
    try {
      await onSave(form);
      close();
    } catch (e) {
      fail(e);
      busy(false);
    }
  });
  dialog.append(
    h('header', { class: 'dialog-head' },
      h('h2', { text: title }),
      h('button', { type: 'button', class: 'icon-button', 'aria-label': t('close'), onclick: close }, svgIcon(icons.close))),
    form);
  dialog.addEventListener('cancel', (event) => {
    event.preventDefault();
    close();
  });
  document.body.append(dialog);
  dialog.showModal();
  form.querySelector('[autofocus]')?.focus();
  return { dialog, form, close };
}

// A labelled form row.
export function field(label, control, { wide = false, hint } = {}) {
  const id = control.id || `f-${Math.random().toString(36).slice(2, 9)}`;
  control.id = id;
  return h('div', { class: wide ? 'field wide' : 'field' },
    h('label', { for: id, text: label }),
    control,
    hint && h('small', { class: 'hint', text: hint }));
}

// A select of `options` ([{value, label, group?}]); grouped options go into
// optgroups in their order of appearance.
export function select(name, options, selected) {
  const element = h('select', { name });
  const groups = new Map();
  for (const option of options) {
    const node = h('option', { value: option.value, text: option.label });
    if (String(option.value) === String(selected ?? '')) node.selected = true;
    if (option.group) {
      if (!groups.has(option.group)) {
        const group = h('optgroup', { label: option.group });
        groups.set(option.group, group);
        element.append(group);
      }
      groups.get(option.group).append(node);
    } else {
      element.append(node);
    }
  }
  return element;
}

let toastTimer;
export function toast(message, kind = 'info') {
  let box = document.getElementById('toast');
  if (!box) {
    box = h('div', { id: 'toast', role: 'status', 'aria-live': 'polite' });
    document.body.append(box);
  }
  box.textContent = message;
  box.className = `toast ${kind} show`;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => box.classList.remove('show'), 3200);
}
