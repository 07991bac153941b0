// The print page's entry (module or classic script alike).
import('./print_page.js').then((page) => page.start());
