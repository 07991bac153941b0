// Loaded first by the page shells as a classic script: the names that the
// server's inline scripts and the settings script write into must exist
// before they run ("Tarnwick.lang = ...", "Ext.namespace('Tarnwick')"), and
// the body's unload handler calls reset().
(function () {
  var root = window;
  root.Tarnwick = root.Tarnwick || {};
  root.Ext = root.Ext || {
    namespace: function () {
      for (var i = 0; i < arguments.length; i++) {
        var scope = root;
        var parts = String(arguments[i]).split('.');
        for (var j = 0; j < parts.length; j++) scope = scope[parts[j]] = scope[parts[j]] || {};
      }
    },
  };
  root.reset = root.reset || function () {};
})();
