// Whatever a picture message holds, the page goes on: one it cannot draw is dropped with one
// warning and one request for a whole picture, the next good picture is drawn, and the frame loop
// asks for its next frame even when a frame throws.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { runFrames } from '../src/frame_loop.js';
import { Painter } from '../src/painter.js';
import { PictureStream } from '../src/picture_stream.js';

// A 2D context that remembers the texts filled and throws on anything a real one would choke on.
function recordingContext() {
  const texts = [];
  const ctx = {
    texts,
    measureText: (t) => {
      if (typeof t !== 'string') throw new TypeError('not a text');
      return { width: t.length };
    },
    fillText: (t, x, y) => {
      if (typeof t !== 'string' || !Number.isFinite(x) || !Number.isFinite(y)) throw new TypeError('bad text');
      texts.push(t);
    },
  };
  for (const name of ['setTransform', 'fillRect', 'beginPath', 'rect', 'clip', 'arc', 'fill', 'moveTo', 'lineTo',
    'stroke', 'save', 'restore', 'translate', 'rotate', 'scale', 'drawImage']) ctx[name] = () => {};
  return ctx;
}

const ASSETS = { sprites: new Map(), text: { pointsPerFontUnit: 1, singleGlyphCell: 0.6 } };
const text = (t) => ({ kind: 1, x: 10, y: 20, color: [255, 255, 255, 255], text: t, font_size: 20 });
const whole = (...texts) => ({ kind: 1, commands: texts.map(text) });

test('a picture, change or edit of the wrong type is dropped, a whole one asked for, the next drawn', () => {
  const change = (extra) => ({ kind: 2, base: 1, keep: [0, 0, 1], commands: [], ...extra });
  const cases = [
    ['commands a number', { kind: 1, commands: 5 }],
    ['commands missing', { kind: 1 }],
    ['a null command', { kind: 1, commands: [null] }],
    ['a text that is a number', { kind: 1, commands: [{ ...text('a'), text: 7 }] }],
    ['a text that is an object', { kind: 1, commands: [{ ...text('a'), text: { toString: 'x' } }] }],
    ['x a string', { kind: 1, commands: [{ ...text('a'), x: '1' }] }],
    ['a colour of three', { kind: 1, commands: [{ ...text('a'), color: [1, 2, 3] }] }],
    ['a colour past 255', { kind: 1, commands: [{ ...text('a'), color: [1, 2, 3, 900] }] }],
    ['a negative kind', { kind: 1, commands: [{ ...text('a'), kind: -1 }] }],
    ['a fractional asset', { kind: 1, commands: [{ kind: 5, asset_id: 1.5 }] }],
    ['a flip that is a number', { kind: 1, commands: [{ kind: 5, flip_x: 1 }] }],
    ['too many commands', { kind: 1, commands: new Array(16385).fill(text('a')) }],
    ['change: commands a number', change({ commands: 5 })],
    ['change: a null command', change({ commands: [null] })],
    ['change: a text that is a number', change({ commands: [{ kind: 1, text: 3 }] })],
    ['change: keep an object', change({ keep: { 0: 0 } })],
    ['change: a fractional index', change({ keep: [0, 0.5, 1] })],
    ['change: a negative count', change({ keep: [0, 0, -1] })],
    ['edit: a text that is an object', change({ edit_at: [0], edits: [{ text: {} }] })],
    ['edit: a text that is a number', change({ edit_at: [0], edits: [{ text: 12 }] })],
    ['edit: null', change({ edit_at: [0], edits: [null] })],
    ['x not finite', '{"kind":1,"commands":[{"kind":0,"x":1e999,"color":[1,1,1,1]}]}'],
    ['edit: y not finite', '{"kind":2,"base":1,"keep":[0,0,1],"commands":[],"edit_at":[0],"edits":[{"y":-1e999}]}'],
    ['edit: a colour that is a string', change({ edit_at: [0], edits: [{ color: 'red' }] })],
    ['edit: a place that is a string', change({ edit_at: ['0'], edits: [{ x: 1 }] })],
  ];
  for (const [name, message] of cases) {
    const requests = [];
    const warnings = [];
    const stream = new PictureStream({ requestWhole: () => requests.push(1), warn: (t) => warnings.push(t) });
    stream.receive(whole('before'));
    const before = stream.picture;
    const received = JSON.parse(typeof message === 'string' ? message : JSON.stringify(message));
    assert.equal(stream.receive(received), true, name);
    assert.equal(stream.picture, before, `${name}: dropped`);
    assert.deepEqual([requests.length, warnings.length], [1, 1], `${name}: one request, one warning`);
    stream.receive(whole('after'));
    const ctx = recordingContext();
    const painter = new Painter(ctx, ASSETS);
    painter.drawPicture(stream.picture);
    assert.deepEqual(ctx.texts, ['after'], `${name}: the next picture is drawn`);
  }
});

test('the frame loop asks for its next frame even when a frame throws, and warns once', () => {
  const queued = [];
  const warnings = [];
  let frames = 0;
  runFrames((f) => queued.push(f), () => {
    frames++;
    throw new TypeError('text is not iterable');
  }, (t) => warnings.push(t));
  for (let i = 0; i < 5; i++) queued.shift()();
  assert.equal(frames, 5);
  assert.equal(queued.length, 1);
  assert.equal(warnings.length, 1);
});
