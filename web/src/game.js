// The browser's frame loop: the host's messages, an INPUT per animation frame and one more as soon
// as a key changes, the picture and the overlay, and the keyboard and mouse with the command line
// taking the keys while it is open.
import { CanvasPointer } from './canvas_pointer.js';
import { CommandLine } from './command_line.js';
import { Connection, sendWhileHidden } from './connection.js';
import { runFrames } from './frame_loop.js';
import { gameKeyFor, togglesCommandLine } from './keys.js';
import { KeyTracker } from './key_tracker.js';
import { Overlay, chatLineFor } from './overlay.js';
import { Painter } from './painter.js';
import { PictureStream } from './picture_stream.js';
import {
  EventKind, PICTURE_CHANGES_SUBPROTOCOL, commandMessage, inputMessage, loginMessage, pictureRequestMessage,
} from './protocol.js';
import { playPath } from './room_path.js';
import { Seat, tabStorage } from './seat.js';
import { TouchControls, touchControlsWanted } from './touch_controls.js';
import { canvasToWorld, fitWorld, minTextPx } from './viewport.js';

const WAITING_BACKGROUND = [20, 20, 30, 255];
const LOST_TEXT = 'Connection to the host lost - reconnecting...';

export class Game {
  constructor(canvas, assets, sound, name) {
    this.canvas = canvas;
    this.sound = sound;
    this.painter = new Painter(canvas.getContext('2d'), assets);
    // A key's change leaves at once, not at the next animation frame: up to a frame (17 ms at
    // 60 Hz) sooner at the host, which reads its input only at the start of its own frame.
    this.keys = new KeyTracker(() => this.sendSoon());
    this.sendQueued = false;
    this.commandLine = new CommandLine();
    this.overlay = new Overlay();
    this.mouse = { x: 0, y: 0 };
    this.keysWanted = () => true;
    this.seat = new Seat(tabStorage(), name); // sent back to get the seat again
    this.pictures = new PictureStream({
      requestWhole: () => this.connection.send(pictureRequestMessage()),
      warn: (text) => console.warn(text),
    });
    // Time spent on pictures, for measuring: parsing and applying what came, and drawing.
    this.timing = { messages: 0, messageMs: 0, draws: 0, drawMs: 0 };
    globalThis.cogwellTiming = this.timing;
    this.viewport = fitWorld(1, 1);
    const url = `${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}${playPath(location.pathname)}`;
    // "?changes=off" asks for whole pictures, as a client without changes gets them.
    const changes = new URLSearchParams(location.search).get('changes') !== 'off';
    this.connection = new Connection(url, {
      message: (text) => this.onHostMessage(text),
      lost: () => { this.overlay.status = LOST_TEXT; },
    }, changes ? [PICTURE_CHANGES_SUBPROTOCOL] : []);
  }

  get picture() {
    return this.pictures.picture;
  }

  start() {
    if (touchControlsWanted()) this.touch = new TouchControls(this.keys, this.canvas);
    this.listen();
    this.resize();
    this.connection.open(() => {
      this.pictures.restart();
      return loginMessage(this.seat.loginFields());
    });
    sendWhileHidden(document, () => this.sendInput());
    runFrames((f) => requestAnimationFrame(f), () => this.frame(), (text) => console.warn(text));
  }

  now() {
    return performance.now() / 1000;
  }

  onHostMessage(text) {
    const started = performance.now();
    let message;
    try {
      message = JSON.parse(text);
    } catch {
      return;
    }
    if (typeof message !== 'object' || message === null) return;
    if (this.pictures.receive(message)) {
      this.timing.messages++;
      this.timing.messageMs += performance.now() - started;
      return;
    }
    const event = message.event;
    if (typeof event !== 'object' || event === null) return;
    switch (event.kind) {
      case EventKind.INIT:
        this.seat.take(event);
        this.overlay.status = '';
        break;
      case EventKind.PLAYER_JOINED:
      case EventKind.PLAYER_LEFT:
      case EventKind.CHAT_MESSAGE: {
        const line = chatLineFor(event);
        if (line !== null) this.overlay.addChat(line, this.now());
        break;
      }
      case EventKind.PLAY_SOUND:
        if (Number.isFinite(event.volume)) this.sound.play(event.sound_id, event.volume);
        break;
      case EventKind.STOP_MUSIC: this.sound.stopMusic(); break;
      default: break;
    }
  }

  frame() {
    this.sendInput();
    this.overlay.dropExpired(this.now());
    this.draw();
  }

  // Every edge since the last snapshot goes in this one, however long ago that was.
  sendInput() {
    // The snapshot is taken even when it cannot be sent, so stale edges never reach the host.
    const input = this.keys.snapshot(this.mouse);
    this.connection.send(inputMessage(input));
  }

  // One INPUT for all the changes of the event under way (the presses of a word the device keyboard
  // put in at once, every key let go on a blur), sent when its handlers are done.
  sendSoon() {
    if (this.sendQueued) return;
    this.sendQueued = true;
    queueMicrotask(() => {
      this.sendQueued = false;
      this.sendInput();
    });
  }

  draw() {
    const started = performance.now();
    const painter = this.painter;
    painter.begin(this.viewport, this.canvas.width, this.canvas.height);
    if (this.picture) {
      painter.drawPicture(this.picture);
    } else {
      painter.rect(0, 0, 1280, 720, WAITING_BACKGROUND);
      painter.text(470, 330, 'Waiting for the host...', 32, [200, 200, 220, 255]);
    }
    this.overlay.draw(painter, this.commandLine);
    this.timing.draws++;
    this.timing.drawMs += performance.now() - started;
  }

  resize() {
    this.touch?.layout();
    const ratio = this.touch ? this.touch.pixelRatio() : window.devicePixelRatio || 1;
    this.canvas.width = Math.max(1, Math.round(this.canvas.clientWidth * ratio));
    this.canvas.height = Math.max(1, Math.round(this.canvas.clientHeight * ratio));
    this.viewport = fitWorld(this.canvas.width, this.canvas.height);
    this.painter.minTextPx = minTextPx(this.viewport.scale / ratio);
  }

  pointer(event) {
    const ratio = this.canvas.width / Math.max(this.canvas.clientWidth, 1);
    this.mouse = canvasToWorld(this.viewport, event.offsetX * ratio, event.offsetY * ratio);
  }

  sendCommand(line) {
    if (!line) return;
    if (this.connection.isOpen()) this.connection.send(commandMessage(line));
    else this.overlay.addChat('Not connected: command not sent', this.now());
  }

  commandLineKey(event) {
    if (event.key === 'Enter') this.sendCommand(this.commandLine.submit());
    else if (event.key === 'Escape' || event.key === 'F1') this.commandLine.close();
    else if (event.key === 'Backspace') this.commandLine.erase();
    else if (event.key.length >= 1 && [...event.key].length === 1 && !event.ctrlKey && !event.metaKey) this.commandLine.type(event.key);
    else return false;
    return true;
  }

  onKey(event, down) {
    if (!this.keysWanted()) return; // the "How to play" panel has them
    if (this.commandLine.isOpen) {
      if (down && this.commandLineKey(event)) event.preventDefault();
      return;
    }
    if (down && !event.repeat && togglesCommandLine(event)) {
      event.preventDefault();
      this.commandLine.open();
      // Keys held now would stay down at the host while the field has the keyboard.
      this.keys.releaseAll();
      return;
    }
    if (down) this.sound.resume(); // sounds may only start after the player's own gesture
    const key = gameKeyFor(event);
    if (key === undefined) return;
    event.preventDefault(); // no page scrolling on SPACE or the arrows, no navigation on Backspace
    if (down) this.keys.down(key);
    else this.keys.up(key);
  }

  listen() {
    window.addEventListener('resize', () => this.resize());
    window.addEventListener('keydown', (e) => this.onKey(e, true));
    window.addEventListener('keyup', (e) => this.onKey(e, false));
    // Keys released while another window has the focus never reach us.
    window.addEventListener('blur', () => this.keys.releaseAll());
    const canvas = this.canvas;
    canvas.addEventListener('contextmenu', (e) => e.preventDefault());
    const pointer = new CanvasPointer(this.keys);
    for (const type of ['pointerdown', 'pointermove', 'pointerup', 'pointercancel']) {
      canvas.addEventListener(type, (e) => {
        // A second finger on the game neither moves the aim nor clicks.
        if (e.isPrimary && type !== 'pointercancel') this.pointer(e);
        if (type === 'pointerdown') {
          this.sound.resume();
          canvas.setPointerCapture(e.pointerId); // a button let go off the canvas still comes up
          if (e.pointerType === 'touch') e.preventDefault();
        }
        pointer[type.slice('pointer'.length)](e);
      });
    }
  }
}
