// The client keeps its Korean and English texts in js/lib/texts.js and
// picks them by Tarnwick.lang; the page shells load a language file by name,
// so each of the names they use is here and none needs anything more.
window.Tarnwick = window.Tarnwick || {};
