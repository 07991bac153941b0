// The print page's entry (see layout.js).
const bodyParsed = document.readyState === 'loading'
  ? new Promise((resolve) => document.addEventListener('DOMContentLoaded', resolve, { once: true }))
  : Promise.resolve();
Promise.all([import('./print_page.js'), bodyParsed]).then(([page]) => page.start());
