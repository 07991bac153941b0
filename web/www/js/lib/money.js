// Amounts as a household reads them: grouped digits in the user's locale,
// and exactly as many decimals as the ledger's main currency has (the
// server tells this through its money format, "0,000.00" or "0,000").

// The number of decimals a money format such as "0,000.00" shows.
export function decimalsOf(moneyFormat) {
  const dot = String(moneyFormat ?? '').lastIndexOf('.');
  if (dot < 0) return 0;
  return String(moneyFormat).length - dot - 1;
}

// A BCP 47 tag from the device locale the page was given ("ko_KR",
// "en_US@currency=USD"); falls back to `fallback` when it is unusable.
export function localeTag(identifier, fallback = 'en') {
  const tag = String(identifier ?? '').split('@')[0].replace(/_/g, '-');
  if (!tag) return fallback;
  try {
    return Intl.getCanonicalLocales(tag)[0];
  } catch {
    return fallback;
  }
}

const formatters = new Map();

function formatter(locale, decimals) {
  const key = `${locale}|${decimals}`;
  if (!formatters.has(key)) {
    formatters.set(key, new Intl.NumberFormat(locale, {
      minimumFractionDigits: decimals,
      maximumFractionDigits: decimals,
    }));
  }
  return formatters.get(key);
}

// `value` (a number or the server's text of one) as the user reads it.
// -0 and amounts that round to zero show as plain zero.
export function formatMoney(value, { locale = 'en', decimals = 0, signed = false } = {}) {
  const n = Number(value);
  if (!Number.isFinite(n)) return '';
  const scale = 10 ** decimals;
  let rounded = Math.round(Math.abs(n) * scale) / scale;
  if (n < 0) rounded = -rounded;
  if (Object.is(rounded, -0) || rounded === 0) rounded = 0;
  const text = formatter(locale, decimals).format(rounded);
  return signed && rounded > 0 ? `+${text}` : text;
}

// The separators a locale writes numbers with.
function separators(locale) {
  const parts = new Intl.NumberFormat(locale).formatToParts(1234567.5);
  return {
    group: parts.find((part) => part.type === 'group')?.value ?? ',',
    decimal: parts.find((part) => part.type === 'decimal')?.value ?? '.',
  };
}

// What the user typed into an amount field, as a number; NaN when it is not
// an amount. Group separators and spaces are ignored; the locale's decimal
// separator marks the fraction, and so does "." where it is not the
// locale's group separator.
export function parseAmount(text, locale = 'en') {
  let s = String(text ?? '').trim().replace(/[\s\u00a0\u202f]/g, '');
  if (!s) return NaN;
  const { group, decimal } = separators(locale);
  if (group !== decimal) s = s.split(group).join('');
  if (decimal !== '.') s = s.replace(decimal, '.');
  if (!/^-?(\d+\.?\d*|\.\d+)$/.test(s)) return NaN;
  return Number(s);
}
