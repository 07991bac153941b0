// The login page's entry (see layout.js).
const bodyParsed = document.readyState === 'loading'
  ? new Promise((resolve) => document.addEventListener('DOMContentLoaded', resolve, { once: true }))
  : Promise.resolve();
Promise.all([import('./login_page.js'), bodyParsed]).then(([page]) => page.start());
