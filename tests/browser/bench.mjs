// The preview's speed as a user meets it, measured in Chromium on a 1080p
// H.264 clip with the colour-grade example as the script: the first
// picture, a track slider moved to a new picture (in the output view and in
// the wipe), and jumps of the frame slider.  Each time runs from the
// page's input event to the new picture drawn on the canvas, and is shown
// beside the script's own time for that frame (the plug-in's call), which
// no preview can save.  Printed, never asserted: the machine may be busy.
//
//   tests/browser/run.sh build/quorvel build/tests/browser --bench 1 \
//       --clip-maker build/tests/make_test_clip      (or bench/preview.sh)
//
// The clip (300 frames of the test pattern under random rectangles, made
// by `quorvel run` with H.264 at its defaults: CRF 18, key frames as x264
// places them) is made once and kept in the modules folder.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import {
  launchChromium, moveSlider, parseArgs, runQuorvel, startPreview, stopPreview, timeUntilDrawn,
} from './helpers.mjs';

const args = parseArgs(process.argv);
const here = path.dirname(fileURLToPath(import.meta.url));
const work = path.resolve(args.modules);
const clip = path.join(work, 'bench-1080p.mp4');

const busyScript = `-- Random rectangles over the pattern: a picture that changes everywhere.
function video_filter(info, vars)
  math.randomseed(info.frame)
  for i = 1, 300 do
    local x, y = math.random(0, info.w - 64), math.random(0, info.h - 64)
    fill(0, x, y, math.random(8, 64), math.random(8, 64), math.random(0, 4096),
         math.random(-2048, 2048), math.random(-2048, 2048))
  end
end
`;

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

const rows = [];
function report(what, samples) {
  const ms = median(samples.map((s) => s.ms)), script = median(samples.map((s) => s.script_ms));
  const frame = median(samples.map((s) => s.compute_ms));
  rows.push([what, samples.length, ms, script, ms - script, frame]);
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvel-bench-'));
let preview, browser;
try {
  if (!fs.existsSync(clip)) {
    console.log(`making ${clip} (once; a minute or two)`);
    fs.writeFileSync(path.join(dir, 'filter.lua'), busyScript);
    runQuorvel(args.binary, ['--input', 'pattern:1920x1080', '--frames', '300', '--script-dir', dir,
      '--output', `${clip}.part.mp4`]);
    fs.renameSync(`${clip}.part.mp4`, clip);
  }
  fs.copyFileSync(path.join(here, '../../examples/colour_grade/filter.lua'), path.join(dir, 'filter.lua'));
  preview = await startPreview(args.binary, ['--input', clip, '--script-dir', dir]);
  browser = await launchChromium(args.modules);
  const page = await browser.newPage({ viewport: { width: 1600, height: 900 } });
  const loading = Date.now();
  await page.goto(preview.url);
  await page.waitForFunction(() => Number(document.body.dataset.frameVersion || 0) > 0, null, { timeout: 60000 });
  rows.push(['first picture (page load to picture)', 1, Date.now() - loading, NaN, NaN, NaN]);

  const x = Number(await page.locator('.track', { hasText: '変数x · x' }).locator('input').getAttribute('data-index'));
  const slide = async (label, values) => {
    const samples = [];
    for (const value of values) {
      samples.push(await timeUntilDrawn(page, moveSlider(`#track-${x}`),
        '(p, arg) => p.tracks[arg.index] === arg.value', { index: x, value }));
      await page.waitForTimeout(150);
    }
    report(label, samples);
  };
  const values = (from) => Array.from({ length: 9 }, (_, i) => from + 100 * i);
  await slide('slider to new picture, output view', values(2100));
  await page.locator('#view').selectOption('split');
  await page.waitForFunction(() => window.preview.view.input);
  await page.waitForTimeout(300);
  await slide('slider to new picture, wipe view', values(2150));
  await page.locator('#view').selectOption('output');
  await page.waitForTimeout(300);

  const jump = async (label, to) => {
    const r = await timeUntilDrawn(page, moveSlider('#frame'), '(p, arg) => p.frame === arg.value', { value: to });
    report(label, [r]);
    await page.waitForTimeout(300);
  };
  // The clip's key frames are at 0, 35 and 284 (x264's own choice).
  await jump('frame jump 0 -> 228 (from the key frame at 35)', 228);
  await jump('frame jump 228 -> 40 (from the key frame at 35)', 40);
  await jump('frame jump 40 -> 41 (the next frame)', 41);
  await jump('frame jump 41 -> 290 (from the key frame at 284)', 290);
  await jump('frame jump 290 -> 228 (kept)', 228);

  // Playing from frame 41 (frames the decoder reaches in order): the
  // pictures a second the page draws.
  await jump('frame jump 228 -> 41 (kept)', 41);
  const before = await page.evaluate(() => Number(document.body.dataset.frameVersion));
  await page.locator('#play').click();
  await page.waitForTimeout(3000);
  await page.locator('#play').click();
  const drawn = await page.evaluate(() => Number(document.body.dataset.frameVersion)) - before;
  rows.push([`playing (pictures drawn in 3 s, / 3)`, 1, drawn / 3, NaN, NaN, NaN]);

  console.log(`\npreview on ${path.basename(clip)} (1920x1080 H.264), script examples/colour_grade, viewport 1600x900`);
  // ms: input event to picture drawn; script: the plug-in's call; rest: ms
  // less script; frame: the server's whole computation of the frame
  // (decoding, copies and script), the rest of ms being the pictures'
  // way to the canvas.
  const cell = (v, width) => (Number.isNaN(v) ? '-' : v.toFixed(1)).padStart(width);
  console.log(`${'what'.padEnd(48)}   n  median ms  script ms    rest ms   frame ms`);
  for (const [what, n, ms, script, rest, frame] of rows)
    console.log(`${what.padEnd(48)} ${String(n).padStart(3)} ${cell(ms, 10)} ${cell(script, 10)} ${cell(rest, 10)} ${cell(frame, 10)}`);
  console.log(`(load average ${os.loadavg().map((l) => l.toFixed(1)).join(' ')} on ${os.cpus().length} cores)`);
  console.log('(playing: the last row counts pictures a second, not ms)');
} catch (e) {
  console.error(`FAILED: ${e.stack || e}`);
  if (preview) console.error(`quorvel preview said:\n${preview.log()}`);
  process.exitCode = 1;
} finally {
  if (browser) await browser.close();
  if (preview) await stopPreview(preview);
  fs.rmSync(dir, { recursive: true, force: true });
}
