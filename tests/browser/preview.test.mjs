// The preview page in a real headless Chromium, against `quorvel preview`:
// on a generated test pattern, a track slider changes the picture, a click
// shows the pixel's colour information (checked against `quorvel run
// --click`), hover and zoom point at the right pixel, a saved script shows
// without a reload, and a script error reaches the error panel; on an mp4
// and an avi clip, the picture stays the frame the page shows (the frame
// `quorvel run` gives) through track changes, a click and zooms.
//
//   node preview.test.mjs --binary build/quorvel --modules DIR --clip-maker MAKER
//        [--screenshot FILE] [--only clips] [--bench 1]
//
// With --bench the preview benchmark runs instead (bench.mjs).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {
  frameVersion, launchChromium, moveSlider, nextFrame, parseArgs, pictureHash, runQuorvel,
  screenPoint, shownColour, startPreview, stopPreview, timeUntilDrawn,
} from './helpers.mjs';

const args = parseArgs(process.argv);
if (args.bench) {
  await import('./bench.mjs');
  process.exit(process.exitCode || 0);
}

const W = 320, H = 180;
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-browser-'));
const script = path.join(dir, 'filter.lua');

// Variable a is the brightness of a bar across the top.
const barScript = `function video_filter(info, vars)
  fill(0, 0, 0, info.w, 8, vars.a, 0, 0)
end
`;

const steps = [];
async function step(name, body) {
  const started = Date.now();
  await body();
  steps.push(`ok  ${name} (${Date.now() - started} ms)`);
  console.log(steps.at(-1));
}

const pattern = ['--input', `pattern:${W}x${H}`, '--script-dir', dir];

// A clip the test makes (a pattern that changes in every frame, a key frame
// every 10), previewed with the input in view and exact pictures: after
// each change the picture shown and the one the server holds are frame 0
// as `quorvel run` decodes it, and frame 12 after a jump there.
async function frameHeld(name, encoder) {
  const clipDir = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-clip-'));
  const clip = path.join(clipDir, name);
  const empty = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-none-'));
  let clipPreview;
  try {
    runQuorvelTool(args['clip-maker'], [clip, String(W), String(H), '30', encoder, '10']);
    fs.writeFileSync(path.join(clipDir, 'filter.lua'), barScript);
    // Frames 0 and 12 as `quorvel run` gives them, with no script.
    const framePng = (n) => {
      const png = path.join(empty, `frame${n}.png`);
      runQuorvel(args.binary, ['--input', clip, '--script-dir', empty, '--start', String(n), '--frames', '1', '--output', png]);
      return fs.readFileSync(png).toString('base64');
    };
    clipPreview = await startPreview(args.binary, ['--input', clip, '--script-dir', clipDir]);
    const page = await browser.newPage({ viewport: { width: 1280, height: 720 } });
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto(clipPreview.url);
    await nextFrame(page, 0);
    await page.locator('#lossless').check();
    await page.locator('#view').selectOption('input');
    await page.waitForFunction(() => window.preview.view.input && document.body.dataset.frameFormat === 'png');
    const expect0 = await pictureHash(page, framePng(0));
    const same = async (what) => {
      assert.equal(await pictureHash(page, 'shown input'), expect0, `the picture shown, ${what}`);
      assert.equal(await pictureHash(page, 'server input'), expect0, `the server's input, ${what}`);
    };
    await same('at first');
    const a = Number(await page.locator('.track', { hasText: '変数a · a' }).locator('input').getAttribute('data-index'));
    for (const value of [100, 200, 300, 400]) {
      await timeUntilDrawn(page, moveSlider(`#track-${a}`), '(p, arg) => p.tracks[arg.index] === arg.value', { index: a, value });
      await same(`after setting a to ${value}`);
    }
    await page.locator('#check-0').check();
    await page.mouse.click(...Object.values(await screenPoint(page, 100, 100)));
    await page.waitForFunction(() => document.getElementById('click-text').textContent.includes('x=100, y=100'));
    await same('after a click');
    for (let i = 0; i < 4; ++i) await page.mouse.wheel(0, -100);
    await page.waitForTimeout(500);
    await same('zoomed in');
    await page.locator('#zoom-fit').click();
    await page.waitForTimeout(300);
    await same('back to fit');
    await timeUntilDrawn(page, moveSlider('#frame'), '(p, arg) => p.frame === arg.value', { value: 12 });
    await page.waitForFunction((n) => window.preview.shown().picture && window.preview.shown().inputSerial === window.preview.shown().picture.input_serial, 12);
    assert.equal(await pictureHash(page, 'shown input'), await pictureHash(page, framePng(12)), 'frame 12');
    await timeUntilDrawn(page, moveSlider('#frame'), '(p, arg) => p.frame === arg.value', { value: 0 });
    await page.waitForFunction(() => window.preview.shown().picture && window.preview.shown().inputSerial === window.preview.shown().picture.input_serial);
    await same('back at frame 0');
    assert.deepEqual(errors, []);
    await page.close();
  } finally {
    if (clipPreview && !(await stopPreview(clipPreview))) process.exitCode = 1;
    fs.rmSync(clipDir, { recursive: true, force: true });
    fs.rmSync(empty, { recursive: true, force: true });
  }
}

function runQuorvelTool(tool, toolArgs) {
  execFileSync(tool, toolArgs, { stdio: ['ignore', 'ignore', 'inherit'] });
}

let preview, browser;
// The page on the test pattern: every control once, and the screenshot.
async function patternSteps() {
  fs.writeFileSync(script, barScript);
  preview = await startPreview(args.binary, pattern);
  const page = await browser.newPage({ viewport: { width: 1280, height: 720 } });
  const pageErrors = [];
  page.on('pageerror', (e) => pageErrors.push(e.message));
  await page.goto(preview.url);
  await nextFrame(page, 0);
  // The first picture may be the JPEG drawn before the view knew it is
  // magnified; the exact PNG follows by itself.
  await page.waitForFunction(() => document.body.dataset.frameFormat === 'png');

  await step('a track slider from the filter table changes the picture', async () => {
    const row = page.locator('.track', { hasText: '変数a · a' });
    assert.equal(await row.locator('input').getAttribute('max'), '4096');
    assert.equal(await page.locator('.track', { hasText: '表示Buf' }).locator('select option').count(), 20);
    const bar = await screenPoint(page, 100, 2);
    assert.deepEqual(await shownColour(page, bar), [0, 0, 0]);
    const before = await frameVersion(page);
    await row.locator('input').fill('4096');
    await nextFrame(page, before);
    const [r, g, b] = await shownColour(page, bar);
    assert.ok(r > 250 && g > 250 && b > 250, `bar is ${[r, g, b]}`);
  });

  await step('a click shows the colour information of the picture pixel', async () => {
    const text = page.locator('#click-text');
    await page.mouse.click(...Object.values(await screenPoint(page, 300, 170)));
    await page.waitForTimeout(300);
    assert.match(await text.textContent(), /turn on/);  // the check box is off: nothing
    const before = await frameVersion(page);
    // The box's request held up on its way: a click right after it still
    // reaches the server after it, and is answered with the box on.
    await page.route('**/api/check', async (route) => {
      await new Promise((r) => setTimeout(r, 300));
      await route.continue();
    });
    await page.locator('#check-0').check();
    await page.mouse.click(...Object.values(await screenPoint(page, 300, 170)));
    await page.waitForFunction(() => document.getElementById('click-text').textContent.startsWith('座標'),
      null, { timeout: 10000 });
    await page.unroute('**/api/check');
    await nextFrame(page, before);
    // The same press through `quorvel run --click` gives the same box.
    const expected = runQuorvel(args.binary, [...pattern, '--frames', '1', '--var', 'a=4096', '--click', '300,170']);
    assert.equal((await text.textContent()).trim(), expected.trim());
    assert.match(expected, /^座標： x=300, y=170\n/);
  });

  await step('hover and zoom keep pointing at the pixel under the cursor', async () => {
    let p = await screenPoint(page, 300, 170);
    await page.mouse.move(p.x, p.y);
    await page.waitForFunction(() => /x=300 y=170 {2}Y=/.test(document.getElementById('pixel').textContent));
    const clickY = (await page.locator('#click-text').textContent()).match(/Y,Cb,Cr = +(-?\d+)/)[1];
    assert.match(await page.locator('#pixel').textContent(), new RegExp(`Y=${clickY} `));
    for (let i = 0; i < 20; ++i) await page.mouse.wheel(0, -100);
    assert.equal(await page.locator('#zoom-label').textContent(), '16×');
    await page.waitForFunction(() => /x=300 y=170 /.test(document.getElementById('pixel').textContent));
    // A corner of the pixel, at 16x: still pixel (300, 170).
    p = await screenPoint(page, 300, 170, 0.95, 0.95);
    await page.mouse.move(p.x, p.y);
    await page.mouse.move(p.x, p.y + 1);
    await page.waitForFunction(() => /x=300 y=171 /.test(document.getElementById('pixel').textContent));
    // Nearest-neighbour: one picture pixel is one colour across its square,
    // also beside the edge between two colour bars (x 39 | 40).
    await page.locator('#zoom-fit').click();
    await page.mouse.move(...Object.values(await screenPoint(page, 39, 40)));
    for (let i = 0; i < 20; ++i) await page.mouse.wheel(0, -100);
    const left = await shownColour(page, await screenPoint(page, 39, 40, 0.1));
    const right = await shownColour(page, await screenPoint(page, 39, 40, 0.9));
    const next = await shownColour(page, await screenPoint(page, 40, 40, 0.1));
    assert.deepEqual(left, right);
    assert.notDeepEqual(right, next);
    await page.locator('#zoom-fit').click();
  });

  await step('the split view shows the input left of the line, the output right', async () => {
    const canvasBox = () => page.evaluate(() => JSON.stringify(document.getElementById('canvas').getBoundingClientRect()));
    const placed = await canvasBox();
    await page.locator('#view').selectOption('split');
    const inputSide = await screenPoint(page, 100, 2), outputSide = await screenPoint(page, 200, 2);
    await page.waitForFunction(() => document.body.dataset.frameVersion && window.preview.view.input);
    await page.waitForFunction(({ x, y }) => {
      const c = window.preview.view.canvas, r = c.getBoundingClientRect(), dpr = window.devicePixelRatio || 1;
      return c.getContext('2d').getImageData(Math.floor((x - r.left) * dpr), Math.floor((y - r.top) * dpr), 1, 1).data[0] < 50;
    }, inputSide);  // the pattern's cyan bar, not the script's white one
    const [r, g, b] = await shownColour(page, outputSide);
    assert.ok(r > 250 && g > 250 && b > 250, `output side is ${[r, g, b]}`);
    await page.mouse.move(inputSide.x, inputSide.y);
    await page.waitForFunction(() => document.getElementById('pixel').textContent.startsWith('input x=100 y=2 '));
    // The split view's longer readout leaves the toolbar one line high: the
    // picture stays where it was, under the cursor.
    assert.equal(await canvasBox(), placed, 'the canvas moved when the readout changed');
    await page.locator('#view').selectOption('output');
  });

  await step('saving the script shows its result without reloading the page', async () => {
    const before = await frameVersion(page);
    await page.evaluate(() => { window.notReloaded = true; });
    const saved = Date.now();
    fs.writeFileSync(script, barScript.replace('vars.a, 0, 0', '1000, -2048, 2047'));
    await page.waitForFunction(async (v) => Number(document.body.dataset.frameVersion) > v, before);
    // Picture pixel (100, 2) where the view draws it at each look, so that
    // the answer does not hang on when the layout last settled.
    await page.waitForFunction(() => {
      const v = window.preview.view, dpr = window.devicePixelRatio || 1;
      const d = v.canvas.getContext('2d').getImageData(Math.floor((v.ox + 100.5 * v.scale) * dpr),
        Math.floor((v.oy + 2.5 * v.scale) * dpr), 1, 1).data;
      return d[0] > 200 && d[2] < 50;  // red: Cr up, Cb down
    }, null, { timeout: 10000 });
    const took = Date.now() - saved;
    assert.ok(await page.evaluate(() => window.notReloaded), 'the page was reloaded');
    assert.ok(took < 6000, `the saved script showed after ${took} ms`);
    steps.push(`    (shown ${took} ms after saving)`);
  });

  await step('a script error shows in the error panel and clears when mended', async () => {
    fs.writeFileSync(script, 'function video_filter(info, vars)\n  error("broken on purpose")\nend\n');
    await page.waitForFunction(() => document.getElementById('errors').textContent.includes('broken on purpose'),
      null, { timeout: 10000 });
    fs.writeFileSync(script, barScript);
    await page.waitForFunction(() => document.getElementById('errors').textContent === 'none', null, { timeout: 10000 });
  });

  await step('keys step the frame and play', async () => {
    await page.locator('#canvas').focus();
    await page.keyboard.press('ArrowRight');
    await page.waitForFunction(() => document.getElementById('frame-label').textContent.startsWith('1 /'));
    await page.keyboard.press(' ');
    await page.waitForFunction(() => document.getElementById('play').textContent === '❚❚');
    // Playing: fast pictures, a new one after another.
    const playing = await frameVersion(page);
    await page.waitForFunction((v) => Number(document.body.dataset.frameVersion) > v + 2 &&
      document.body.dataset.frameFormat === 'jpeg', playing);
    await page.keyboard.press(' ');
    await page.waitForFunction(() => document.getElementById('play').textContent === '▶');
    // Still and magnified (the small pattern at fit): exact pictures again.
    await page.waitForFunction(() => document.body.dataset.frameFormat === 'png');
  });

  // The picture for the README: the moving disc, the click's box, a track
  // set.
  const shot = args.screenshot || path.join(path.resolve(args.modules), 'preview.png');
  await page.keyboard.press('ArrowLeft');
  await page.mouse.click(...Object.values(await screenPoint(page, 120, 110)));
  await page.waitForFunction(() => document.getElementById('click-text').textContent.includes('x=120, y=110'));
  await page.mouse.move(...Object.values(await screenPoint(page, 60, 140)));
  await page.waitForTimeout(300);
  await page.waitForFunction(() => document.body.dataset.frameFormat === 'png');
  await page.screenshot({ path: shot });
  console.log(`screenshot: ${shot}`);

  assert.deepEqual(pageErrors, []);
}

try {
  browser = await launchChromium(args.modules);
  if (args.only !== 'clips') await patternSteps();

  for (const [name, encoder] of [['clip.mp4', 'libx264'], ['clip.avi', 'mpeg4']])
    await step(`${name}: track changes, a click and zooms keep the frame shown`, () => frameHeld(name, encoder));

  console.log(`all ${steps.filter((s) => s.startsWith('ok')).length} steps passed`);
} catch (e) {
  console.error(`FAILED: ${e.stack || e}`);
  if (preview) console.error(`quorvel preview said:\n${preview.log()}`);
  process.exitCode = 1;
} finally {
  if (browser) await browser.close();
  if (preview && !(await stopPreview(preview))) process.exitCode = 1;
  fs.rmSync(dir, { recursive: true, force: true });
}
