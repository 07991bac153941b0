// The client page's entry. The shells load it as a classic script in the
// page's head, so it waits for the body (the header, the spreadsheet form)
// and brings in the modules with a dynamic import, valid in either kind of
// script.
const bodyParsed = document.readyState === 'loading'
  ? new Promise((resolve) => document.addEventListener('DOMContentLoaded', resolve, { once: true }))
  : Promise.resolve();
Promise.all([import('./app.js'), bodyParsed]).then(([app]) => app.start());
