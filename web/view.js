// The picture on the canvas: fit to the window, 1:1 and whole-number zooms
// up to 16x, drawn nearest-neighbour so that single pixels stay visible;
// wheel zoom about the cursor, drag to pan, and the picture pixel under the
// cursor for the readout and for clicks.  The images drawn may be smaller
// than the pictures they show (the server sends them at the size shown):
// positions are always the picture's own.

export const MAX_ZOOM = 16;

export class PictureView {
  constructor(canvas) {
    this.canvas = canvas;
    this.ctx = canvas.getContext('2d');
    this.output = null;   // ImageBitmap or Image of the filter's output
    this.input = null;    // and of its input
    this.outputSize = null;  // the pictures' own sizes: { w, h }
    this.inputSize = null;
    this.mode = 'output'; // 'output', 'input' or 'split'
    this.split = 0.5;     // split view: the share of the picture's width showing the input
    this.fit = true;      // follow the window's size
    this.scale = 1;       // screen pixels per picture pixel
    this.ox = 0;          // screen position of the picture's top-left corner
    this.oy = 0;
    this.onhover = null;  // (x, y, kind) or (null) when off the picture
    this.onclick = null;  // (x, y)
    this.onzoom = null;   // (label)
    this.lastPointer = null;
    this.attachPointer();
    new ResizeObserver(() => this.resize()).observe(canvas);
    this.resize();
  }

  // The size of the picture the view shows: the output's, else the input's.
  size() {
    return (this.output && this.outputSize) || (this.input && this.inputSize) || { w: 0, h: 0 };
  }

  // The size on the screen, in device pixels, of a w x h picture when the
  // view shows a main picture of mainW x mainH: what an image of it needs
  // at most to look sharp at the present zoom (fitting follows the main
  // picture's size even before it is drawn).
  shownSize(w, h, mainW, mainH) {
    const scale = this.fit && mainW > 0 && mainH > 0
      ? Math.min(this.viewW / mainW, this.viewH / mainH) : this.scale;
    const k = Math.min(1, scale * (window.devicePixelRatio || 1));
    return { w: Math.max(1, Math.ceil(w * k)), h: Math.max(1, Math.ceil(h * k)) };
  }

  // New images; `input` undefined keeps the input image as it is.
  setImages(output, outputSize, input, inputSize) {
    const before = this.size();
    this.output = output;
    this.outputSize = outputSize;
    if (input !== undefined) {
      this.input = input;
      this.inputSize = inputSize;
    }
    if (this.fit || before.w === 0) {
      this.fitToWindow();
    } else {
      this.draw();
      this.rehover();
    }
  }

  setMode(mode) { this.mode = mode; this.draw(); this.rehover(); }
  setSplit(share) { this.split = share; this.draw(); this.rehover(); }

  resize() {
    const r = this.canvas.getBoundingClientRect();
    const dpr = window.devicePixelRatio || 1;
    this.canvas.width = Math.max(1, Math.round(r.width * dpr));
    this.canvas.height = Math.max(1, Math.round(r.height * dpr));
    this.viewW = r.width;
    this.viewH = r.height;
    if (this.fit) this.fitToWindow(); else this.draw();
  }

  fitToWindow() {
    const { w, h } = this.size();
    this.fit = true;
    if (w === 0 || h === 0) return this.draw();
    this.scale = Math.min(this.viewW / w, this.viewH / h);
    if (!(this.scale > 0)) this.scale = 1;
    this.ox = Math.round((this.viewW - w * this.scale) / 2);
    this.oy = Math.round((this.viewH - h * this.scale) / 2);
    this.draw();
    this.rehover();
  }

  // Zooms to `scale` keeping the picture point under (sx, sy) in place
  // (the window's centre unless given).
  zoomTo(scale, sx = this.viewW / 2, sy = this.viewH / 2) {
    scale = Math.min(MAX_ZOOM, Math.max(1, Math.round(scale)));
    const px = (sx - this.ox) / this.scale, py = (sy - this.oy) / this.scale;
    this.fit = false;
    this.scale = scale;
    this.ox = Math.round(sx - px * scale);
    this.oy = Math.round(sy - py * scale);
    this.draw();
    this.rehover();
  }

  // One whole-number step in or out; out of 1x goes back to fitting.
  zoomStep(direction, sx, sy) {
    if (direction > 0) {
      const next = this.fit ? Math.floor(this.scale) + 1 : this.scale + 1;
      this.zoomTo(Math.min(next, MAX_ZOOM), sx, sy);
    } else if (this.fit || this.scale <= 1) {
      this.fitToWindow();
    } else {
      this.zoomTo(Math.ceil(this.scale) - 1, sx, sy);
    }
  }

  zoomLabel() {
    return this.fit ? `fit ${Math.round(this.scale * 100)}%` : `${this.scale}×`;
  }

  draw() {
    const ctx = this.ctx, dpr = window.devicePixelRatio || 1;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.clearRect(0, 0, this.canvas.width, this.canvas.height);
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    ctx.imageSmoothingEnabled = false;
    const { w, h } = this.size();
    if (this.onzoom) this.onzoom(this.zoomLabel());
    if (w === 0) return;
    const showInput = this.mode === 'input' ? !!this.input : !this.output;
    const main = showInput ? this.input : this.output;
    const mainSize = showInput ? this.inputSize : this.outputSize;
    ctx.drawImage(main, this.ox, this.oy, mainSize.w * this.scale, mainSize.h * this.scale);
    if (this.mode === 'split' && this.input) {
      // The wipe: the input left of the line, the output right of it.
      const cut = Math.round(this.splitColumn());
      ctx.save();
      ctx.beginPath();
      ctx.rect(this.ox, this.oy, cut * this.scale, h * this.scale);
      ctx.clip();
      ctx.clearRect(this.ox, this.oy, cut * this.scale, h * this.scale);
      ctx.drawImage(this.input, this.ox, this.oy, this.inputSize.w * this.scale, this.inputSize.h * this.scale);
      ctx.restore();
      ctx.fillStyle = '#6aa4ff';
      ctx.fillRect(this.ox + cut * this.scale - 1, this.oy, 2, h * this.scale);
    }
  }

  // Split view: the first picture column of the output side.
  splitColumn() { return this.size().w * this.split; }

  // The picture pixel under screen point (sx, sy) and the picture it
  // belongs to, or null off the picture.
  pixelAt(sx, sy) {
    const { w, h } = this.size();
    const x = Math.floor((sx - this.ox) / this.scale), y = Math.floor((sy - this.oy) / this.scale);
    if (w === 0 || x < 0 || y < 0 || x >= w || y >= h) return null;
    let kind = this.mode === 'input' ? 'input' : 'output';
    if (this.mode === 'split' && x < Math.round(this.splitColumn())) kind = 'input';
    return { x, y, kind };
  }

  rehover() {
    if (this.lastPointer && this.onhover) {
      const p = this.pixelAt(this.lastPointer.x, this.lastPointer.y);
      this.onhover(p);
    }
  }

  attachPointer() {
    const c = this.canvas;
    let drag = null;
    const local = (e) => {
      const r = c.getBoundingClientRect();
      return { x: e.clientX - r.left, y: e.clientY - r.top };
    };
    c.addEventListener('pointerdown', (e) => {
      if (e.button !== 0) return;
      const p = local(e);
      drag = { x: p.x, y: p.y, ox: this.ox, oy: this.oy, moved: false, id: e.pointerId };
      c.setPointerCapture(e.pointerId);
    });
    c.addEventListener('pointermove', (e) => {
      const p = local(e);
      this.lastPointer = p;
      if (drag) {
        const dx = p.x - drag.x, dy = p.y - drag.y;
        if (!drag.moved && Math.hypot(dx, dy) > 3) {
          drag.moved = true;
          c.classList.add('dragging');
        }
        if (drag.moved) {
          this.fit = false;
          this.ox = drag.ox + dx;
          this.oy = drag.oy + dy;
          this.draw();
        }
      }
      if (this.onhover) this.onhover(this.pixelAt(p.x, p.y));
    });
    c.addEventListener('pointerleave', () => {
      this.lastPointer = null;
      if (this.onhover) this.onhover(null);
    });
    c.addEventListener('pointerup', (e) => {
      if (!drag) return;
      const p = local(e);
      const wasDrag = drag.moved;
      drag = null;
      c.classList.remove('dragging');
      if (wasDrag) return;
      const pixel = this.pixelAt(p.x, p.y);
      if (pixel && this.onclick) this.onclick(pixel.x, pixel.y);
    });
    c.addEventListener('wheel', (e) => {
      e.preventDefault();
      const p = local(e);
      this.zoomStep(e.deltaY < 0 ? 1 : -1, p.x, p.y);
    }, { passive: false });
  }
}
