// What the browser tests and the preview benchmark share: starting
// `quorvel preview`, Chromium, and reading the page's pictures.
import { execFileSync, spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import path from 'node:path';

export function parseArgs(argv) {
  const args = {};
  for (let i = 2; i < argv.length; i += 2) args[argv[i].replace(/^--/, '')] = argv[i + 1];
  return args;
}

export async function launchChromium(modules) {
  const require = createRequire(path.join(path.resolve(modules), 'package.json'));
  const { chromium } = require('playwright-core');
  return chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run'],
  });
}

// Starts `quorvel preview ARGS --port 0`; resolves with the address it
// prints, the child and what it said on standard error.
export function startPreview(binary, previewArgs) {
  const child = spawn(binary, ['preview', ...previewArgs, '--port', '0'],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  let errors = '';
  child.stderr.on('data', (d) => { errors += d; });
  return new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error(`no address printed:\n${out}\n${errors}`)), 30000);
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/open (http:\/\/127\.0\.0\.1:\d+\/)/);
      if (m) {
        clearTimeout(timer);
        resolve({ child, url: m[1], log: () => errors });
      }
    });
    child.on('exit', (code) => reject(new Error(`quorvel preview ended (${code}):\n${errors}`)));
  });
}

// Ends a preview with SIGTERM; false when it did not end cleanly.
export async function stopPreview(preview) {
  const ended = new Promise((resolve) => preview.child.on('exit', (code) => resolve(code)));
  preview.child.kill('SIGTERM');
  const code = await Promise.race([ended, new Promise((r) => setTimeout(() => r('hung'), 10000))]);
  if (code === 0) return true;
  console.error(`quorvel preview did not end cleanly on SIGTERM: ${code}`);
  preview.child.kill('SIGKILL');
  return false;
}

// `quorvel run ARGS`, its standard output.
export function runQuorvel(binary, runArgs) {
  return execFileSync(binary, ['run', ...runArgs], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
}

// Where picture pixel (x, y) is on the screen: its centre, or the point
// (fx, fy) of its square.  Read once the page has rendered again: the view
// follows a change of the layout only when the page renders (its
// ResizeObserver), so a position read at once after a change could be the
// old one.
export async function screenPoint(page, x, y, fx = 0.5, fy = 0.5) {
  return page.evaluate(async ({ x, y, fx, fy }) => {
    await new Promise((rendered) => requestAnimationFrame(() => setTimeout(rendered, 0)));
    const v = window.preview.view;
    const r = v.canvas.getBoundingClientRect();
    return { x: r.left + v.ox + (x + fx) * v.scale, y: r.top + v.oy + (y + fy) * v.scale };
  }, { x, y, fx, fy });
}

// The colour the canvas shows at a screen point.
export async function shownColour(page, p) {
  return page.evaluate(({ x, y }) => {
    const c = window.preview.view.canvas;
    const r = c.getBoundingClientRect();
    const dpr = window.devicePixelRatio || 1;
    const d = c.getContext('2d').getImageData(Math.floor((x - r.left) * dpr), Math.floor((y - r.top) * dpr), 1, 1).data;
    return [d[0], d[1], d[2]];
  }, p);
}

export const frameVersion = (page) => page.evaluate(() => Number(document.body.dataset.frameVersion || 0));

export async function nextFrame(page, after) {
  await page.waitForFunction((v) => Number(document.body.dataset.frameVersion || 0) > v, after, { timeout: 10000 });
}

// A SHA-256 of a picture's pixels with its size, in the page: the image the
// view shows as the input, the input picture the server holds now (its
// PNG), or a PNG file's bytes given as base64.
export async function pictureHash(page, what) {
  return page.evaluate(async (what) => {
    let bitmap;
    if (what === 'shown input') {
      bitmap = window.preview.view.input;
    } else {
      const blob = what === 'server input'
        ? await (await fetch('/api/frame?kind=input&format=png')).blob()
        : new Blob([Uint8Array.from(atob(what), (c) => c.charCodeAt(0))], { type: 'image/png' });
      bitmap = await createImageBitmap(blob);
    }
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const ctx = canvas.getContext('2d');
    ctx.drawImage(bitmap, 0, 0);
    const pixels = ctx.getImageData(0, 0, bitmap.width, bitmap.height).data;
    const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', pixels));
    return `${bitmap.width}x${bitmap.height} ` + [...digest].map((b) => b.toString(16).padStart(2, '0')).join('');
  }, what);
}

// Does `act` in the page (a function of `arg`, as a string) and resolves
// when a picture for which `done` (also a string, of the drawn picture and
// `arg`) holds has been drawn: the milliseconds between, and that
// picture's own times.
export async function timeUntilDrawn(page, act, done, arg) {
  return page.evaluate(({ act, done, arg }) => new Promise((resolve, reject) => {
    const isDone = new Function('p', 'arg', `return (${done})(p, arg);`);
    const timer = setTimeout(() => reject(new Error('no such picture drawn within 30 s')), 30000);
    const started = performance.now();
    window.preview.ondrawn = (p) => {
      if (!isDone(p, arg)) return;
      clearTimeout(timer);
      window.preview.ondrawn = null;
      resolve({ ms: performance.now() - started, script_ms: p.script_ms, compute_ms: p.compute_ms });
    };
    new Function('arg', `(${act})(arg);`)(arg);
  }), { act: act.toString(), done: done.toString(), arg });
}

// Moves a range input of the page to `value` as a user's drag does.
export const moveSlider = (selector) =>
  `({ value }) => { const s = document.querySelector('${selector}'); s.value = value; s.dispatchEvent(new Event('input')); }`;
