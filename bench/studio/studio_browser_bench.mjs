// The studio's editor measured in Chromium (headless, software drawing) against vento studio under
// Wine:
// 1. a generated graph of 200 modules (40 chains of SignalW, FFT, Filter, iFFT, Magnitude): the
//    time from pressing Open to all 200 nodes drawn, the studio's own part of it (the /api/open
//    answer), and a reload of the page onto that graph;
// 2. frame times while the canvas is panned by mouse and zoomed by wheel (requestAnimationFrame
//    intervals, from the page's performance clock);
// 3. a Filter panel's trackbar moved 50 times: from the input event to the panel drawn again from
//    the real panel's answer.
//
// Usage (from the repository, after a build): node bench/studio/studio_browser_bench.mjs
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { findChromium, launchBrowser, openPage, startStudio } from '../../tests/studio/browser_harness.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const vento = path.join(root, 'build/win64/bin/vento.exe'), wineRun = path.join(root, 'scripts/wine-run');
const { chromium, missing } = findChromium(path.join(root, 'studio'), vento);
if (missing) {
  console.log(`cannot measure: ${missing}`);
  process.exit(1);
}

const summary = (values) => {
  const s = [...values].sort((a, b) => a - b);
  const at = (q) => s[Math.min(s.length - 1, Math.floor(q * s.length))];
  return { median: at(0.5), p95: at(0.95), max: s[s.length - 1], mean: s.reduce((a, b) => a + b, 0) / s.length };
};
const ms = (x) => `${x.toFixed(1)} ms`;

function generatedGraph(chains) {
  const types = ['SignalW', 'FFT', 'Filter', 'iFFT', 'Magnitude'];
  let xml = '<graph>\n';
  for (let c = 0; c < chains; ++c) {
    types.forEach((t, i) => (xml += `  <module name="c${c}m${i}" type="${t}"/>\n`));
    for (let i = 1; i < types.length; ++i) xml += `  <connect from="c${c}m${i - 1}.Default" to="c${c}m${i}.Default"/>\n`;
  }
  return xml + '</graph>\n';
}

async function frameTimes(page, action) {
  await page.evaluate(() => {
    window.__frames = [];
    let last = performance.now();
    const tick = (now) => {
      window.__frames.push(now - last);
      last = now;
      if (window.__recording) requestAnimationFrame(tick);
    };
    window.__recording = true;
    requestAnimationFrame(tick);
  });
  await action();
  return page.evaluate(() => {
    window.__recording = false;
    return window.__frames.slice(1);
  });
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vento_browser_bench_'));
spawnSync(wineRun, [vento, 'register', '-q'], { cwd: work, stdio: 'inherit' });
fs.writeFileSync(path.join(work, 'big.xml'), generatedGraph(40));
const studio = await startStudio({ vento, wineRun, cwd: work });
const browser = await launchBrowser(chromium);
try {
  const { page, errors } = await openPage(browser, studio);
  const drawn = (n) => page.waitForFunction((count) => document.querySelectorAll('[data-instance]').length >= count, n, { timeout: 120000, polling: 'raf' });

  // 1. Opening.
  await page.getByRole('textbox', { name: 'Graph file' }).fill(path.join(work, 'big.xml'));
  const pressed = Date.now();
  const [answer] = await Promise.all([
    page.waitForResponse((r) => r.url().endsWith('/api/open'), { timeout: 120000 }),
    page.getByRole('button', { name: 'Open', exact: true }).click(),
  ]);
  const answered = Date.now();
  await drawn(200);
  const shown = Date.now();
  console.log(`open 200 modules: ${shown - pressed} ms from Open to every node drawn; the studio's answer ${answered - pressed} ms, ` +
              `the page's drawing ${shown - answered} ms`);
  void answer;
  const reloads = [];
  for (let i = 0; i < 3; ++i) {
    const start = Date.now();
    await page.reload();
    await drawn(200);
    reloads.push(Date.now() - start);
  }
  console.log(`reload onto the 200-module graph (page, catalogue, graph, drawing): ${reloads.map((t) => `${t} ms`).join(', ')}`);
  await page.waitForTimeout(500);

  // 2. Pan and zoom.
  const pane = await page.locator('.react-flow__pane').boundingBox();
  const cx = pane.x + pane.width / 2, cy = pane.y + pane.height / 2;
  const pan = await frameTimes(page, async () => {
    for (let round = 0; round < 3; ++round) {
      await page.mouse.move(cx, cy);
      await page.mouse.down();
      await page.mouse.move(cx - 300, cy - 150, { steps: 60 });
      await page.mouse.move(cx + 300, cy + 150, { steps: 120 });
      await page.mouse.move(cx, cy, { steps: 60 });
      await page.mouse.up();
    }
  });
  const zoom = await frameTimes(page, async () => {
    for (let i = 0; i < 30; ++i) {
      await page.mouse.wheel(0, i < 15 ? -120 : 120);
      await page.waitForTimeout(16);
    }
  });
  for (const [what, frames] of [['pan', pan], ['zoom', zoom]]) {
    const f = summary(frames);
    console.log(`${what}: ${frames.length} frames, ${(1000 / f.mean).toFixed(1)} fps; frame time median ${ms(f.median)}, p95 ${ms(f.p95)}, max ${ms(f.max)}; ` +
                `over 20 ms: ${frames.filter((t) => t > 20).length}`);
  }

  // 3. A panel change through the real panel and back.
  await page.keyboard.press('f');
  await page.waitForTimeout(300);
  await page.locator('[data-instance="c0m2"] header').click();
  const slider = page.getByRole('slider', { name: 'High Cut' });
  await slider.waitFor();
  const latencies = [];
  for (let i = 0; i < 50; ++i) {
    latencies.push(
      await slider.evaluate(async (input, value) => {
        const panel = document.querySelector('.panel');
        const before = panel.dataset.answers;
        const start = performance.now();
        const redrawn = new Promise((resolve) => {
          const watch = new MutationObserver(() => {
            if (panel.dataset.answers !== before && input.value === String(value)) {
              watch.disconnect();
              resolve();
            }
          });
          watch.observe(panel, { attributes: true, subtree: true, childList: true });
        });
        Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'value').set.call(input, String(value));
        input.dispatchEvent(new Event('input', { bubbles: true }));
        await redrawn;
        return performance.now() - start;
      }, 20 + (i % 2) * 20 + i),
    );
  }
  const l = summary(latencies);
  console.log(`panel change to the panel drawn again from its answer, 50 changes: median ${ms(l.median)}, p95 ${ms(l.p95)}, max ${ms(l.max)}`);
  if (errors.length) console.log(`errors in the browser's console: ${errors.join(' | ')}`);
} finally {
  await browser.close();
  await studio.close();
  fs.rmSync(work, { recursive: true, force: true });
}
