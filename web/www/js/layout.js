// The client page's entry. Written to work whether the shell loads it as a
// module or as a classic script: a dynamic import is valid in both.
import('./app.js').then((app) => app.start());
