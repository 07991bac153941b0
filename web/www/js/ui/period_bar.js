// The period switcher above the lists: previous and next period, the
// period's name, and a picker for any range of days.

import { h, svgIcon } from './dom.js';
import { icons } from './icons.js';
import { normalisePeriod, periodLabel } from '../lib/period.js';

export function periodBar(app, onChange) {
  const { t } = app;
  const step = (count) => onChange(app.shiftPeriod(count));
  const from = h('input', { type: 'date', name: 'start', value: app.period.start, required: true });
  const to = h('input', { type: 'date', name: 'end', value: app.period.end, required: true });
  const picker = h('form', { class: 'period-picker', hidden: true },
    h('label', {}, h('span', { text: t('from') }), from),
    h('label', {}, h('span', { text: t('to') }), to),
    h('div', { class: 'picker-actions' },
      h('button', { type: 'button', class: 'button subtle', text: t('thisPeriod'), onclick: () => onChange(app.currentPeriod()) }),
      h('button', { type: 'submit', class: 'button primary', text: t('apply') })));
  picker.addEventListener('submit', (event) => {
    event.preventDefault();
    const period = normalisePeriod(from.value, to.value);
    if (period) onChange(period);
  });
  const label = h('button', {
    type: 'button', class: 'period-label', 'aria-expanded': 'false', title: t('customRange'),
    onclick: () => {
      picker.hidden = !picker.hidden;
      label.setAttribute('aria-expanded', String(!picker.hidden));
    },
  }, svgIcon(icons.calendar), h('span', { class: 'period-name', text: periodLabel(app.period, app.locale, app.startDay) }));
  return h('div', { class: 'period-bar' },
    h('div', { class: 'period-nav' },
      h('button', { type: 'button', class: 'icon-button', 'aria-label': t('previous'), onclick: () => step(-1) }, svgIcon(icons.chevronLeft)),
      label,
      h('button', { type: 'button', class: 'icon-button', 'aria-label': t('next'), onclick: () => step(1) }, svgIcon(icons.chevronRight))),
    picker);
}
