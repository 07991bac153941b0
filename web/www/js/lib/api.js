// The ledger's API as the client uses it: one function per endpoint, each
// returning plain data. Requests go to the page's own server, and the
// session travels in the cookie that the login set.

import { parseObjectText, parseSettingsScript } from './objtext.js';

const base = '/varnelBook/';

export class SessionEnded extends Error {
  name = 'SessionEnded';
}
export class ApiError extends Error {
  name = 'ApiError';
}

// Form bodies are encoded field by field, spaces as %20: a "+" would reach
// the ledger as a plus sign.
export function formBody(fields) {
  return Object.entries(fields)
    .filter(([, value]) => value !== undefined && value !== null)
    .map(([key, value]) => `${encodeURIComponent(key)}=${encodeURIComponent(String(value))}`)
    .join('&');
}

function query(params) {
  const text = formBody(params);
  return text ? `?${text}` : '';
}

async function call(path, { method = 'GET', body, type } = {}) {
  let response;
  try {
    response = await fetch(base + path, {
      method,
      body,
      credentials: 'same-origin',
      cache: 'no-store',
      headers: type ? { 'Content-Type': type } : undefined,
    });
  } catch (error) {
    throw new ApiError(error.message);
  }
  const contentType = response.headers.get('Content-Type') ?? '';
  if (response.status === 401 || response.status === 403) throw new SessionEnded();
  if (!response.ok) throw new ApiError(`${path}: HTTP ${response.status}`);
  const text = await response.text();
  // Without a valid session the server hands out its login page instead of
  // the data.
  if (contentType.startsWith('text/html') && /<html/i.test(text)) {
    throw new SessionEnded();
  }
  return text;
}

async function object(path, options) {
  const text = await call(path, options);
  try {
    return parseObjectText(text);
  } catch (error) {
    throw new ApiError(`${path}: ${error.message}`);
  }
}

async function change(path, fields) {
  const reply = await object(path, {
    method: 'POST',
    body: typeof fields === 'string' ? fields : formBody(fields),
    type: 'application/x-www-form-urlencoded',
  });
  if (!reply || reply.success !== true) throw new ApiError(`${path} refused`);
  return reply;
}

export async function login(password) {
  const reply = await object('login', {
    method: 'POST',
    body: formBody({ pwd: password }),
    type: 'application/x-www-form-urlencoded',
  });
  return reply && reply.success === true ? String(reply.conid) : null;
}

export async function settings() {
  return parseSettingsScript(await call('initVar.js'));
}

export const initData = () => object('getInitData');
export const summary = (startDate, endDate) => object(`getSummaryDataByPeriod${query({ startDate, endDate })}`);
export const assets = () => object('getAssetData');
export const cards = () => object('getCardData');
export const accountChart = (assetId) => object(`getEachAssetChartData${query({ assetId })}`);
export const dashboard = () => object('getDashBoardData');

const text = (element, name) => element.getElementsByTagName(name)[0]?.textContent ?? '';

// The rows of the transaction list's XML dataset.
export function parseDataset(xml) {
  const doc = new DOMParser().parseFromString(xml, 'application/xml');
  if (doc.getElementsByTagName('parsererror').length) throw new ApiError('getDataByPeriod: not a dataset');
  return Array.from(doc.getElementsByTagName('row'), (row) => ({
    id: text(row, 'id'),
    date: text(row, 'mbDate'),
    kind: text(row, 'inOutCode'),
    assetId: text(row, 'assetId'),
    account: text(row, 'payType'),
    kindName: text(row, 'inOutType'),
    toAssetId: text(row, 'toAssetId'),
    mcid: text(row, 'mcid'),
    category: text(row, 'mbCategory'),
    mcscid: text(row, 'mcscid'),
    subCategory: text(row, 'subCategory'),
    content: text(row, 'mbContent'),
    memo: text(row, 'mbDetailContent'),
    amount: Number(text(row, 'mbCash')),
  }));
}

export async function transactions(startDate, endDate, assetId) {
  return parseDataset(await call(`getDataByPeriod${query({ startDate, endDate, assetId: assetId || undefined })}`));
}

export const createTransaction = (fields) => change('create', fields);
export const updateTransaction = (id, fields) => change('update', { id, ...fields });
// The ledger reads the ids after "ids=:" joined by ":".
export const deleteTransactions = (ids) => change('delete', `ids=:${ids.join(':')}`);
export const createTransfer = (fields) => change('moveAsset', fields);
export const updateTransfer = (id, fields) => change('modifyMoveAsset', { id, ...fields });
export const addAccount = (fields) => change('assetAdd', fields);
export const modifyAccount = (assetId, fields) => change('assetModify', { assetId, ...fields });
export const removeAccount = (assetId) => change('removeAsset', { assetId });
export const addCard = (fields) => change('addAssetCard', fields);
export const modifyCard = (assetId, fields) => change('modifyCard', { assetId, ...fields });

// Sends a ledger file as the one part of a multipart body; true when the
// ledger took it.
export async function uploadStore(file) {
  const form = new FormData();
  form.append('file', file, file.name);
  const reply = await call('uploadSqlFile', { method: 'POST', body: form });
  try {
    return parseObjectText(reply).success === true;
  } catch {
    return false;
  }
}

export const spreadsheetUrl = `${base}getExcelFile`;
export const storeUrl = `${base}varnel.sqlite`;
