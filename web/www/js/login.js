// The login page's entry (module or classic script alike).
import('./login_page.js').then((page) => page.start());
