// Pictures rebuilt from changes in the page: every kind of change gives exactly the new picture,
// and a hostile change is refused with one warning and one request for a whole picture.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { PictureStream, applyPictureChange } from '../src/picture_stream.js';

const cmd = (n) => ({
  kind: 0, x: n, y: 0, width: 1, height: 1, color: [n, 0, 0, 255], text: '', font_size: 0, x2: 0, y2: 0, asset_id: 0,
  rotation: 0, scale_x: 0, scale_y: 0, flip_x: false, flip_y: false,
});
const picture = (...ns) => ns.map(cmd);

test('a change applied to the previous picture gives exactly the new one', () => {
  const previous = picture(1, 2, 3, 4);
  const cases = [
    ['unchanged', { base: 4, keep: [0, 0, 4], commands: [] }, picture(1, 2, 3, 4)],
    ['grown', { base: 4, keep: [0, 0, 4], commands: [cmd(5), cmd(6)] }, picture(1, 2, 3, 4, 5, 6)],
    ['shrunk', { base: 4, keep: [0, 1, 2], commands: [] }, picture(2, 3)],
    ['reordered', { base: 4, keep: [0, 2, 2, 3, 0, 1], commands: [cmd(9)] }, picture(3, 4, 9, 1)],
    ['all new', { base: 4, keep: [], commands: [cmd(7)] }, picture(7)],
    ['a run repeated', { base: 4, keep: [0, 0, 1, 1, 0, 1], commands: [] }, picture(1, 1)],
  ];
  for (const [name, change, expected] of cases) assert.deepEqual(applyPictureChange(previous, change), expected, name);
  // Kept commands edited in place: only the members given change, and the previous picture stays.
  const moved = applyPictureChange(previous, { base: 4, keep: [0, 0, 4], commands: [], edit_at: [1, 3], edits: [{ y: 7 }, { text: 'x', x: 0 }] });
  assert.deepEqual(moved, [cmd(1), { ...cmd(2), y: 7 }, cmd(3), { ...cmd(4), text: 'x', x: 0 }]);
  assert.deepEqual(previous, picture(1, 2, 3, 4));
  // Members left out of a new command are zero, as the host wrote them.
  const [text] = applyPictureChange([], { base: 0, keep: [], commands: [{ kind: 1, text: 'hi', font_size: 20 }] });
  assert.deepEqual([text.x, text.color, text.scale_x, text.flip_y, text.text], [0, [0, 0, 0, 0], 0, false, 'hi']);
});

test('a hostile change is refused, whatever it says', () => {
  const previous = picture(1, 2, 3);
  const cases = [
    ['index past the end', { base: 3, keep: [0, 2, 2], commands: [] }],
    ['overlapping runs', { base: 3, keep: [0, 0, 2, 1, 0, 1], commands: [] }],
    ['a huge count', { base: 3, keep: [0, 0, 4294967295], commands: [] }],
    ['a count past the limit', { base: 3, keep: [0, 0, 3, 20000, 0, 3], commands: new Array(19997).fill(cmd(0)) }],
    ['a gap without commands', { base: 3, keep: [2, 0, 1], commands: [cmd(5)] }],
    ['made for another picture', { base: 4, keep: [0, 0, 1], commands: [] }],
    ['not numbers', { base: 3, keep: ['0', 0, 1], commands: [] }],
    ['a run starting before the picture', { base: 3, keep: [0, -1, 2], commands: [] }],
    ['a run of negative length', { base: 3, keep: [0, 0, 2, 2, 2, -1], commands: [] }],
    ['an edit before the picture', { base: 3, keep: [0, 0, 3], commands: [], edit_at: [-1], edits: [{ x: 1 }] }],
    ['a command that is no object', { base: 3, keep: [], commands: [null] }],
    ['an edit past the end', { base: 3, keep: [0, 0, 3], commands: [], edit_at: [3], edits: [{ x: 1 }] }],
    ['a command edited twice', { base: 3, keep: [0, 0, 3], commands: [], edit_at: [1, 1], edits: [{ x: 1 }, { x: 2 }] }],
    ['places without edits', { base: 3, keep: [0, 0, 3], commands: [], edit_at: [0, 1], edits: [{ x: 1 }] }],
    ['an edit that is no object', { base: 3, keep: [0, 0, 3], commands: [], edit_at: [0], edits: [7] }],
  ];
  for (const [name, change] of cases) assert.equal(typeof applyPictureChange(previous, change), 'string', name);
});

test('the stream asks once for a whole picture and skips changes until it comes', () => {
  const requests = [];
  const warnings = [];
  const stream = new PictureStream({ requestWhole: () => requests.push(1), warn: (t) => warnings.push(t) });
  stream.change({ base: 0, keep: [], commands: [cmd(1)] }); // before any picture
  assert.equal(stream.picture, null);
  assert.equal(requests.length, 1);
  stream.change({ base: 0, keep: [], commands: [cmd(2)] }); // made against what the host thinks we have
  assert.equal(requests.length, 1);
  stream.whole(picture(1, 2));
  stream.change({ base: 2, keep: [0, 1, 1], commands: [cmd(3)] });
  assert.deepEqual(stream.picture, picture(2, 3));
  stream.change({ base: 2, keep: [0, 5, 1], commands: [] }); // past the end: the picture stays
  assert.deepEqual(stream.picture, picture(2, 3));
  assert.equal(requests.length, 2);
  assert.equal(warnings.length, 1);
  // A new connection: the old picture is still drawn, but no change applies to it.
  stream.whole(picture(4));
  stream.restart();
  stream.change({ base: 1, keep: [0, 0, 1], commands: [] });
  assert.equal(requests.length, 3);
  assert.deepEqual(stream.picture, picture(4));
});
