// The picture on the page's canvas: drawn from a picture of the module,
// zoomed, and read pixel by pixel under the pointer or the arrow keys.

function hex2(n) {
  return n.toString(16).toUpperCase().padStart(2, '0');
}

export class View {
  constructor(canvas, box, info) {
    this.canvas = canvas;
    this.box = box;
    this.info = info;
    this.shown = null;  // { picture, owned, alpha }
    this.cursor = { x: 0, y: 0 };
    this.zoom = 'fit';
  }

  // Draws picture (null: nothing). owned: the view deletes it when another
  // comes; keepAlpha false shows every pixel opaque; alpha: a picture (owned
  // too) whose alpha channel replaces the picture's.
  show(picture, owned, keepAlpha = true, alpha = undefined) {
    if (this.shown?.owned) this.shown.picture.delete();
    this.shown?.alpha?.delete();
    this.shown = picture ? { picture, owned, alpha } : null;
    const canvas = this.canvas;
    if (!picture) {
      canvas.width = 1;
      canvas.height = 1;
      canvas.getContext('2d').clearRect(0, 0, 1, 1);
      return;
    }
    const w = picture.width();
    const h = picture.height();
    const rgba = picture.rgba();
    if (alpha) {
      const source = alpha.rgba();
      for (let i = 3; i < rgba.length; i += 4) rgba[i] = source[i];
    } else if (!keepAlpha) {
      for (let i = 3; i < rgba.length; i += 4) rgba[i] = 255;
    }
    canvas.width = w;
    canvas.height = h;
    const pixels = new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, rgba.length);
    canvas.getContext('2d').putImageData(new ImageData(pixels, w, h), 0, 0);
    this.applyZoom();
  }

  zoomFactor() {
    if (this.zoom !== 'fit' || !this.shown) return Number(this.zoom) || 1;
    const w = this.shown.picture.width();
    const h = this.shown.picture.height();
    const fit = Math.min((this.box.clientWidth - 2) / w, (window.innerHeight * 0.65) / h);
    return fit >= 1 ? Math.max(1, Math.floor(fit)) : fit;
  }

  setZoom(zoom) {
    this.zoom = zoom;
    this.applyZoom();
  }

  applyZoom() {
    if (!this.shown) return;
    const z = this.zoomFactor();
    this.canvas.style.width = `${this.shown.picture.width() * z}px`;
    this.canvas.style.height = `${this.shown.picture.height() * z}px`;
  }

  // The next of steps (zoom factors as texts) up or down; gives it, or null
  // at either end.
  stepZoom(direction, steps) {
    const now = this.zoomFactor();
    const next = direction > 0 ? steps.find((s) => Number(s) > now + 1e-9)
      : steps.findLast((s) => Number(s) < now - 1e-9);
    if (next === undefined) return null;
    this.setZoom(next);
    return next;
  }

  showPixel(x, y) {
    const picture = this.shown?.picture;
    if (!picture) return;
    this.cursor = { x: Math.min(x, picture.width() - 1), y: Math.min(y, picture.height() - 1) };
    const p = picture.pixel(this.cursor.x, this.cursor.y);
    if (!p) return;
    if (this.shown.alpha) p.a = this.shown.alpha.pixel(this.cursor.x, this.cursor.y).a;
    const index = p.index >= 0 ? `, palette index ${p.index}` : '';
    this.info.textContent =
      `x ${this.cursor.x}, y ${this.cursor.y}: #${hex2(p.r)}${hex2(p.g)}${hex2(p.b)}, alpha ${p.a}${index}`;
  }

  pointerPixel(event) {
    const picture = this.shown?.picture;
    if (!picture) return;
    const rect = this.canvas.getBoundingClientRect();
    const x = Math.floor(((event.clientX - rect.left) / rect.width) * picture.width());
    const y = Math.floor(((event.clientY - rect.top) / rect.height) * picture.height());
    if (x >= 0 && y >= 0 && x < picture.width() && y < picture.height()) this.showPixel(x, y);
  }

  // Arrow keys move the pixel cursor by one, with Shift by ten.
  keyPixel(event) {
    const picture = this.shown?.picture;
    const moves = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
    if (!picture || !moves[event.key]) return;
    event.preventDefault();
    const step = event.shiftKey ? 10 : 1;
    const [dx, dy] = moves[event.key];
    const x = Math.min(picture.width() - 1, Math.max(0, this.cursor.x + dx * step));
    const y = Math.min(picture.height() - 1, Math.max(0, this.cursor.y + dy * step));
    this.showPixel(x, y);
  }
}
