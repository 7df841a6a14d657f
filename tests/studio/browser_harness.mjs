// What the browser tests and the browser benchmark share: `vento studio` started under Wine and
// its address read from its first line, and Debian's Chromium driven by playwright-core (from the
// editor's own packages in studio/node_modules; no browser is downloaded).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import readline from 'node:readline';

export const CHROMIUM = '/usr/bin/chromium';

// Chromium's driver, or why there is none: { chromium } or { missing: "one line" }.
export function findChromium(studioDir, vento) {
  if (!fs.existsSync(CHROMIUM)) return { missing: `${CHROMIUM} is missing (scripts/setup.sh installs Debian's chromium)` };
  if (!fs.existsSync(path.join(path.dirname(vento), 'studio', 'index.html')))
    return { missing: 'the editor is not built (bin/studio/index.html is missing)' };
  try {
    return { chromium: createRequire(path.resolve(studioDir, 'package.json'))('playwright-core').chromium };
  } catch {
    return { missing: 'playwright-core is missing from studio/node_modules (scripts/setup.sh runs npm ci)' };
  }
}

export function launchBrowser(chromium) {
  return chromium.launch({ executablePath: CHROMIUM, headless: true, args: ['--no-sandbox'] });
}

// `vento studio ARGS` under Wine in `cwd`: its address, the API for checks, and Ctrl+C.
export async function startStudio({ vento, wineRun, cwd, args = [] }) {
  const child = spawn(wineRun, [vento, 'studio', '--port', '0', ...args], {
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
  const match = /^studio: (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+)\s*$/.exec(first);
  if (!match) throw new Error(`vento studio did not start: ${first} ${errors.slice(-400)}`);
  const url = new URL(match[1]);
  return {
    url: match[1],
    origin: url.origin,
    token: url.searchParams.get('token'),
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

// A page on the studio's editor, its console's errors collected in `errors`.
export async function openPage(browser, studio) {
  const page = await browser.newPage({ viewport: { width: 1400, height: 860 } });
  const errors = [];
  page.on('console', (m) => m.type() === 'error' && errors.push(m.text()));
  page.on('pageerror', (e) => errors.push(String(e)));
  // Which call it was: the console's line does not say.
  page.on('response', (r) => r.status() >= 400 && console.log(`answered ${r.status()}: ${r.request().method()} ${r.url().replace(/^.*?\/\/[^/]+/, '')}`));
  await page.goto(studio.url);
  await page.getByRole('searchbox', { name: 'Search modules' }).waitFor();
  return { page, errors };
}
