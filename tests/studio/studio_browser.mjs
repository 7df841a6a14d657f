// The studio's editor in a real browser: Debian's Chromium, headless, driven by playwright-core,
// against `vento studio` under Wine. Each flow runs in a page of its own, fails on any error in the
// browser's console, and leaves a screenshot in OUT_DIR.
//
// Usage: node studio_browser.mjs VENTO_EXE EXAMPLES WINE_RUN STUDIO_DIR OUT_DIR [FLOW...]
// Exits 77 (skipped, with the reason) when Chromium or the editor's packages are missing.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { findChromium, launchBrowser, openPage, startStudio } from './browser_harness.mjs';

const [VENTO, EXAMPLES, WINE_RUN, STUDIO_DIR, OUT_DIR, ...only] = process.argv.slice(2);
const { chromium, missing } = findChromium(STUDIO_DIR, VENTO);
if (missing) {
  console.log(`skipped: ${missing}`);
  process.exit(77);
}

const failures = [];
function check(what, condition, detail = '') {
  console.log(`${condition ? 'ok' : 'FAILED'}: ${what}${condition ? '' : ` (${detail})`}`);
  if (!condition) failures.push(what);
  return condition;
}
const flows = new Map();
// `allowed`: console lines a flow expects (Chromium logs every refused request as an error).
const flow = (name, body, allowed = []) => flows.set(name, { body, allowed });

flow('smoke', async ({ page, studio }) => {
  await page.locator('.palette [role=option]').nth(16).waitFor();
  check('the palette lists every module', (await page.locator('.palette [role=option]').count()) === 17);
  const assets = await fetch(studio.origin + '/').then((r) => r.status);
  check('the editor is not served without the token', assets === 403, assets);
  const outside = await fetch(`${studio.origin}/assets/%2e%2e%2fvento.exe?token=${studio.token}`).then((r) => r.status);
  check("no name reaches outside the editor's folder", outside === 404, outside);
  const help = await page.evaluate(() => fetch('/api/catalogue').then((r) => r.status));
  check('the cookie the page was given lets it call the API', help === 200, help);
});

// --- what the flows do as a person would ---

const search = (page) => page.getByRole('searchbox', { name: 'Search modules' });
const node = (page, name) => page.locator(`[data-instance="${name}"]`);
const field = (page, label) => page.getByRole('textbox', { name: label, exact: true });

// Finds a module in the palette by typing, places it with Enter (or a drag), and names it.
async function place(page, type, name, { drag = false } = {}) {
  await search(page).fill(type);
  if (drag) {
    const pane = await page.locator('.react-flow__pane').boundingBox();
    await page.locator(`.palette [role=option][data-type="${type}"]`).dragTo(page.locator('.react-flow__pane'), {
      targetPosition: { x: pane.width * 0.8, y: pane.height * 0.3 },
    });
  } else await search(page).press('Enter');
  await page.locator('.inspector h2', { hasText: type }).waitFor();
  await field(page, 'Name').fill(name);
  await field(page, 'Name').press('Enter');
  await node(page, name).waitFor();
}

async function select(page, name) {
  await node(page, name).locator('header').click();
  await page.locator('.inspector h2').waitFor();
  await field(page, 'Name').and(page.locator(`[value="${name}"]`)).waitFor();
}

async function setting(page, label, value) {
  await field(page, label).fill(String(value));
  await Promise.all([page.waitForResponse((r) => r.url().endsWith('/api/ops')), field(page, label).press('Enter')]);
  await page.waitForFunction(([l, v]) => document.querySelector(`.inspector input[aria-label="${l}"]`)?.value === v, [label, String(value)]);
}

// Moves a trackbar of the rendered panel as a person's drag would end, and waits for the panel's answer.
async function slide(page, label, value) {
  const answers = Number(await page.locator('.panel').getAttribute('data-answers'));
  await page.getByRole('slider', { name: label }).evaluate((input, v) => {
    Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'value').set.call(input, String(v));
    input.dispatchEvent(new Event('input', { bubbles: true }));
  }, value);
  await page.waitForFunction((n) => Number(document.querySelector('.panel')?.dataset.answers) > n, answers);
}

const handle = (page, end, kind) => {
  const dot = end.lastIndexOf('.');
  return page.locator(`.react-flow__handle[data-nodeid="${end.slice(0, dot)}"][data-handleid="${kind}:${end.slice(dot + 1)}"]`);
};
// A wire dragged from an output to an input.
async function wire(page, from, to) {
  const a = await handle(page, from, 'out').boundingBox(), b = await handle(page, to, 'in').boundingBox();
  await page.mouse.move(a.x + a.width / 2, a.y + a.height / 2);
  await page.mouse.down();
  await page.mouse.move(b.x + b.width / 2, b.y + b.height / 2, { steps: 10 });
  await page.mouse.up();
}
const edge = (page, from, to) => page.locator(`[data-testid="rf__edge-${from}>${to}"]`);

async function keysToCanvas(page) {
  await page.evaluate(() => document.activeElement?.blur());
}

async function openFile(page, file) {
  await page.getByRole('textbox', { name: 'Graph file' }).fill(file);
  await Promise.all([
    page.waitForResponse((r) => r.url().endsWith('/api/open')),
    page.getByRole('button', { name: 'Open', exact: true }).click(),
  ]);
  await page.waitForTimeout(300); // the fit into view
}

async function save(page, file) {
  const before = (await page.locator('.notice', { hasText: 'Saved' }).count());
  if (file) await page.getByRole('textbox', { name: 'Graph file' }).fill(file);
  await page.getByRole('button', { name: 'Save', exact: true }).click();
  await page.waitForFunction((n) => [...document.querySelectorAll('.notice')].filter((e) => e.textContent.includes('Saved')).length > n, before);
}

// A graph file as modules (type, settings, panel values by control) and connections; a window's
// own placement aside, which the studio keeps open.
async function described(page, file) {
  return page.evaluate((text) => {
    const root = new DOMParser().parseFromString(text, 'application/xml').documentElement;
    const modules = {};
    for (const m of root.querySelectorAll('module')) {
      const settings = {}, panel = {};
      for (const s of m.children)
        if ((s.tagName === 'float' || s.tagName === 'string') && !['Top', 'Left', 'Width', 'Height'].includes(s.getAttribute('name')))
          settings[s.getAttribute('name')] = s.tagName === 'float' ? Number(s.getAttribute('value')) : s.getAttribute('value');
      for (const c of m.querySelectorAll('control')) {
        const action = ['position', 'select', 'click'].find((a) => c.hasAttribute(a));
        panel[c.getAttribute('id') ?? c.getAttribute('label')] = [action, Number(c.getAttribute(action))];
      }
      modules[m.getAttribute('name')] = [m.getAttribute('type'), settings, panel];
    }
    const connections = [...root.querySelectorAll('connect')].map((c) => `${c.getAttribute('from')}>${c.getAttribute('to')}`).sort();
    return JSON.stringify({ modules: Object.fromEntries(Object.entries(modules).sort()), connections });
  }, fs.readFileSync(file, 'utf8'));
}

// The graph as the studio holds it, its places aside.
async function shape(studio) {
  const g = await studio.api('GET', '/api/graph');
  return JSON.stringify({
    modules: g.modules.map((m) => [m.name, m.type, m.settings, m.panel]).sort(),
    connections: g.connections.map((c) => `${c.from}>${c.to}`).sort(),
  });
}

flow('build', async ({ page, work }) => {
  await place(page, 'SignalW', 'tone');
  await setting(page, 'Amp', 0.8);
  await setting(page, 'Shape', 4);
  await place(page, 'FFT', 'fft', { drag: true });
  await place(page, 'Filter', 'band');
  await slide(page, 'High Cut', 30);
  await slide(page, 'Low Cut', 10);
  await slide(page, 'Ramp', 2);
  await place(page, 'iFFT', 'ifft');
  await place(page, 'GraphWindow', 'scope');
  await place(page, 'WAV', 'file');
  await setting(page, 'FileName', 'filtered.wav');
  await page.getByRole('button', { name: 'Record', exact: true }).click();
  await keysToCanvas(page);
  await page.keyboard.press('f');
  await page.waitForTimeout(400);
  const wires = [['tone.Default', 'fft.Default'], ['fft.Default', 'band.Default'], ['band.Default', 'ifft.Default'],
                 ['ifft.Default', 'scope.Default'], ['scope.Default', 'file.Input']];
  for (const [from, to] of wires) {
    await wire(page, from, to);
    await edge(page, from, to).waitFor({ state: 'attached' });
  }
  check('the problems are gone once every input is fed', await page.getByText('No problems: the graph can run.').isVisible());
  await save(page, path.join(work, 'built.xml'));
  const built = await described(page, path.join(work, 'built.xml')), reference = await described(page, path.join(work, 'reference.xml'));
  check('the demo built in the browser is what vento save writes', built === reference, `${built} != ${reference}`);
});

flow('run', async ({ page, work }) => {
  await openFile(page, path.join(work, 'demo.xml'));
  await node(page, 'scope').waitFor();
  const picture = page.locator('img[data-window="scope"]');
  await picture.waitFor();
  check("the scope's window shows before the graph runs", true);
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  const first = await picture.getAttribute('src');
  await page.waitForFunction((src) => {
    const img = document.querySelector('img[data-window="scope"]');
    return img && img.getAttribute('src') !== src && img.complete && img.naturalWidth > 0;
  }, first, { timeout: 20000 });
  check("the scope's picture changes while the graph runs", true);
  const stats = page.locator('[data-stats="tone"]');
  await stats.waitFor();
  const before = await stats.textContent();
  await page.waitForFunction((t) => document.querySelector('[data-stats="tone"]')?.textContent !== t, before, { timeout: 10000 });
  check('the statistics move', /blocks\/s/.test(await stats.textContent()), await stats.textContent());
  await select(page, 'band');
  await page.waitForTimeout(500);
  await page.screenshot({ path: path.join(OUT_DIR, 'studio-running.png') }); // the README's picture
  await page.getByRole('button', { name: 'Stop', exact: true }).click();
  await page.getByRole('status', { name: 'Run state' }).filter({ hasText: 'stopped' }).waitFor();
  check('Stop ends the run and says so', /stopped/.test(await page.getByRole('status', { name: 'Run state' }).textContent()));
});

flow('panel', async ({ page, work }) => {
  await openFile(page, path.join(work, 'demo.xml'));
  await node(page, 'band').waitFor();
  await select(page, 'band');
  await slide(page, 'High Cut', 45);
  check('the panel is drawn again from its answer', (await page.locator('.panel [data-control="5003"]').inputValue()) === '45');
  await save(page);
  const saved = fs.readFileSync(path.join(work, 'demo.xml'), 'utf8');
  check('the saved file holds the new High Cut', /<control id="5003" position="45"\/>/.test(saved), saved.match(/<panel>[\s\S]*?<\/panel>/)?.[0]);
});

flow('undo', async ({ page, studio, work }) => {
  await openFile(page, path.join(work, 'demo.xml'));
  await node(page, 'band').waitFor();
  const start = await shape(studio), startPlaces = (await studio.api('GET', '/api/graph')).modules.map((m) => [m.x, m.y]);
  await Promise.all([page.waitForResponse((r) => r.url().endsWith('/api/ops')), page.getByRole('button', { name: 'Arrange' }).click()]);
  await page.waitForTimeout(400);
  const arranged = (await studio.api('GET', '/api/graph')).modules;
  check('Arrange lays the chain out left to right', arranged.every((m, i) => i === 0 || m.x > arranged[i - 1].x), JSON.stringify(arranged.map((m) => [m.x, m.y])));
  await place(page, 'Multiplier', 'mix');
  await keysToCanvas(page);
  for (let i = 0; i < 2; ++i)
    await Promise.all([page.waitForResponse((r) => r.url().endsWith('/api/ops')), page.keyboard.press('Shift+ArrowDown')]);
  await select(page, 'band');
  await slide(page, 'Low Cut', 12);
  const line = await edge(page, 'band.Default', 'ifft.Default').locator('.react-flow__edge-interaction').boundingBox();
  await page.mouse.click(line.x + line.width / 2, line.y + line.height / 2);
  await page.keyboard.press('Delete');
  await edge(page, 'band.Default', 'ifft.Default').waitFor({ state: 'detached' });
  const end = await shape(studio);
  const undo = page.getByRole('button', { name: 'Undo', exact: true }), redo = page.getByRole('button', { name: 'Redo', exact: true });
  let steps = 0;
  for (; (await undo.isEnabled()) && steps < 20; ++steps) {
    const revision = (await studio.api('GET', '/api/graph')).revision;
    if (steps % 2) await undo.click();
    else {
      await keysToCanvas(page);
      await page.keyboard.press('Control+z');
    }
    await page.waitForFunction(async (r) => (await fetch('/api/graph').then((x) => x.json())).revision > r, revision);
    await page.waitForTimeout(100);
  }
  const places = (await studio.api('GET', '/api/graph')).modules.map((m) => [m.x, m.y]);
  check('undo goes back through every edit to the start', (await shape(studio)) === start && steps === 7 &&
        JSON.stringify(places) === JSON.stringify(startPlaces), `${steps} steps`);
  check('the canvas is back too', (await node(page, 'mix').count()) === 0 && (await edge(page, 'band.Default', 'ifft.Default').count()) === 1);
  for (steps = 0; (await redo.isEnabled()) && steps < 20; ++steps) {
    await redo.click();
    await page.waitForTimeout(300);
  }
  check('redo comes forward again to the last edit', (await shape(studio)) === end && steps === 7, `${steps} steps`);
});

flow('copy', async ({ page, studio, work }) => {
  await openFile(page, path.join(work, 'demo.xml'));
  await select(page, 'tone');
  await node(page, 'fft').locator('header').click({ modifiers: ['Control'] });
  await page.keyboard.press('Control+c');
  await Promise.all([page.waitForResponse((r) => r.url().endsWith('/api/ops')), page.keyboard.press('Control+v')]);
  const g = await studio.api('GET', '/api/graph');
  const by = (name) => g.modules.find((m) => m.name === name);
  check('a pasted copy keeps its settings', JSON.stringify(by('tone2')?.settings) === JSON.stringify(by('tone').settings), JSON.stringify(by('tone2')));
  check('and the wires inside the selection, not those leaving it',
        g.connections.some((c) => c.from === 'tone2.Default' && c.to === 'fft2.Default') && !g.connections.some((c) => c.from === 'fft2.Default'),
        JSON.stringify(g.connections));
});

flow('refusals', async ({ page, work }) => {
  await openFile(page, path.join(work, 'demo.xml'));
  await node(page, 'tone').waitFor();
  await wire(page, 'tone.Default', 'ifft.Default');
  const refusal = page.getByRole('alert').and(page.locator('.refusal'));
  await refusal.waitFor();
  check('a refused wire says why, where it was let go', /ifft/.test(await refusal.textContent()), await refusal.textContent());
  check('and draws nothing', (await edge(page, 'tone.Default', 'ifft.Default').count()) === 0);
  await openFile(page, path.join(work, 'missing.xml'));
  await node(page, 'tape').waitFor();
  await page.getByRole('button', { name: 'Run offline', exact: true }).click();
  const notice = page.locator('.notice', { hasText: 'tape: File Open Failed' });
  await notice.waitFor({ timeout: 30000 });
  check("a module's message box shows as a notice", await notice.isVisible());
}, [/status of 422/]);

flow('keyboard', async ({ page, studio, work }) => {
  await openFile(page, path.join(work, 'empty.xml'));
  await keysToCanvas(page);
  await page.keyboard.press('/');
  await page.keyboard.type('SignalW');
  await page.keyboard.press('Enter');
  await page.locator('.inspector h2', { hasText: 'SignalW' }).waitFor();
  const source = await field(page, 'Name').inputValue();
  await page.keyboard.press('Control+k');
  await page.keyboard.type('GraphWin');
  await page.keyboard.press('Enter');
  await page.locator('.inspector h2', { hasText: 'GraphWindow' }).waitFor();
  const sink = await field(page, 'Name').inputValue();
  await page.keyboard.press('Alt+ArrowLeft');
  await field(page, 'Name').and(page.locator(`[value="${source}"]`)).waitFor();
  await page.keyboard.press('c');
  await page.keyboard.type(sink);
  await page.keyboard.press('Enter');
  await edge(page, `${source}.Default`, `${sink}.Default`).waitFor({ state: 'attached' });
  const g = await studio.api('GET', '/api/graph');
  check('two modules placed and connected from the keyboard', g.connections.some((c) => c.from === `${source}.Default` && c.to === `${sink}.Default`));
  await page.keyboard.press('?');
  check('"?" lists the shortcuts', await page.getByRole('dialog', { name: 'Shortcuts' }).isVisible());
});

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vento_browser_'));
  fs.mkdirSync(OUT_DIR, { recursive: true });
  const registered = spawnSync(WINE_RUN, [VENTO, 'register', '-q'], { cwd: work, stdio: 'inherit' });
  check('register', registered.status === 0);
  for (const f of ['demo.xml', 'reference.xml']) fs.copyFileSync(path.join(EXAMPLES, 'demo.xml'), path.join(work, f));
  check('vento save of the demo', spawnSync(WINE_RUN, [VENTO, 'save', 'reference.xml'], { cwd: work }).status === 0);
  fs.writeFileSync(path.join(work, 'empty.xml'), '<graph/>');
  // A Recorder told to play a recording that is not there: its message box.
  fs.writeFileSync(path.join(work, 'missing.xml'),
    '<graph><module name="tone" type="SignalW"/><module name="tape" type="Recorder"><string name="FileName" value="none.vento"/>' +
    '<panel><control id="5003" click="1"/></panel></module><connect from="tone.Default" to="tape.Default"/></graph>');
  const studio = await startStudio({ vento: VENTO, wineRun: WINE_RUN, cwd: work });
  const browser = await launchBrowser(chromium);
  try {
    for (const [name, { body, allowed }] of flows) {
      if (only.length && !only.includes(name)) continue;
      console.log(`--- ${name}`);
      const { page, errors } = await openPage(browser, studio);
      try {
        await body({ page, studio, work });
      } catch (e) {
        check(`${name} ran to its end`, false, e.stack ?? e);
      }
      await page.screenshot({ path: path.join(OUT_DIR, `studio-${name}.png`) }).catch(() => {});
      const unexpected = errors.filter((e) => !allowed.some((a) => a.test(e)));
      check(`${name}: no errors in the browser's console`, unexpected.length === 0, unexpected.join(' | '));
      await page.close();
    }
  } finally {
    await browser.close();
    check('Ctrl+C closes the studio', await studio.close());
    fs.rmSync(work, { recursive: true, force: true });
  }
  console.log(failures.length ? `${failures.length} failed` : 'all passed');
  process.exit(failures.length ? 1 : 0);
}

await main();
