// The room's code, its whole link with a Copy link button, and the link as a QR code a phone
// scans to land on the room's join form. Laid open where there is room for it (beside the join
// form, or in the game's letterbox); otherwise folded to a small button with the code that opens
// it on a tap.
import { qrcode } from 'qrcode-generator';
import { roomLink } from './room_path.js';

const QR_QUIET_MODULES = 4; // the white margin a reader needs around the code
const OPEN_WIDTH_PX = 190;  // what the open panel takes beside the game, in CSS pixels
const OPEN_HEIGHT_PX = 280;

// Draws `text` as a QR code on `canvas`, whole modules of `modulePx` device pixels each.
export function drawQr(canvas, text, modulePx) {
  const code = qrcode(0, 'M');
  code.addData(text);
  code.make();
  const modules = code.getModuleCount();
  const size = (modules + 2 * QR_QUIET_MODULES) * modulePx;
  canvas.width = size;
  canvas.height = size;
  const context = canvas.getContext('2d');
  context.fillStyle = '#fff';
  context.fillRect(0, 0, size, size);
  context.fillStyle = '#000';
  for (let row = 0; row < modules; row++) {
    for (let col = 0; col < modules; col++) {
      if (code.isDark(row, col))
        context.fillRect((col + QR_QUIET_MODULES) * modulePx, (row + QR_QUIET_MODULES) * modulePx, modulePx, modulePx);
    }
  }
}

// Where the open panel fits beside a picture of `picture` (a DOMRect-like box of the game's
// world on the page) in a page of `width` x `height`: 'left', 'right' or null.
export function letterboxSide(picture, width, height) {
  if (height < OPEN_HEIGHT_PX) return null;
  if (picture.left >= OPEN_WIDTH_PX) return 'left';
  if (width - (picture.left + picture.width) >= OPEN_WIDTH_PX) return 'right';
  return null;
}

export class RoomShare {
  constructor(doc, code) {
    this.doc = doc;
    this.panel = doc.getElementById('share');
    this.link = roomLink(doc.location.origin, code);
    this.open = true;
    doc.getElementById('share-code').textContent = code;
    doc.getElementById('share-toggle').textContent = code;
    const linkText = doc.getElementById('share-link');
    linkText.textContent = this.link;
    linkText.href = this.link;
    // Two device pixels a module at least: sharp on any screen; CSS sets the size it is shown at.
    drawQr(doc.getElementById('share-qr'), this.link, Math.max(2, Math.ceil(doc.defaultView.devicePixelRatio || 1)));
    doc.getElementById('copy-link').addEventListener('click', () => this.copy());
    doc.getElementById('share-toggle').addEventListener('click', () => this.setOpen(!this.open));
    // A small QR code grows on a tap, and shrinks on the next.
    doc.getElementById('share-qr').addEventListener('click', () => this.panel.classList.toggle('big'));
  }

  // The place the panel takes: 'form' (beside the join form), 'left'/'right' (in the letterbox),
  // 'folded' (a button in the game's bottom-left corner), or 'none' (hidden: the game is past the lobby).
  place(where) {
    this.panel.hidden = where === 'none';
    this.panel.dataset.place = where;
    if (where !== 'folded') this.setOpen(where !== 'none');
    else if (this.panel.dataset.placed !== 'folded') this.setOpen(false);
    this.panel.dataset.placed = where;
  }

  // Beside the game's picture `picture` when it fits, folded otherwise.
  placeBeside(picture) {
    const view = this.doc.defaultView;
    const side = letterboxSide(picture, view.innerWidth, view.innerHeight);
    this.place(side ?? 'folded');
    if (side) {
      const bar = side === 'left' ? picture.left : view.innerWidth - picture.left - picture.width;
      this.panel.style.setProperty('--bar', `${bar}px`);
    }
    if (!side) {
      this.panel.style.setProperty('--corner-x', `${picture.left + 6}px`);
      this.panel.style.setProperty('--corner-bottom', `${view.innerHeight - picture.top - picture.height + 6}px`);
    }
  }

  setOpen(open) {
    this.open = open;
    this.panel.classList.toggle('open', open);
    if (!open) this.panel.classList.remove('big');
  }

  async copy() {
    const status = this.doc.getElementById('share-status');
    try {
      await this.doc.defaultView.navigator.clipboard.writeText(this.link);
      status.textContent = 'Link copied';
    } catch {
      // No clipboard for this page (plain http on another machine): the link is selected, to copy by hand.
      const range = this.doc.createRange();
      range.selectNodeContents(this.doc.getElementById('share-link'));
      const selection = this.doc.getSelection();
      selection.removeAllRanges();
      selection.addRange(range);
      status.textContent = 'Press Ctrl+C (or Copy) to copy the link';
    }
  }
}
