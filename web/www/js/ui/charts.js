// The charting library is a file of our own document root, loaded the first
// time a screen draws a chart, so the pages that have none stay light.

let loading;

export function loadCharts() {
  if (window.Chart) return Promise.resolve(window.Chart);
  loading ??= new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = new URL('../../vendor/chart.umd.js', import.meta.url).href;
    script.onload = () => (window.Chart ? resolve(window.Chart) : reject(new Error('chart library')));
    script.onerror = () => {
      loading = undefined;
      reject(new Error('chart library'));
    };
    document.head.append(script);
  });
  return loading;
}

export const palette = ['#2f6fdf', '#e4572e', '#17a398', '#f2a541', '#8e6bd8', '#d64f8a', '#4fb0e0', '#7a9a01', '#b5838d', '#6c757d'];

// Charts share the page's font and quiet grid lines.
export function chartDefaults(Chart) {
  Chart.defaults.font.family = getComputedStyle(document.body).fontFamily;
  Chart.defaults.color = '#5b6472';
  Chart.defaults.borderColor = '#e7eaf0';
  Chart.defaults.maintainAspectRatio = false;
  Chart.defaults.animation = false;
}
