// The studio's editor in a real browser: Debian's Chromium, headless, driven by playwright-core,
// against `vento studio` under Wine. Each flow runs in a page of its own, fails on any error in the
// browser's console, and leaves a screenshot in OUT_DIR.
//
// Usage: node studio_browser.mjs VENTO_EXE EXAMPLES WINE_RUN STUDIO_DIR OUT_DIR [FLOW...]
// Exits 77 (skipped, with the reason) when Chromium or the editor's packages are missing.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

const [VENTO, EXAMPLES, WINE_RUN, STUDIO_DIR, OUT_DIR, ...only] = process.argv.slice(2);
const CHROMIUM = '/usr/bin/chromium';

function skip(why) {
  console.log(`skipped: ${why}`);
  process.exit(77);
}
if (!fs.existsSync(CHROMIUM)) skip(`${CHROMIUM} is missing (scripts/setup.sh installs Debian's chromium)`);
let chromium;
try {
  ({ chromium } = createRequire(path.join(STUDIO_DIR, 'package.json'))('playwright-core'));
} catch {
  skip('playwright-core is missing from studio/node_modules (scripts/setup.sh runs npm ci)');
}
if (!fs.existsSync(path.join(path.dirname(VENTO), 'studio', 'index.html'))) skip("the editor is not built (bin/studio/index.html is missing)");

export const failures = [];
export function check(what, condition, detail = '') {
  console.log(`${condition ? 'ok' : 'FAILED'}: ${what}${condition ? '' : ` (${detail})`}`);
  if (!condition) failures.push(what);
  return condition;
}
export const windows = (file) => 'Z:' + path.resolve(file);

// `vento studio` under Wine, in `cwd`, and its address.
export async function startStudio(cwd, ...args) {
  const child = spawn(WINE_RUN, [VENTO, 'studio', '--port', '0', ...args], {
    cwd,
    detached: true,
    env: { ...process.env, VENTO_TIMEOUT: '1200' },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let errors = '';
  child.stderr.on('data', (d) => (errors += d));
  const lines = readline.createInterface({ input: child.stdout });
  const first = await new Promise((resolve) => {
    lines.once('line', resolve);
    child.once('exit', () => resolve(''));
  });
  const match = /^studio: (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+)$/.exec(first);
  if (!match) throw new Error(`vento studio did not start: ${first} ${errors.slice(-400)}`);
  return {
    url: match[1],
    origin: new URL(match[1]).origin,
    token: new URL(match[1]).searchParams.get('token'),
    async api(method, call, body) {
      const response = await fetch(this.origin + call, {
        method,
        headers: { 'X-Vento-Token': this.token, 'Content-Type': 'application/json' },
        body: body === undefined ? undefined : JSON.stringify(body),
      });
      return response.json();
    },
    async close() {
      process.kill(-child.pid, 'SIGINT');
      const ended = await new Promise((resolve) => {
        const timer = setTimeout(() => resolve(false), 30000);
        child.once('exit', () => (clearTimeout(timer), resolve(true)));
      });
      if (!ended) process.kill(-child.pid, 'SIGKILL');
      return ended;
    },
  };
}

export async function launchBrowser() {
  return chromium.launch({ executablePath: CHROMIUM, headless: true, args: ['--no-sandbox'] });
}

// A page on the studio, with the console watched for errors.
export async function openPage(browser, studio) {
  const page = await browser.newPage({ viewport: { width: 1400, height: 860 } });
  const errors = [];
  page.on('console', (m) => m.type() === 'error' && errors.push(m.text()));
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(studio.url);
  await page.getByRole('searchbox', { name: 'Search modules' }).waitFor();
  return { page, errors };
}

const flows = new Map();
export const flow = (name, body) => flows.set(name, body);

flow('smoke', async ({ page, studio }) => {
  await page.locator('.palette [role=option]').nth(16).waitFor();
  check('the palette lists every module', (await page.locator('.palette [role=option]').count()) === 17);
  const assets = await fetch(studio.origin + '/').then((r) => r.status);
  check('the editor is not served without the token', assets === 403, assets);
  const help = await page.evaluate(() => fetch('/api/catalogue').then((r) => r.status));
  check('the cookie the page was given lets it call the API', help === 200, help);
});

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vento_browser_'));
  fs.mkdirSync(OUT_DIR, { recursive: true });
  const registered = spawnSync(WINE_RUN, [VENTO, 'register', '-q'], { cwd: work, stdio: 'inherit' });
  check('register', registered.status === 0);
  for (const f of ['demo.xml']) fs.copyFileSync(path.join(EXAMPLES, f), path.join(work, f));
  const studio = await startStudio(work);
  const browser = await launchBrowser();
  try {
    for (const [name, body] of flows) {
      if (only.length && !only.includes(name)) continue;
      console.log(`--- ${name}`);
      const { page, errors } = await openPage(browser, studio);
      try {
        await body({ page, studio, work });
      } catch (e) {
        check(`${name} ran to its end`, false, e.stack ?? e);
      }
      await page.screenshot({ path: path.join(OUT_DIR, `studio-${name}.png`) }).catch(() => {});
      check(`${name}: no errors in the browser's console`, errors.length === 0, errors.join(' | '));
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
