// The login page: the password that Varnel shows where it runs opens a
// session; its number goes into a cookie, which the browser then sends
// with every request, and the page reloads into the ledger.

import * as api from './lib/api.js';
import { languageOf, textsFor } from './lib/texts.js';
import { h, svgIcon } from './ui/dom.js';
import { icons } from './ui/icons.js';

export async function start() {
  if (window.top !== window.self) return;
  let lang = window.Tarnwick?.lang;
  if (!lang) {
    try {
      lang = (await api.settings()).lang;
    } catch {
      lang = navigator.language;
    }
  }
  lang = languageOf(lang);
  const t = textsFor(lang);
  document.documentElement.lang = lang;
  document.body.classList.add('desk', 'login-page');

  const password = h('input', {
    type: 'password', name: 'pwd', id: 'password', required: true, autocomplete: 'current-password',
    autocapitalize: 'off', spellcheck: 'false', autofocus: true,
  });
  const error = h('p', { class: 'form-error', role: 'alert', hidden: true });
  const button = h('button', { type: 'submit', class: 'button primary wide', text: t('loginButton') });
  const form = h('form', { class: 'login-card', id: 'login' },
    h('div', { class: 'login-mark' }, svgIcon(icons.lock)),
    h('h2', { text: t('loginTitle') }),
    h('p', { class: 'muted', text: t('loginHint') }),
    h('label', { for: 'password', text: t('password') }),
    password,
    error,
    button);
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    error.hidden = true;
    button.disabled = true;
    try {
      const session = await api.login(password.value.trim());
      if (session) {
        document.cookie = `conid=${encodeURIComponent(session)}; path=/; SameSite=Strict`;
        location.replace('/');
        return;
      }
      error.textContent = t('loginWrong');
      password.select();
    } catch {
      error.textContent = t('loginFailed');
    }
    error.hidden = false;
    button.disabled = false;
  });
  let header = document.getElementById('header');
  if (!header) {
    header = h('div', { id: 'header' }, h('h1', { text: t('appName') }));
    document.body.prepend(header);
  }
  header.classList.add('app-bar');
  header.after(h('main', { class: 'login-main' }, form));
  password.focus();
}
