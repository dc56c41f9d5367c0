// The picture on the page's canvas: drawn from the pixels the converter's
// worker sent, zoomed, and read pixel by pixel under the pointer or the
// arrow keys.

function hex2(n) {
  return n.toString(16).toUpperCase().padStart(2, '0');
}

export class View {
  constructor(canvas, box, info) {
    this.canvas = canvas;
    this.box = box;
    this.info = info;
    this.shown = null;  // { width, height, rgba, indices, bitmap }
    this.cursor = { x: 0, y: 0 };
    this.zoom = 'fit';
  }

  // Draws shown (null: nothing): width x height pixels as RGBA bytes for
  // the read-out, the palette index of each (null for true colour), and the
  // bitmap the canvas shows.
  show(shown) {
    this.shown = shown;
    const canvas = this.canvas;
    const context = canvas.getContext('bitmaprenderer');
    if (!shown) {
      canvas.width = 1;
      canvas.height = 1;
      context.transferFromImageBitmap(null);
      return;
    }
    canvas.width = shown.bitmap.width;
    canvas.height = shown.bitmap.height;
    context.transferFromImageBitmap(shown.bitmap);
    this.applyZoom();
  }

  // The most device pixels the canvas shows the picture at when it fits
  // the box (null: every pixel, for a zoom): a photo drawn in all its pixels
  // costs the browser half a second to paint.
  drawLimit() {
    if (this.zoom !== 'fit') return null;
    const ratio = window.devicePixelRatio || 1;
    return { width: Math.ceil(this.box.clientWidth * ratio), height: Math.ceil(window.innerHeight * 0.65 * ratio) };
  }

  // Whether the picture was drawn with fewer pixels than the zoom shows.
  needsRedraw() {
    if (!this.shown) return false;
    const ratio = window.devicePixelRatio || 1;
    return this.shown.bitmap.width < Math.min(this.shown.width, Math.ceil(this.shown.width * this.zoomFactor() * ratio));
  }

  zoomFactor() {
    if (this.zoom !== 'fit' || !this.shown) return Number(this.zoom) || 1;
    const w = this.shown.width;
    const h = this.shown.height;
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
    this.canvas.style.width = `${this.shown.width * z}px`;
    this.canvas.style.height = `${this.shown.height * z}px`;
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
    const shown = this.shown;
    if (!shown) return;
    this.cursor = { x: Math.max(0, Math.min(x, shown.width - 1)), y: Math.max(0, Math.min(y, shown.height - 1)) };
    const at = this.cursor.y * shown.width + this.cursor.x;
    const [r, g, b, a] = shown.rgba.subarray(4 * at, 4 * at + 4);
    const index = shown.indices ? `, palette index ${shown.indices[at]}` : '';
    this.info.textContent = `x ${this.cursor.x}, y ${this.cursor.y}: #${hex2(r)}${hex2(g)}${hex2(b)}, alpha ${a}${index}`;
  }

  pointerPixel(event) {
    const shown = this.shown;
    if (!shown) return;
    const rect = this.canvas.getBoundingClientRect();
    const x = Math.floor(((event.clientX - rect.left) / rect.width) * shown.width);
    const y = Math.floor(((event.clientY - rect.top) / rect.height) * shown.height);
    if (x >= 0 && y >= 0 && x < shown.width && y < shown.height) this.showPixel(x, y);
  }

  // Arrow keys move the pixel cursor by one, with Shift by ten.
  keyPixel(event) {
    const shown = this.shown;
    const moves = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
    if (!shown || !moves[event.key]) return;
    event.preventDefault();
    const step = event.shiftKey ? 10 : 1;
    const [dx, dy] = moves[event.key];
    const x = Math.min(shown.width - 1, Math.max(0, this.cursor.x + dx * step));
    const y = Math.min(shown.height - 1, Math.max(0, this.cursor.y + dy * step));
    this.showPixel(x, y);
  }
}
