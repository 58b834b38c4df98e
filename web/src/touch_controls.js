// Play on a touch screen: the on-screen keys (real buttons, held while a finger is on them), the
// device keyboard through an invisible text field, the layout that keeps them beside the game, a
// fullscreen button where the browser offers one, and the screen kept awake while the game runs.
import { Key } from './key_tracker.js';
import { touchLayout } from './touch_layout.js';
import { FIELD_REST, fieldChange, fieldKept, keyPressesFor } from './typed_field.js';
import { touchPixelRatio } from './viewport.js';

const SETTING_KEY = 'cogwell-touch-controls';

const BUTTON_KEYS = {
  Space: Key.SPACE, Enter: Key.ENTER, Backspace: Key.BACKSPACE, Escape: Key.ESCAPE,
  Up: Key.UP, Down: Key.DOWN, Left: Key.LEFT, Right: Key.RIGHT,
};

// A phone or a tablet: its main pointer is a finger. A laptop with a touch screen has a fine one
// (its mouse or touchpad) and keeps the desktop page.
function isTouchDevice() {
  return window.matchMedia('(pointer: coarse)').matches;
}

// The join form's checkbox: ticked on touch devices unless the player said otherwise, remembered.
export function setUpTouchSetting(checkbox) {
  const saved = localStorage.getItem(SETTING_KEY);
  checkbox.checked = saved === null ? isTouchDevice() : saved === 'on';
  checkbox.addEventListener('change', () => localStorage.setItem(SETTING_KEY, checkbox.checked ? 'on' : 'off'));
}

export function touchControlsWanted() {
  const checkbox = document.getElementById('touch-setting');
  return checkbox ? checkbox.checked : isTouchDevice();
}

// Until a touch start is taken (or the touch has become a gesture), Chrome holds back the page's
// other work, the host's pictures among it: held 40 to 50 ms after a tap on an on-screen key. The
// keys and the game need neither the click nor a gesture that follows a touch; the pointer events
// still come.
function takeTouchStarts(element) {
  element.addEventListener('touchstart', (e) => e.preventDefault(), { passive: false });
}

const place = (element, r) => Object.assign(element.style, {
  left: `${r.left}px`, top: `${r.top}px`, width: `${r.width}px`, height: `${r.height}px`,
});

export class TouchControls {
  constructor(keys, canvas) {
    this.keys = keys;
    this.canvas = canvas;
    this.root = document.getElementById('touch-controls');
    this.field = document.getElementById('type-field');
    this.hint = document.getElementById('turn-hint');
    this.fieldValue = FIELD_REST;
    this.wakeLock = null;
    document.body.classList.add('touch');
    this.root.hidden = false;
    for (const button of this.root.querySelectorAll('button[aria-label]')) {
      const key = BUTTON_KEYS[button.getAttribute('aria-label')];
      if (key !== undefined) this.holdWithFinger(button, key);
    }
    this.listenKeyboardButton(this.root.querySelector('[aria-label="Keyboard"]'));
    this.listenFullscreenButton(this.root.querySelector('[aria-label="Fullscreen"]'));
    this.listenField();
    takeTouchStarts(canvas);
    // Long presses select text or open menus; the controls are keys, not text.
    this.root.addEventListener('contextmenu', (e) => e.preventDefault());
    this.layout();
    this.keepScreenAwake();
  }

  // The canvas and the two button groups in their places; the game fits itself to the canvas.
  layout() {
    const l = touchLayout(window.innerWidth, window.innerHeight);
    this.root.dataset.mode = l.mode;
    place(this.canvas, l.canvas);
    place(this.root.querySelector('.arrows'), l.arrows);
    place(this.root.querySelector('.actions'), l.actions);
    this.hint.hidden = !l.portrait;
  }

  pixelRatio() {
    return touchPixelRatio(this.canvas.clientWidth, this.canvas.clientHeight, window.devicePixelRatio || 1);
  }

  // A key held while any finger is on its button; the pointer is captured, so a finger that slides
  // off still lets go of the key when it lifts.
  holdWithFinger(button, key) {
    const fingers = new Set();
    const release = (e) => {
      if (!fingers.delete(e.pointerId) || fingers.size > 0) return;
      button.classList.remove('held');
      this.keys.up(key);
    };
    button.addEventListener('pointerdown', (e) => {
      e.preventDefault(); // keeps the focus (and the device keyboard) where it is
      button.setPointerCapture(e.pointerId);
      fingers.add(e.pointerId);
      button.classList.add('held');
      this.keys.down(key);
    });
    takeTouchStarts(button);
    button.addEventListener('pointerup', release);
    button.addEventListener('pointercancel', release);
    button.addEventListener('lostpointercapture', release);
  }

  // Browsers show their keyboard only for a focus given inside the player's own gesture.
  listenKeyboardButton(button) {
    button.addEventListener('pointerdown', (e) => e.preventDefault());
    button.addEventListener('click', () => {
      if (document.activeElement === this.field) {
        this.field.blur();
        return;
      }
      this.field.value = this.fieldValue = FIELD_REST;
      this.field.focus({ preventScroll: true });
    });
  }

  listenFullscreenButton(button) {
    if (!document.fullscreenEnabled) return; // e.g. a phone's browser that keeps its own chrome
    button.hidden = false;
    button.addEventListener('click', async () => {
      try {
        if (document.fullscreenElement) {
          await document.exitFullscreen();
          return;
        }
        await document.documentElement.requestFullscreen({ navigationUI: 'hide' });
        await screen.orientation?.lock?.('landscape');
      } catch {
        // Refused or not offered here (orientation locks are phone-only): the page works as it is.
      }
    });
  }

  // Letters typed on the device keyboard become the game's letter keys, as the physical keys do.
  // A physical keyboard's keys never get here: the page takes them at key-down.
  listenField() {
    this.field.addEventListener('input', (e) => {
      for (const key of keyPressesFor(fieldChange(this.fieldValue, this.field.value))) {
        this.keys.down(key);
        this.keys.up(key);
      }
      this.fieldValue = fieldKept(this.field.value, e.isComposing);
      if (this.field.value !== this.fieldValue) this.field.value = this.fieldValue;
    });
  }

  // Where the browser offers it; a phone left alone in the middle of a round would dim and lock.
  // The lock lapses whenever the page is hidden, so it is asked for again when it comes back.
  keepScreenAwake() {
    if (!navigator.wakeLock) return;
    const request = async () => {
      if (document.visibilityState !== 'visible' || this.wakeLock) return;
      try {
        this.wakeLock = await navigator.wakeLock.request('screen');
        this.wakeLock.addEventListener('release', () => { this.wakeLock = null; });
      } catch {
        this.wakeLock = null; // refused, e.g. on battery saver
      }
    };
    document.addEventListener('visibilitychange', request);
    request();
  }
}
