// Opens a quality report in headless Chromium and checks what a user would see: the 3D
// view draws something, switching the metric recolours it, the legend shows the value
// range and the acceptable range, a listed triangle can be clicked, and the console stays
// free of errors. Prints the time the page took to show its first picture.
//
//   node report-browser-test.js REPORT.html [--max-load-ms N] [--screenshot FILE.png]
//                               [--size WIDTHxHEIGHT]
//
// CHROMIUM names the browser (default /usr/bin/chromium); puppeteer-core comes from the
// build's npm tree (NODE_PATH).
'use strict';
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

function parseArguments(argv) {
  const options = { report: null, maxLoadMs: Infinity, screenshot: null, width: 1280, height: 900 };
  for (let i = 0; i < argv.length; ++i) {
    if (argv[i] === '--max-load-ms') options.maxLoadMs = Number(argv[++i]);
    else if (argv[i] === '--screenshot') options.screenshot = argv[++i];
    else if (argv[i] === '--size') [options.width, options.height] = argv[++i].split('x').map(Number);
    else options.report = argv[i];
  }
  if (!options.report) {
    console.error('usage: node report-browser-test.js REPORT.html [--max-load-ms N] [--screenshot F]');
    process.exit(2);
  }
  return options;
}

// CPU time, in ms, that the browser's processes have used so far (Linux /proc); null
// elsewhere.
function browserCpuMs(rootPid) {
  try {
    const fs = require('fs');
    const children = new Map();
    const times = new Map();
    for (const entry of fs.readdirSync('/proc')) {
      if (!/^[0-9]+$/.test(entry)) continue;
      let stat;
      try { stat = fs.readFileSync('/proc/' + entry + '/stat', 'utf8'); } catch (e) { continue; }
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      const parent = Number(fields[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(entry));
      times.set(Number(entry), Number(fields[11]) + Number(fields[12]));
    }
    let ticks = 0;
    const pending = [rootPid];
    while (pending.length > 0) {
      const pid = pending.pop();
      ticks += times.get(pid) || 0;
      pending.push(...(children.get(pid) || []));
    }
    return ticks * 10; // clock ticks of 10 ms on Linux
  } catch (e) {
    return null;
  }
}

// Non-white pixels and distinct colours of the view's canvas, and a digest of its pixels.
function canvasPicture() {
  const canvas = document.getElementById('canvas');
  const copy = document.createElement('canvas');
  copy.width = canvas.width;
  copy.height = canvas.height;
  const context = copy.getContext('2d');
  context.drawImage(canvas, 0, 0);
  const pixels = context.getImageData(0, 0, copy.width, copy.height).data;
  let painted = 0, digest = 0;
  const colours = new Set();
  for (let i = 0; i < pixels.length; i += 4) {
    const rgb = (pixels[i] << 16) | (pixels[i + 1] << 8) | pixels[i + 2];
    if (rgb !== 0xffffff) ++painted;
    if (colours.size < 5000) colours.add(rgb);
    digest = (digest * 31 + rgb) >>> 0;
  }
  return { painted: painted / (pixels.length / 4), colours: colours.size, digest };
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  const failures = [];
  const expect = (condition, message) => { if (!condition) failures.push(message); };
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    // Software WebGL, as on a machine without a GPU; no sandbox when run as root in CI.
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--window-size=1280,900'],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: options.width, height: options.height });
    const errors = [];
    page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
    page.on('pageerror', (error) => errors.push(error.message));
    page.on('requestfailed', (request) => errors.push('request failed: ' + request.url()));
    // No request may leave the page: it must work offline.
    await page.setRequestInterception(true);
    page.on('request', (request) => {
      if (request.url().startsWith('file:') || request.url().startsWith('data:')) request.continue();
      else { errors.push('network request: ' + request.url()); request.abort(); }
    });

    // A user's browser is running already, its graphics process started: start it here
    // with a page of its own, so that the time below is the report's.
    await page.goto('data:text/html,<canvas id=c></canvas><script>' +
      'document.getElementById("c").getContext("webgl").clear(16384)</script>');
    const cpuBefore = browserCpuMs(browser.process().pid);
    const begin = Date.now();
    await page.goto('file://' + path.resolve(options.report), { timeout: 120000 });
    await page.waitForFunction('window.reportState && window.reportState.ready', { timeout: 120000 });
    const loadMs = Date.now() - begin;
    const cpuAfter = browserCpuMs(browser.process().pid);
    const cpuMs = cpuBefore === null || cpuAfter === null ? null : cpuAfter - cpuBefore;
    const state = await page.evaluate('window.reportState');
    console.log('load_ms=' + loadMs + ' browser_cpu_ms=' + cpuMs + ' script_ms=' +
      Math.round(state.loadMs) + ' phases=' + JSON.stringify(state.phases) + ' loadavg=' +
      os.loadavg()[0].toFixed(1) + ' cores=' + os.cpus().length);
    // On a machine busier than its cores the wall time measures the queue for them, not the
    // page: the limit then applies to the CPU time the browser spent, all its processes
    // together, which is what the page costs on a quiet machine or more.
    const busy = os.loadavg()[0] > os.cpus().length && cpuMs !== null;
    if (busy) console.log('busy machine: the load limit applies to the browser CPU time');
    expect((busy ? cpuMs : loadMs) < options.maxLoadMs, 'the report took ' + loadMs +
      ' ms to show (' + cpuMs + ' ms of browser CPU), limit ' + options.maxLoadMs);

    const first = await page.evaluate(canvasPicture);
    expect(first.painted > 0.02, 'the canvas is blank (' + (100 * first.painted).toFixed(2) +
      '% painted)');
    expect(first.colours > 8, 'the canvas shows only ' + first.colours + ' colours');

    const legend = await page.evaluate(() => ({
      min: document.getElementById('legend-min').textContent,
      max: document.getElementById('legend-max').textContent,
      text: document.getElementById('legend-text').textContent,
      framed: !document.getElementById('legend-range').hidden,
      fields: window.reportState.fields,
    }));
    expect(legend.min !== '' && legend.max !== '', 'the legend shows no value range');
    expect(/Acceptable range: \[/.test(legend.text), 'the legend shows no acceptable range: ' +
      legend.text);
    expect(legend.framed, 'the acceptable range is not framed on the legend bar');

    // Another metric recolours the view.
    expect(legend.fields.length > 1, 'the report offers a single metric');
    await page.select('#metric', String(legend.fields.length > 7 ? 7 : 1));
    await new Promise((resolve) => setTimeout(resolve, 200));
    const second = await page.evaluate(canvasPicture);
    expect(second.digest !== first.digest, 'switching the metric did not change the colours');
    expect(second.painted > 0.02, 'the canvas is blank after switching the metric');

    // A worst triangle flies the camera to it.
    const listed = await page.$$('#worst li');
    expect(listed.length > 0, 'no worst triangle is listed');
    if (listed.length > 0) {
      await listed[0].click();
      await new Promise((resolve) => setTimeout(resolve, 900));
      const third = await page.evaluate(canvasPicture);
      expect(third.digest !== second.digest, 'clicking a worst triangle did not move the view');
    }
    // A decimated view says so on the page.
    const view = await page.evaluate(() => ({
      decimated: JSON.parse(document.getElementById('report-data').textContent).view.decimated,
      note: document.getElementById('decimated').hidden ? '' :
        document.getElementById('decimated').textContent,
    }));
    expect(!view.decimated || /^Decimated view: /.test(view.note),
      'the view is decimated and the page does not say so');
    const histograms = await page.$$('#histograms figure');
    expect(histograms.length > 0, 'no histogram is drawn');

    if (options.screenshot) {
      await page.evaluate(() => { window.reportSelect('Minimum angle'); window.reportShowWhole(); });
      await page.evaluate(() => window.scrollTo(0, 0));
      await page.screenshot({ path: options.screenshot });
    }
    expect(errors.length === 0, 'console errors: ' + errors.join(' | '));
  } finally {
    await browser.close();
  }
  if (failures.length > 0) {
    console.error(failures.map((f) => 'FAILED: ' + f).join('\n'));
    process.exit(1);
  }
  console.log('report OK: ' + options.report);
}

main().catch((error) => {
  console.error('FAILED: ' + error.message);
  process.exit(1);
});
