// The preview page: follows the server's state (a long poll of
// /api/state), draws the latest frame, and sends the settings, the frame,
// play and clicks back.  Every page shows the same state; the server runs
// the plug-in.
import { PictureView } from './view.js';

const $ = (id) => document.getElementById(id);

let state = null;        // the last state from the server
let shown = { version: 0, format: '', withInput: false };  // the frame on the canvas
let loading = false;     // a frame's pictures are being fetched
const view = new PictureView($('canvas'));

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
  if (!sendTrack.has(index)) sendTrack.set(index, latestOnly((value) => post('/api/track', { index, value })));
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
    label.textContent = t.caption;
    label.title = `track ${t.index}: ${t.min} to ${t.max}, default ${t.default}`;
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
      control.addEventListener('change', () => trackSender(t.index)(Number(control.value)));
    } else {
      control = document.createElement('input');
      control.type = 'range';
      control.min = t.min;
      control.max = t.max;
      control.step = 1;
      control.addEventListener('input', () => {
        row.querySelector('output').textContent = control.value;
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
      post('/api/check', { index: c.index, value: box.checked ? 1 : 0 }).then(applyState, (e) => showProblem(e.message));
    });
    label.append(box, ' ', c.caption);
    checks.append(label);
  }
}

function showSettings(s) {
  const layout = s.tracks.map((t) => `${t.caption}:${t.min}:${t.max}:${t.role}`).join('|') +
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

const sendFrame = latestOnly((frame) => post('/api/frame', { frame }));

function loadImage(url) {
  return new Promise((resolve, reject) => {
    const img = new Image();
    img.onload = () => resolve(img);
    img.onerror = () => reject(new Error('the frame could not be loaded'));
    img.src = url;
  });
}

// Fetches the last frame's pictures when they are newer than the shown
// ones: JPEG while playing, PNG otherwise; the input only when it is seen.
async function refreshPicture() {
  if (loading || !state || !state.picture) return;
  const version = state.picture.version;
  const format = state.playing ? 'jpeg' : 'png';
  const withInput = view.mode !== 'output';
  if (version === shown.version && (format === shown.format || format === 'jpeg') &&
      (withInput === shown.withInput || !withInput)) return;
  loading = true;
  try {
    const q = `format=${format}&v=${version}`;
    const [output, input] = await Promise.all([
      loadImage(`/api/frame?kind=output&${q}`),
      withInput ? loadImage(`/api/frame?kind=input&${q}`) : Promise.resolve(undefined),
    ]);
    view.setImages(output, withInput ? input : undefined);
    shown = { version, format, withInput };
    document.body.dataset.frameVersion = version;
    document.body.dataset.frameFormat = format;
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
  const problems = [...s.errors];
  if (s.status) problems.push(s.status);
  const errors = $('errors');
  errors.textContent = problems.length ? problems.join('\n') : 'none';
  errors.classList.toggle('empty', problems.length === 0);
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
  if (list.childElementCount !== s.messages.length || showPanels.lastMessage !== JSON.stringify(s.messages.at(-1))) {
    showPanels.lastMessage = JSON.stringify(s.messages.at(-1));
    list.textContent = '';
    for (const m of s.messages) {
      const li = document.createElement('li');
      const meta = document.createElement('span');
      meta.className = 'meta';
      meta.textContent = `frame ${m.frame}, [${m.caption}] answered ${m.answer}: `;
      li.append(meta, m.text);
      list.append(li);
    }
    list.lastElementChild?.scrollIntoView({ block: 'nearest' });
  }
}

function applyState(s) {
  if (state && s.version < state.version) return;  // an older reply overtaken
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
      applyState(await res.json());
      $('connection').textContent = '';
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
    const reply = await post('/api/click', { x, y });
    const click = $('click-text');
    if (reply.text) {
      click.textContent = reply.text;
      click.classList.remove('empty');
    }
  } catch (e) {
    showProblem(e.message);
  }
};

view.onzoom = (label) => { $('zoom-label').textContent = label; };

// ---- controls and keys

function stepFrame(delta) {
  if (!state) return;
  const n = Math.min(Math.max(0, state.frame + delta), state.frame_n - 1);
  $('frame').value = n;
  sendFrame(n);
}

function togglePlay() {
  if (state) post('/api/play', { playing: !state.playing }).then(applyState, (e) => showProblem(e.message));
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

// For the console and the browser tests.
window.preview = { view };

follow();
