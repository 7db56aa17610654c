#!/usr/bin/env node
// Opens one of zt-sim's HTML reports in Chromium, as a trader would, and fails on what a trader
// would see go wrong: script errors, anything fetched from outside the file (the report must open
// on a machine with no network), anything drawn past the right or left edge of the window, charts
// with nothing drawn in them, a page without its verdict or a column without its definition, and
// chart labels that print smaller than 8 pt on A4.
//
//   node check-report.mjs PAGE.html [--screenshot OUT.png] [--widths 1280,800] [--screenshot-only]
//                         [--pdf OUT.pdf]
// A screenshot is taken at every width: OUT.png at the first, OUT-800.png and so on at the others.
//
// Exit 0: no problem; 1: problems, one line each; 2: wrong usage; 77: Chromium or playwright-core
// is missing (CTest reports the test as skipped). ZT_CHROMIUM names another Chromium binary.
import { existsSync } from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';

const SKIP = 77;
const HEIGHT = 900;
// Widths are CSS pixels; a box may end half a pixel past the edge from rounding alone.
const EDGE_SLACK = 0.5;
// A page that overflows usually does so with many elements; past this many, one summary line.
const MAX_OVERFLOW_LINES = 10;

function usage(message) {
  if (message) console.error(`check-report: ${message}`);
  console.error('usage: node check-report.mjs PAGE.html [--screenshot OUT.png] [--widths 1280,800]' +
    ' [--screenshot-only] [--pdf OUT.pdf]');
  process.exit(2);
}

function readOptions() {
  let parsed;
  try {
    parsed = parseArgs({
      allowPositionals: true,
      options: {
        screenshot: { type: 'string' },
        'screenshot-only': { type: 'boolean' },
        pdf: { type: 'string' },
        widths: { type: 'string', default: '1280,800' },
      },
    });
  } catch (error) {
    usage(error.message);
  }
  const { values, positionals } = parsed;
  if (positionals.length !== 1) usage('name one page');
  const widths = values.widths.split(',').map(Number);
  if (widths.some((w) => !Number.isInteger(w) || w < 200)) usage(`bad --widths ${values.widths}`);
  if (values['screenshot-only'] && !values.screenshot) usage('--screenshot-only needs --screenshot');
  if (!existsSync(positionals[0])) usage(`no such page: ${positionals[0]}`);
  return { page: path.resolve(positionals[0]), screenshot: values.screenshot,
    screenshotOnly: values['screenshot-only'], widths, pdf: values.pdf };
}

// Both the browser and its driver come from the machine's packages, not from a download at test
// time: a machine without them skips the test rather than failing it.
async function launchChromium() {
  const executablePath = process.env.ZT_CHROMIUM || '/usr/bin/chromium';
  let chromium;
  try {
    ({ chromium } = await import('playwright-core'));
  } catch (error) {
    if (error.code !== 'ERR_MODULE_NOT_FOUND') throw error;
    console.log('skipped: playwright-core is not installed; run `make deps` or ' +
      '`npm ci --prefix tools/sim/tests/browser`');
    process.exit(SKIP);
  }
  if (!existsSync(executablePath)) {
    console.log(`skipped: no Chromium at ${executablePath}; run \`make deps\` (Debian's chromium)` +
      ' or name one in ZT_CHROMIUM');
    process.exit(SKIP);
  }
  // CI runs as root, where Chromium refuses to start inside its own sandbox.
  return chromium.launch({ executablePath, args: ['--no-sandbox'] });
}

// A new window of the given width with the page loaded. Every console error, uncaught error and
// request for something other than the page itself is written to `problems` as it happens.
async function openPage(browser, pageUrl, width, problems) {
  const context = await browser.newContext({ viewport: { width, height: HEIGHT } });
  const page = await context.newPage();
  const blocked = new Set();
  // Nothing leaves the machine: a request elsewhere is reported and refused rather than waited on.
  // data: URLs are part of the page's own text.
  await context.route('**/*', (route) => {
    const url = route.request().url();
    if (url === pageUrl || url.startsWith('data:')) return route.continue();
    return route.abort();
  });
  page.on('request', (request) => {
    const url = request.url();
    if (url === pageUrl || url.startsWith('data:')) return;
    blocked.add(url);
    problems.push(`${width}px: requests ${url} (the page must hold everything itself)`);
  });
  page.on('console', (message) => {
    if (message.type() !== 'error') return;
    // A refused request also shows as "Failed to load resource": it is reported once, above.
    if (blocked.has(message.location().url)) return;
    problems.push(`${width}px: console error: ${message.text()}`);
  });
  page.on('pageerror', (error) => {
    problems.push(`${width}px: uncaught error: ${error.message.split('\n')[0]}`);
  });
  await page.goto(pageUrl, { waitUntil: 'load' });
  // Fonts decide the text's widths; two frames let the scripts run on load lay the page out.
  await page.evaluate(() => document.fonts.ready);
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
  return { context, page };
}

// Runs inside the page: what is drawn past the window's edges, and which charts are empty.
// Returns one text per problem.
function inspectPage({ slack, maxOverflowLines }) {
  const name = (element) => {
    let text = element.tagName.toLowerCase();
    if (element.id) text += `#${element.id}`;
    const classes = (element.getAttribute('class') || '').trim();
    if (classes) text += `.${classes.split(/\s+/).join('.')}`;
    if (element.hasAttribute('data-series')) text += `[data-series="${element.getAttribute('data-series')}"]`;
    const words = (element.textContent || '').replace(/\s+/g, ' ').trim();
    if (words) text += ` "${words.length > 40 ? `${words.slice(0, 40)}…` : words}"`;
    return text;
  };
  const problems = [];
  const root = document.documentElement;
  const width = root.clientWidth;
  if (root.scrollWidth > width) {
    problems.push(`the page scrolls sideways: ${root.scrollWidth}px wide in a ${width}px window`);
  }

  // An element inside a box that clips or scrolls sideways (an svg, a table in a scrolling
  // wrapper) is drawn only within that box, which is checked itself. Inside an element already
  // reported, its children would only repeat it.
  const clipsSideways = (element) => getComputedStyle(element).overflowX !== 'visible';
  const reported = [];
  for (const element of document.body.querySelectorAll('*')) {
    const box = element.getBoundingClientRect();
    if (box.width === 0 || box.height === 0) continue;
    if (getComputedStyle(element).visibility !== 'visible') continue;
    let ancestor = element.parentElement;
    let hidden = false;
    for (; ancestor && ancestor !== document.body; ancestor = ancestor.parentElement) {
      if (reported.includes(ancestor) || clipsSideways(ancestor)) { hidden = true; break; }
    }
    if (hidden) continue;
    const left = box.left + window.scrollX;
    const right = box.right + window.scrollX;
    if (right <= width + slack && left >= 0) continue;
    reported.push(element);
    if (reported.length > maxOverflowLines) continue;
    const where = left < 0 ? `starts at ${left.toFixed(1)}px, left of the window`
                           : `ends at ${right.toFixed(1)}px, past the ${width}px window`;
    problems.push(`${name(element)} ${where}`);
  }
  if (reported.length > maxOverflowLines) {
    problems.push(`and ${reported.length - maxOverflowLines} more elements outside the window`);
  }

  const charts = document.querySelectorAll('figure.chart');
  if (charts.length === 0) problems.push('no chart: the page has no <figure class="chart">');
  for (const chart of charts) {
    const svg = chart.querySelector('svg');
    if (!svg) { problems.push(`chart ${name(chart)} holds no inline <svg>`); continue; }
    // A flat line is drawn with a zero height, so one side above zero is enough.
    const drawn = [...svg.querySelectorAll('[data-series]')].filter((series) => {
      const box = series.getBoundingClientRect();
      return box.width > 0 || box.height > 0;
    });
    if (drawn.length === 0) problems.push(`chart ${name(chart)} is empty: no [data-series] element drawn`);
  }
  return problems;
}

// Runs inside the page: the verdict under the title (one to three sentences naming a ladder of the
// tables, or saying the runs cannot tell them apart) and a definition under each table of every
// column, by its group's name or its own. Returns one text per problem.
function inspectReading() {
  const problems = [];
  const verdict = document.querySelector('h1 + p.verdict');
  const words = verdict ? verdict.textContent.trim() : '';
  if (!words) {
    problems.push('no verdict: no <p class="verdict"> under the title');
  } else {
    const sentences = words.split(/[.!?](?:\s+|$)(?=[A-Z]|$)/).filter((s) => s.trim()).length;
    if (sentences < 1 || sentences > 3) problems.push(`the verdict has ${sentences} sentences, not 1 to 3`);
    const names = [...document.querySelectorAll('table.figures tbody tr')].map((r) => r.dataset.name);
    if (!names.some((n) => words.includes(n)) && !words.includes('do not tell them apart')) {
      problems.push('the verdict names no ladder of the tables');
    }
  }
  for (const table of document.querySelectorAll('table.figures')) {
    const list = table.nextElementSibling;
    const caption = table.caption ? table.caption.textContent : 'a table';
    if (!list || !list.matches('dl.definitions')) {
      problems.push(`"${caption}" has no definitions under it`);
      continue;
    }
    const terms = new Set([...list.querySelectorAll('dt')].map((dt) => dt.textContent.trim()));
    const groups = [];
    for (const th of table.tHead.rows[0].cells) {
      for (let i = 0; i < th.colSpan; ++i) groups.push(th.textContent.trim());
    }
    for (const th of table.querySelectorAll('th[data-column]')) {
      const group = table.tHead.rows.length > 1 ? groups[Number(th.dataset.column) + 1] : '';
      const heading = th.textContent.trim();
      if (!(group && terms.has(group)) && !terms.has(heading)) {
        problems.push(`"${caption}": the column "${group ? `${group} ` : ''}${heading}" is not defined`);
      }
    }
  }
  return problems;
}

// Runs inside the page laid out for print at A4's printed width: every chart label's size on
// paper, 1 CSS px being 0.75 pt. Returns one text per chart whose smallest label is under 8 pt.
function inspectPrintedLabels({ smallestPoints }) {
  const problems = [];
  for (const svg of document.querySelectorAll('figure.chart svg')) {
    const box = svg.viewBox.baseVal;
    if (!box || box.width === 0) continue;
    const scale = svg.getBoundingClientRect().width / box.width;
    let smallest = Infinity;
    let example = '';
    for (const text of svg.querySelectorAll('text')) {
      if (text.getBoundingClientRect().width === 0) continue;
      const points = parseFloat(getComputedStyle(text).fontSize) * scale * 0.75;
      if (points < smallest) { smallest = points; example = text.textContent.trim(); }
    }
    if (smallest < smallestPoints) {
      const label = svg.getAttribute('aria-label') || 'a chart';
      problems.push(`print: "${label.slice(0, 40)}" has labels of ${smallest.toFixed(1)} pt ("${example}"), under ${smallestPoints} pt`);
    }
  }
  return problems;
}

// The page as printed on A4 (the page's own @page margins): its chart labels' size, and a PDF
// where asked. A4 is 210 mm wide; less the page's 12 mm margins, 186 mm = 703 CSS px.
async function checkPrint(browser, pageUrl, pdfPath) {
  const seen = [];
  const { context, page } = await openPage(browser, pageUrl, 703, seen);
  await page.emulateMedia({ media: 'print' });
  const found = await page.evaluate(inspectPrintedLabels, { smallestPoints: 8 });
  if (pdfPath) await page.pdf({ path: pdfPath, format: 'A4', preferCSSPageSize: true });
  await context.close();
  return [...seen, ...found];
}

// Clicks every sortable heading once, as a reader comparing ladders would: the first click must
// put the better figures first (the lower for a cost, the higher for a result) and leave the rows
// without that figure last. Script errors a click raises are caught by openPage's listeners.
async function sortEveryColumn(page) {
  const problems = [];
  for (const heading of await page.locator('table.figures th[data-column]').all()) {
    await heading.click();
    const problem = await heading.evaluate((th) => {
      const name = th.textContent.trim();
      const column = Number(th.dataset.column);
      const rows = Array.from(th.closest('table').tBodies[0].rows);
      const values = rows.map((row) => row.cells[column + 1].getAttribute('data-sort'));
      const firstMissing = values.indexOf(null);
      if (firstMissing >= 0 && values.slice(firstMissing).some((v) => v !== null)) {
        return `sorting by "${name}" left a row without the figure among the others`;
      }
      const lowerFirst = th.dataset.better === 'lower';
      const numbers = values.filter((v) => v !== null).map(Number);
      for (let i = 1; i < numbers.length; ++i) {
        if (lowerFirst ? numbers[i] < numbers[i - 1] : numbers[i] > numbers[i - 1]) {
          return `sorting by "${name}" put ${numbers[i - 1]} before ${numbers[i]}`;
        }
      }
      return null;
    });
    if (problem) problems.push(problem);
  }
  return problems;
}

async function main() {
  const options = readOptions();
  const pageUrl = pathToFileURL(options.page).href;
  const label = path.basename(options.page);
  const browser = await launchChromium();
  const problems = [];
  try {
    for (const [index, width] of options.widths.entries()) {
      const seen = [];
      const { context, page } = await openPage(browser, pageUrl, width, seen);
      if (options.screenshot && (index === 0 || !options.screenshotOnly)) {
        const shot = index === 0 ? options.screenshot
          : options.screenshot.replace(/(\.png)?$/, `-${width}.png`);
        await page.screenshot({ path: shot, fullPage: true });
      }
      if (options.screenshotOnly) { await context.close(); break; }
      const found = await page.evaluate(inspectPage, { slack: EDGE_SLACK, maxOverflowLines: MAX_OVERFLOW_LINES });
      if (index === 0) {
        found.push(...await page.evaluate(inspectReading));
        found.push(...await sortEveryColumn(page));
      }
      for (const line of found) seen.push(`${width}px: ${line}`);
      await context.close();
      problems.push(...seen);
    }
    if (!options.screenshotOnly || options.pdf) problems.push(...await checkPrint(browser, pageUrl, options.pdf));
  } finally {
    await browser.close();
  }
  if (options.screenshotOnly) {
    console.log(`${label}: screenshot ${options.screenshot}`);
    return 0;
  }
  for (const line of problems) console.log(`${label} at ${line}`);
  if (problems.length > 0) return 1;
  const shot = (options.screenshot ? `; screenshot ${options.screenshot}` : '') +
    (options.pdf ? `; print ${options.pdf}` : '');
  console.log(`${label}: no problem at ${options.widths.join(', ')}px${shot}`);
  return 0;
}

main().then((code) => process.exit(code), (error) => {
  console.log(`check-report: ${error.message.split('\n')[0]}`);
  process.exit(1);
});
