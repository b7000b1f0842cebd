// The preview page: follows the server's state (a long poll of
// /api/state), draws the latest frame, and sends the settings, the frame,
// play and clicks back.  Every page shows the same state; the server runs
// the plug-in.
import { PictureView } from './view.js';

const $ = (id) => document.getElementById(id);

let state = null;        // the last state from the server
// What the canvas shows: the frame's version and the kind of image of its
// output, the input picture's serial and the kind of its image.
let shown = { version: 0, outputKind: '', inputSerial: 0, inputKind: '', picture: null };
let loading = false;     // a frame's pictures are being fetched
let lastChange = -1e9;   // when this page last changed a setting or the frame
const SETTLE_MS = 400;   // after this long without a change, the page is still
const view = new PictureView($('canvas'));

// A change this page sends: while changes come, the pictures come fast
// (JPEG at the size shown); once still, exact ones where they are needed.
function changing() {
  lastChange = performance.now();
  clearTimeout(changing.timer);
  changing.timer = setTimeout(refreshPicture, SETTLE_MS + 20);
}

async function post(path, body) {
  const res = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify(body),
  });
  const reply = await res.json().catch(() => ({}));
  if (!res.ok) throw new Error(reply.error || res.statusText);
  return reply;
}

// Settings on their way to the server.  A click waits for them, so that it
// reaches the server after them, in the order the user made them (a check
// box turned on just before a click counts for it).
const settingsSent = new Set();
function postSetting(path, body) {
  const sent = post(path, body);
  settingsSent.add(sent);
  const arrived = () => settingsSent.delete(sent);
  sent.then(arrived, arrived);
  return sent;
}

// Sends the latest value only: while one request is on its way, later
// values replace each other and the last goes when it returns.
function latestOnly(send) {
  let busy = false, queued = undefined;
  const go = async (value) => {
    busy = true;
    try {
      const reply = await send(value);
      if (reply && reply.version !== undefined) applyState(reply);
    } catch (e) {
      showProblem(e.message);
    }
    busy = false;
    if (queued !== undefined) {
      const next = queued;
      queued = undefined;
      go(next);
    }
  };
  return (value) => { if (busy) queued = value; else go(value); };
}

function showProblem(text) {
  $('connection').textContent = text;
  clearTimeout(showProblem.timer);
  showProblem.timer = setTimeout(() => { $('connection').textContent = ''; }, 4000);
}

// ---- settings: one control per track and check box of the filter table

const sendTrack = new Map();

function trackSender(index) {
  if (!sendTrack.has(index)) sendTrack.set(index, latestOnly((value) => postSetting('/api/track', { index, value })));
  return sendTrack.get(index);
}

function buildSettings(s) {
  const tracks = $('tracks');
  tracks.textContent = '';
  for (const t of s.tracks) {
    const row = document.createElement('div');
    row.className = 'track';
    row.dataset.index = t.index;
    const label = document.createElement('label');
    // The caption the script's author sees, and the name a user types:
    // vars.a in the script, --var a=... on the command line.
    label.textContent = t.name ? `${t.caption} · ${t.name}` : t.caption;
    label.title = `track ${t.index}: ${t.min} to ${t.max}, default ${t.default}` +
      (t.role === 'var' ? ` (vars.${t.name} in the script, --var ${t.name}=… for quorvel run)` : '');
    const id = `track-${t.index}`;
    label.htmlFor = id;
    let control;
    if (t.role === 'display') {
      // Which buffer is shown: a choice rather than a slider.
      control = document.createElement('select');
      for (let v = t.min; v <= t.max; ++v) {
        const option = document.createElement('option');
        option.value = v;
        option.textContent = v === 0 ? '0 (output)' : `buffer ${v}`;
        control.append(option);
      }
      control.addEventListener('change', () => { changing(); trackSender(t.index)(Number(control.value)); });
    } else {
      control = document.createElement('input');
      control.type = 'range';
      control.min = t.min;
      control.max = t.max;
      control.step = 1;
      control.addEventListener('input', () => {
        row.querySelector('output').textContent = control.value;
        changing();
        trackSender(t.index)(Number(control.value));
      });
      // A double click puts the track back to the table's default.
      control.addEventListener('dblclick', () => {
        control.value = t.default;
        control.dispatchEvent(new Event('input'));
      });
    }
    control.id = id;
    control.dataset.index = t.index;
    control.dataset.role = t.role;
    const value = document.createElement('output');
    row.append(label, control, value);
    tracks.append(row);
  }
  const checks = $('checks');
  checks.textContent = '';
  for (const c of s.checks) {
    const label = document.createElement('label');
    label.className = 'check';
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.id = `check-${c.index}`;
    box.dataset.index = c.index;
    box.addEventListener('change', () => {
      changing();
      postSetting('/api/check', { index: c.index, value: box.checked ? 1 : 0 }).then(applyState, (e) => showProblem(e.message));
    });
    label.append(box, ' ', c.caption);
    checks.append(label);
  }
}

function showSettings(s) {
  const layout = s.tracks.map((t) => `${t.caption}:${t.name}:${t.min}:${t.max}:${t.role}`).join('|') +
    s.checks.map((c) => c.caption).join('|');
  if (layout !== showSettings.layout) {
    showSettings.layout = layout;
    buildSettings(s);
  }
  for (const t of s.tracks) {
    const row = $('tracks').querySelector(`.track[data-index="${t.index}"]`);
    const control = row.querySelector('select, input');
    // The slider under the user's hand keeps its own value.
    if (document.activeElement !== control || control.tagName === 'SELECT') control.value = t.value;
    row.querySelector('output').textContent = t.role === 'display' ? '' : t.value;
    row.classList.toggle('changed', t.value !== t.default);
  }
  for (const c of s.checks) $(`check-${c.index}`).checked = c.value !== 0;
}

// ---- the frame

const postFrame = latestOnly((frame) => post('/api/frame', { frame }));
function sendFrame(frame) {
  changing();
  postFrame(frame);
}

// A picture of the last frame, with the frame's version and the picture's
// serial it really is (a newer frame may have come since the state was read).
async function loadImage(url) {
  const res = await fetch(url);
  if (!res.ok) throw new Error('the frame could not be loaded');
  return {
    bitmap: await createImageBitmap(await res.blob()),
    version: Number(res.headers.get('X-Frame-Version')),
    serial: Number(res.headers.get('X-Picture-Serial')),
  };
}

// Tells the tests which picture the canvas shows now.
function drawn(p) {
  document.body.dataset.frameVersion = shown.version;
  document.body.dataset.frameFormat = shown.outputKind.split(' ')[0];
  document.body.dataset.inputSerial = shown.inputSerial;
  if (p && window.preview.ondrawn) window.preview.ondrawn(p);
}

// The kind of image a picture is fetched as: while changes come, JPEG at
// the size it is shown; PNG, exact, when asked for or when the view is
// magnified and the page is still.
function imageKind(w, h) {
  const still = !state.playing && performance.now() - lastChange >= SETTLE_MS;
  if ($('lossless').checked || (still && view.scale > 1)) return { format: 'png', key: 'png' };
  const size = view.shownSize(w, h, state.picture.w, state.picture.h);
  return { format: 'jpeg', key: `jpeg ${size.w}x${size.h}`, query: `&fit_w=${size.w}&fit_h=${size.h}` };
}

// Fetches the last frame's pictures where they are newer than the shown
// ones or of another kind.  The input picture is fetched only when it is
// seen and has changed: a setting changed on the same frame sends the
// output alone.
async function refreshPicture() {
  if (loading || !state || !state.picture) return;
  const p = state.picture;
  const out = imageKind(p.w, p.h);
  const withInput = view.mode !== 'output';
  const inp = imageKind(p.input_w, p.input_h);
  const needOutput = p.version !== shown.version || out.key !== shown.outputKind;
  const needInput = withInput && (p.input_serial !== shown.inputSerial || inp.key !== shown.inputKind);
  if (!needOutput && !needInput) {
    // Fetched already, ahead of the state that names it.
    if (shown.picture !== p && shown.version === p.version) {
      shown.picture = p;
      drawn(p);
    }
    return;
  }
  loading = true;
  try {
    const [output, input] = await Promise.all([
      needOutput ? loadImage(`/api/frame?kind=output&format=${out.format}${out.query || ''}&v=${p.version}`)
        : Promise.resolve(null),
      needInput ? loadImage(`/api/frame?kind=input&format=${inp.format}${inp.query || ''}&v=${p.version}`)
        : Promise.resolve(null),
    ]);
    const version = output ? output.version : shown.version;
    const pictureFor = (v) => (v === p.version ? p : shown.picture && shown.picture.version === v ? shown.picture : null);
    const sizeOf = (q) => (q ? { w: q.w, h: q.h } : view.outputSize);
    view.setImages(output ? output.bitmap : view.output, output ? sizeOf(pictureFor(version) || p) : view.outputSize,
      input ? input.bitmap : undefined, input ? { w: p.input_w, h: p.input_h } : undefined);
    shown = {
      version, outputKind: output ? out.key : shown.outputKind,
      inputSerial: input ? input.serial : shown.inputSerial,
      inputKind: input ? inp.key : shown.inputKind,
      picture: pictureFor(version),
    };
    drawn(shown.picture);
  } catch (e) {
    showProblem(e.message);
  }
  loading = false;
  // A newer frame may have come meanwhile.
  refreshPicture();
}

function showFrame(s) {
  const slider = $('frame');
  slider.max = Math.max(0, s.frame_n - 1);
  if (document.activeElement !== slider || s.playing) slider.value = s.frame;
  $('frame-label').textContent = `${s.frame} / ${s.frame_n - 1}`;
  $('play').textContent = s.playing ? '❚❚' : '▶';
  $('busy').hidden = !s.busy;
}

// ---- panels

function showPanels(s) {
  const script = $('script');
  script.textContent = s.script + (s.script_exists ? '' : ' (missing: frames pass through)');
  script.classList.toggle('missing', !s.script_exists);
  // Each error as the script sees it, with a line of explanation under the
  // messages the host program knows.
  const errors = $('errors');
  errors.textContent = '';
  s.errors.forEach((line, i) => {
    const item = document.createElement('div');
    item.textContent = line;
    const note = (s.error_notes || [])[i];
    if (note) {
      const explained = document.createElement('div');
      explained.className = 'note';
      explained.textContent = note;
      item.append(explained);
    }
    errors.append(item);
  });
  if (s.status) {
    const item = document.createElement('div');
    item.textContent = s.status;
    errors.append(item);
  }
  const problems = s.errors.length + (s.status ? 1 : 0);
  if (!problems) errors.textContent = 'none';
  errors.classList.toggle('empty', problems === 0);
  const click = $('click-text');
  const clickBox = s.checks.find((c) => c.click);
  if (s.click.text) {
    click.textContent = s.click.text;
  } else {
    click.textContent = clickBox && !clickBox.value
      ? `turn on “${clickBox.caption}” and click the picture`
      : 'click the picture';
  }
  click.classList.toggle('empty', !s.click.text);
  const list = $('messages');
  const lastMessage = JSON.stringify(s.messages.at(-1) || null);
  if (list.childElementCount !== s.messages.length || showPanels.lastMessage !== lastMessage) {
    showPanels.lastMessage = lastMessage;
    list.textContent = '';
    for (const m of s.messages) {
      const li = document.createElement('li');
      const meta = document.createElement('span');
      meta.className = 'meta';
      const times = m.count > 1 ? ` (${m.count} times)` : '';
      meta.textContent = `frame ${m.frame}${times}, [${m.caption}] answered ${m.answer}: `;
      li.append(meta, m.text);
      list.append(li);
    }
    list.lastElementChild?.scrollIntoView({ block: 'nearest' });
  }
}

// The version of the state that shows the last click's box: a state from
// before it, arriving after the click's reply, would take the box away.
let clickVersion = 0;

function applyState(s) {
  if (state && s.version < state.version) return;  // an older reply overtaken
  if (s.version < clickVersion) return;
  state = s;
  document.title = `${s.name || 'Quorvel'} preview – frame ${s.frame}`;
  showSettings(s);
  showFrame(s);
  showPanels(s);
  document.body.dataset.stateVersion = s.version;
  refreshPicture();
}

// Follows the server: each reply comes when the state has changed.
async function follow() {
  for (;;) {
    try {
      const after = state ? `?after=${state.version}` : '';
      const res = await fetch(`/api/state${after}`);
      if (!res.ok) throw new Error(res.statusText);
      const s = await res.json();
      applyState(s);
      $('connection').textContent = '';
      // Too many pages wait already: this one asks again a little later.
      if (s.poll_refused) await new Promise((r) => setTimeout(r, 1000));
    } catch (e) {
      $('connection').textContent = 'no connection to quorvel preview; retrying…';
      await new Promise((r) => setTimeout(r, 1000));
    }
  }
}

// ---- the pixel under the cursor

let hoverBusy = false, hoverNext = null;
async function readPixel(p) {
  if (hoverBusy) { hoverNext = p; return; }
  hoverBusy = true;
  try {
    const res = await fetch(`/api/pixel?x=${p.x}&y=${p.y}&kind=${p.kind}`);
    const v = await res.json();
    if (res.ok && hoverNext === null) {
      const side = view.mode === 'split' ? `${p.kind} ` : '';
      $('pixel').textContent =
        `${side}x=${v.x} y=${v.y}  Y=${v.Y} Cb=${v.Cb} Cr=${v.Cr}`;
      $('pixel').dataset.x = v.x;
      $('pixel').dataset.y = v.y;
    }
  } catch (e) { /* the next move asks again */ }
  hoverBusy = false;
  if (hoverNext) {
    const next = hoverNext;
    hoverNext = null;
    readPixel(next);
  }
}

view.onhover = (p) => {
  if (!p) {
    hoverNext = null;
    $('pixel').textContent = '';
    delete $('pixel').dataset.x;
    return;
  }
  readPixel(p);
};

view.onclick = async (x, y) => {
  try {
    await Promise.allSettled([...settingsSent]);
    const reply = await post('/api/click', { x, y });
    if (reply.version > clickVersion) clickVersion = reply.version;
    const click = $('click-text');
    if (reply.text) {
      click.textContent = reply.text;
      click.classList.remove('empty');
    }
  } catch (e) {
    showProblem(e.message);
  }
};

// A zoom changes the size the pictures are needed at.
view.onzoom = (label) => {
  $('zoom-label').textContent = label;
  clearTimeout(view.onzoom.timer);
  view.onzoom.timer = setTimeout(refreshPicture, 150);
};

// ---- controls and keys

function stepFrame(delta) {
  if (!state) return;
  const n = Math.min(Math.max(0, state.frame + delta), state.frame_n - 1);
  $('frame').value = n;
  sendFrame(n);
}

function togglePlay() {
  if (!state) return;
  changing();
  post('/api/play', { playing: !state.playing }).then(applyState, (e) => showProblem(e.message));
}

$('zoom-fit').onclick = () => view.fitToWindow();
$('zoom-one').onclick = () => view.zoomTo(1);
$('zoom-in').onclick = () => view.zoomStep(1);
$('zoom-out').onclick = () => view.zoomStep(-1);
$('view').onchange = () => {
  view.setMode($('view').value);
  $('split').hidden = $('view').value !== 'split';
  refreshPicture();
};
$('split').oninput = () => view.setSplit(Number($('split').value) / 100);
$('lossless').onchange = () => refreshPicture();
$('frame').oninput = () => sendFrame(Number($('frame').value));
$('play').onclick = togglePlay;
$('prev').onclick = () => stepFrame(-1);
$('next').onclick = () => stepFrame(1);

document.addEventListener('keydown', (e) => {
  const t = e.target;
  const typing = t.tagName === 'SELECT' || (t.tagName === 'INPUT' && t.type !== 'checkbox' && t.type !== 'range');
  if (typing || e.ctrlKey || e.metaKey || e.altKey) return;
  // On a track's slider the arrows move the slider; elsewhere the frame.
  const onTrack = t.tagName === 'INPUT' && t.type === 'range' && t.id !== 'frame';
  if ((e.key === 'ArrowLeft' || e.key === 'ArrowRight') && !onTrack) {
    e.preventDefault();
    stepFrame(e.key === 'ArrowLeft' ? -1 : 1);
  } else if (e.key === ' ') {
    e.preventDefault();
    togglePlay();
  } else if (e.key === '+' || e.key === '=') {
    view.zoomStep(1);
  } else if (e.key === '-') {
    view.zoomStep(-1);
  } else if (e.key === '1') {
    view.zoomTo(1);
  } else if (e.key === 'f' || e.key === 'F') {
    view.fitToWindow();
  } else if (e.key === 'v' || e.key === 'V') {
    const modes = ['output', 'input', 'split'];
    $('view').value = modes[(modes.indexOf($('view').value) + 1) % modes.length];
    $('view').onchange();
  }
});

// For the console and the browser tests: `ondrawn(picture)` is called
// after each frame drawn.
window.preview = { view, ondrawn: null, shown: () => shown };

follow();
