// Periods of the transaction list: the ledger's month (which may begin on
// any day from 1 to 31), or a range of days the user picked. Days travel as
// "yyyy-MM-dd" texts, the form the API takes and gives; the arithmetic is
// done on calendar days, never on instants, so the browser's time zone and
// summer time cannot move a day.

const dayPattern = /^(\d{4})-(\d{2})-(\d{2})$/;

export function daysInMonth(year, month) {
  return new Date(Date.UTC(year, month, 0)).getUTCDate();
}

// {year, month, day} of a "yyyy-MM-dd" text; null when it is not a real day.
export function parseDay(text) {
  const m = dayPattern.exec(String(text ?? '').trim());
  if (!m) return null;
  const [year, month, day] = [Number(m[1]), Number(m[2]), Number(m[3])];
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return null;
  return { year, month, day };
}

export function formatDay({ year, month, day }) {
  const pad = (n, width) => String(n).padStart(width, '0');
  return `${pad(year, 4)}-${pad(month, 2)}-${pad(day, 2)}`;
}

function toSerial(text) {
  const d = parseDay(text);
  if (!d) throw new RangeError(`not a day: ${text}`);
  return Date.UTC(d.year, d.month - 1, d.day) / 86400000;
}

function fromSerial(serial) {
  const date = new Date(serial * 86400000);
  return formatDay({ year: date.getUTCFullYear(), month: date.getUTCMonth() + 1, day: date.getUTCDate() });
}

export function addDays(day, count) {
  return fromSerial(toSerial(day) + count);
}

// Days from `from` to `to` (negative when `to` is earlier).
export function daysBetween(from, to) {
  return toSerial(to) - toSerial(from);
}

// The day a month period begins in the given month: the start day, or the
// month's last day when the month is shorter.
export function monthStart(year, month, startDay) {
  const normalised = ((month - 1) % 12 + 12) % 12;
  const y = year + Math.floor((month - 1) / 12);
  const m = normalised + 1;
  return formatDay({ year: y, month: m, day: Math.min(startDay, daysInMonth(y, m)) });
}

function monthPeriodFrom(year, month, startDay) {
  return { start: monthStart(year, month, startDay), end: addDays(monthStart(year, month + 1, startDay), -1) };
}

// The month period holding `day` for a ledger whose months begin on
// `startDay`.
export function periodContaining(day, startDay = 1) {
  const d = parseDay(day);
  if (!d) throw new RangeError(`not a day: ${day}`);
  const here = monthStart(d.year, d.month, startDay);
  return day >= here ? monthPeriodFrom(d.year, d.month, startDay) : monthPeriodFrom(d.year, d.month - 1, startDay);
}

export function isMonthPeriod({ start, end }, startDay = 1) {
  const d = parseDay(start);
  if (!d) return false;
  const period = monthPeriodFrom(d.year, d.month, startDay);
  return period.start === start && period.end === end;
}

// The period `count` steps before (negative) or after the given one: whole
// months for a month period, otherwise the same number of days.
export function shiftPeriod(period, count, startDay = 1) {
  if (isMonthPeriod(period, startDay)) {
    const d = parseDay(period.start);
    return monthPeriodFrom(d.year, d.month + count, startDay);
  }
  const length = daysBetween(period.start, period.end) + 1;
  return { start: addDays(period.start, count * length), end: addDays(period.end, count * length) };
}

// A period the user typed: both days real and in order, else null.
export function normalisePeriod(start, end) {
  if (!parseDay(start) || !parseDay(end) || end < start) return null;
  return { start, end };
}

// Today on the calendar of the browser's clock.
export function today(now = new Date()) {
  return formatDay({ year: now.getFullYear(), month: now.getMonth() + 1, day: now.getDate() });
}

function utcDate(day) {
  const d = parseDay(day);
  return new Date(Date.UTC(d.year, d.month - 1, d.day));
}

// How the period reads in the heading: "March 2024" for a calendar month,
// else the range of days ("Mar 25 – Apr 24, 2024").
export function periodLabel(period, locale = 'en', startDay = 1) {
  if (startDay === 1 && isMonthPeriod(period, 1)) {
    return new Intl.DateTimeFormat(locale, { year: 'numeric', month: 'long', timeZone: 'UTC' })
      .format(utcDate(period.start));
  }
  const format = new Intl.DateTimeFormat(locale, { year: 'numeric', month: 'short', day: 'numeric', timeZone: 'UTC' });
  if (period.start === period.end) return format.format(utcDate(period.start));
  return format.formatRange(utcDate(period.start), utcDate(period.end));
}

// The heading of one day of the list ("Fri, Mar 1").
export function dayLabel(day, locale = 'en') {
  return new Intl.DateTimeFormat(locale, { month: 'short', day: 'numeric', weekday: 'short', timeZone: 'UTC' })
    .format(utcDate(day));
}
