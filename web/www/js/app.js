// Varnel Desk: the ledger in a browser. Builds the frame around the page's
// header (navigation, the view), keeps the period and the lists every
// screen shares (categories, accounts), and switches screens by the
// address's hash so that the browser's back button and reloads work.

import * as api from './lib/api.js';
import { decimalsOf, formatMoney, localeTag } from './lib/money.js';
import { parseDay, periodContaining, shiftPeriod, today } from './lib/period.js';
import { languageOf, textsFor } from './lib/texts.js';
import { clear, h, svgIcon } from './ui/dom.js';
import { toast } from './ui/dialog.js';
import { icons } from './ui/icons.js';
import { chooseAccountKinds } from './views/common.js';

const screens = [
  { name: 'transactions', icon: icons.list, label: 'navTransactions', load: () => import('./views/transactions.js') },
  { name: 'accounts', icon: icons.wallet, label: 'navAccounts', load: () => import('./views/accounts.js') },
  { name: 'cards', icon: icons.card, label: 'navCards', load: () => import('./views/cards.js') },
  { name: 'summary', icon: icons.pie, label: 'navSummary', load: () => import('./views/summary.js') },
  { name: 'dashboard', icon: icons.chart, label: 'navDashboard', load: () => import('./views/dashboard.js') },
  { name: 'data', icon: icons.database, label: 'navData', load: () => import('./views/data.js') },
  { name: 'account', hidden: true, parent: 'accounts', load: () => import('./views/account.js') },
];

const periodKey = 'varnelDesk.period';

// The device locale the page was made for: the hidden frame's "loc".
function pageLocale(fallback) {
  const frame = document.getElementById('hiddenIframe');
  const source = frame?.getAttribute('src') ?? '';
  const loc = /[?&]loc=([^&]*)/.exec(source)?.[1];
  return localeTag(loc ? decodeURIComponent(loc) : navigator.language, fallback);
}

async function readSettings() {
  const fromPage = window.Tarnwick ?? {};
  if (fromPage.lang && fromPage.moneyFormat) return fromPage;
  try {
    return { ...(await api.settings()), ...fromPage };
  } catch {
    return fromPage;
  }
}

class App {
  constructor(settings) {
    this.lang = languageOf(settings.lang);
    this.t = textsFor(this.lang);
    this.locale = pageLocale(this.lang);
    // Korean pages read Korean number forms even when the device locale
    // says otherwise, and English pages the device's.
    if (this.lang === 'ko' && !this.locale.startsWith('ko')) this.locale = 'ko-KR';
    if (this.lang === 'en' && this.locale.startsWith('ko')) this.locale = 'en';
    this.decimals = decimalsOf(settings.moneyFormat ?? '0,000');
    this.startDay = 1;
    this.init = null;
    this.tree = [];
    this.renderSerial = 0;
  }

  money(value, options = {}) {
    return formatMoney(value, { locale: this.locale, decimals: this.decimals, ...options });
  }

  // The period holding today, in the ledger's months.
  currentPeriod() {
    return periodContaining(today(), this.startDay);
  }

  shiftPeriod(count) {
    return shiftPeriod(this.period, count, this.startDay);
  }

  setPeriod(period) {
    this.period = period;
    sessionStorage.setItem(periodKey, JSON.stringify(period));
    this.render();
  }

  // Categories and accounts, asked again after every change that can
  // touch them.
  async loadShared() {
    const [init, tree] = await Promise.all([api.initData(), api.assets()]);
    this.init = init;
    this.tree = Array.isArray(tree) ? tree : [];
    const base = Number(init?.multiBooks?.[0]?.baseDate);
    const start = parseDay(init?.initData?.initStartDate);
    this.startDay = base >= 1 && base <= 31 ? base : start ? start.day : 1;
  }

  // Accounts for the pickers: [{value, label, group}], grouped as the
  // account tree groups them.
  accountOptions() {
    return chooseAccountKinds(this.init, this.tree);
  }

  categories(kind) {
    // The income list is "category_1" and the expense list "category_0".
    const list = kind === '0' ? this.init?.category_1 : this.init?.category_0;
    return Array.isArray(list) ? list : [];
  }

  route() {
    const [path] = location.hash.replace(/^#\/?/, '').split('?');
    const [name, ...rest] = path.split('/');
    const screen = screens.find((s) => s.name === name) ?? screens[0];
    return { screen, param: rest.map(decodeURIComponent).join('/') };
  }

  go(hash) {
    if (location.hash === hash) this.render();
    else location.hash = hash;
  }

  buildFrame() {
    const { t } = this;
    document.documentElement.lang = this.lang;
    document.body.classList.add('desk');
    let header = document.getElementById('header');
    if (!header) {
      header = h('div', { id: 'header' }, h('h1', { text: t('appName') }));
      document.body.prepend(header);
    }
    header.classList.add('app-bar');
    header.append(h('button', {
      type: 'button', class: 'button subtle sign-out', onclick: () => this.signOut(),
    }, svgIcon(icons.lock), h('span', { text: t('signOut') })));
    this.nav = h('nav', { class: 'app-nav', 'aria-label': 'Varnel Desk' },
      screens.filter((s) => !s.hidden).map((s) =>
        h('a', { href: `#/${s.name}`, dataset: { screen: s.name } }, svgIcon(s.icon), h('span', { text: t(s.label) }))));
    this.view = h('main', { class: 'view', id: 'view', tabindex: '-1' });
    header.after(h('div', { class: 'app-body' }, this.nav, this.view));
  }

  signOut() {
    document.cookie = 'conid=; path=/; max-age=0; SameSite=Strict';
    location.href = '/';
  }

  async render() {
    const serial = ++this.renderSerial;
    const { screen, param } = this.route();
    for (const link of this.nav.querySelectorAll('a')) {
      const active = link.dataset.screen === (screen.parent ?? screen.name);
      link.classList.toggle('active', active);
      if (active) link.setAttribute('aria-current', 'page');
      else link.removeAttribute('aria-current');
    }
    try {
      const module = await screen.load();
      if (serial !== this.renderSerial) return;
      const next = h('div', { class: `screen screen-${screen.name}` });
      this.view.dataset.screen = screen.name;
      this.view.setAttribute('aria-busy', 'true');
      clear(this.view).append(next);
      await module.render(this, next, param, () => serial === this.renderSerial);
    } catch (error) {
      if (serial === this.renderSerial) this.failed(error);
    } finally {
      if (serial === this.renderSerial) this.view.removeAttribute('aria-busy');
    }
  }

  // A failure while loading: a lost session goes back to the login page,
  // anything else shows the reason with a retry.
  failed(error) {
    if (error instanceof api.SessionEnded) {
      toast(this.t('sessionEnded'), 'error');
      setTimeout(() => location.reload(), 1200);
      return;
    }
    console.error(error);
    clear(this.view).append(h('div', { class: 'empty error' },
      h('p', { text: this.t('loadFailed') }),
      h('button', { type: 'button', class: 'button', text: this.t('retry'), onclick: () => this.render() })));
  }

  // After a change: the shared lists again, then the screen.
  async changed(message) {
    if (message) toast(message, 'success');
    try {
      await this.loadShared();
    } catch (error) {
      this.failed(error);
      return;
    }
    await this.render();
  }

  async start() {
    this.buildFrame();
    try {
      await this.loadShared();
    } catch (error) {
      this.failed(error);
      return;
    }
    let saved = null;
    try {
      saved = JSON.parse(sessionStorage.getItem(periodKey) ?? 'null');
    } catch {
      saved = null;
    }
    const fromLedger = { start: this.init?.initData?.initStartDate, end: this.init?.initData?.initEndDate };
    this.period = saved && parseDay(saved.start) && parseDay(saved.end) ? saved
      : parseDay(fromLedger.start) && parseDay(fromLedger.end) ? fromLedger : this.currentPeriod();
    window.addEventListener('hashchange', () => this.render());
    await this.render();
  }
}

export async function start() {
  // The page also loads itself into a hidden frame; nothing runs there.
  if (window.top !== window.self) return;
  const app = new App(await readSettings());
  window.varnelDesk = app;
  await app.start();
}
