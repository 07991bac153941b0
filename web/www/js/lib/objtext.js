// Reads the object texts that the ledger's API answers with. They are
// JavaScript object literals rather than JSON (bare or single-quoted keys,
// single-quoted values, tabs between fields), and they carry names the user
// typed, so they are parsed here as data and never evaluated.

class ObjectTextError extends Error {}

export function parseObjectText(text) {
  const p = { text: String(text), at: 0 };
  skipSpace(p);
  // Every reply is an object or a list; anything else (the login page
  // handed out instead of data) is not a reply.
  if (p.text[p.at] !== '{' && p.text[p.at] !== '[') fail(p, 'an object or a list expected');
  const value = readValue(p);
  skipSpace(p);
  // A trailing comma or semicolon is harmless; anything else means the text
  // is not what we think it is.
  while (p.at < p.text.length && (p.text[p.at] === ',' || p.text[p.at] === ';')) {
    p.at++;
    skipSpace(p);
  }
  if (p.at < p.text.length) fail(p, 'unexpected text after the value');
  return value;
}

function fail(p, what) {
  throw new ObjectTextError(`${what} at ${p.at}`);
}

function skipSpace(p) {
  while (p.at < p.text.length && /\s/.test(p.text[p.at])) p.at++;
}

function readValue(p) {
  const c = p.text[p.at];
  if (c === '{') return readObject(p);
  if (c === '[') return readArray(p);
  if (c === "'" || c === '"') return readString(p);
  const word = readWord(p);
  if (word === '') fail(p, 'a value is missing');
  if (word === 'true') return true;
  if (word === 'false') return false;
  if (word === 'null' || word === 'undefined') return null;
  if (/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(word)) return Number(word);
  return word;
}

function readWord(p) {
  const start = p.at;
  while (p.at < p.text.length && /[^\s,:{}[\]'"]/.test(p.text[p.at])) p.at++;
  return p.text.slice(start, p.at);
}

// Only \\ and an escaped quote are read as escapes: the server escapes
// nothing else, so any other backslash is part of the name.
function readString(p) {
  const quote = p.text[p.at++];
  let out = '';
  while (p.at < p.text.length) {
    const c = p.text[p.at++];
    if (c === quote) return out;
    if (c === '\\' && p.at < p.text.length) {
      const next = p.text[p.at];
      if (next === quote || next === '\\' || next === "'" || next === '"') {
        out += next;
        p.at++;
        continue;
      }
    }
    out += c;
  }
  fail(p, 'a text is not closed');
}

function readKey(p) {
  const c = p.text[p.at];
  if (c === "'" || c === '"') return readString(p);
  const word = readWord(p);
  if (word === '') fail(p, 'a key is missing');
  return word;
}

function readObject(p) {
  p.at++;
  const out = {};
  for (;;) {
    skipSpace(p);
    if (p.text[p.at] === '}') {
      p.at++;
      return out;
    }
    if (p.at >= p.text.length) fail(p, 'an object is not closed');
    const key = readKey(p);
    skipSpace(p);
    if (p.text[p.at] !== ':') fail(p, `':' expected after '${key}'`);
    p.at++;
    skipSpace(p);
    out[key] = readValue(p);
    skipSpace(p);
    if (p.text[p.at] === ',') p.at++;
    else if (p.text[p.at] !== '}') fail(p, "',' or '}' expected");
  }
}

function readArray(p) {
  p.at++;
  const out = [];
  for (;;) {
    skipSpace(p);
    if (p.text[p.at] === ']') {
      p.at++;
      return out;
    }
    if (p.at >= p.text.length) fail(p, 'a list is not closed');
    out.push(readValue(p));
    skipSpace(p);
    if (p.text[p.at] === ',') p.at++;
    else if (p.text[p.at] !== ']') fail(p, "',' or ']' expected");
  }
}

// The settings script that the server hands out ("Tarnwick.lang = 'ko';
// Tarnwick.moneyFormat='0,000';..."), read without running it.
export function parseSettingsScript(text) {
  const out = {};
  const assignment = /Tarnwick\.(\w+)\s*=\s*'((?:[^'\\]|\\.)*)'/g;
  for (let m; (m = assignment.exec(String(text))); ) out[m[1]] = m[2].replace(/\\(.)/g, '$1');
  return out;
}

export { ObjectTextError };
