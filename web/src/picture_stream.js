// The pictures of one connection: whole ones replace the picture, changes rebuild it from the one
// before. A picture or change that does not fit, or has a value of the wrong type, is ignored
// with one warning and a whole picture is asked for; until it comes, the changes made against
// pictures this page no longer has are skipped.
import { MEMBERS, MEMBER_CHECKS, checkedPicture, wholeCommand } from './picture_check.js';
import { ServerKind } from './protocol.js';

// The same limit as the window client's: a picture may have at most this many commands.
export const MAX_PICTURE_COMMANDS = 16384;

const isIndex = (v) => Number.isInteger(v) && v >= 0;

// The commands of the new picture, or a string saying why `change` cannot apply to `previous`.
// Every index is checked against the previous picture before it is used.
export function applyPictureChange(previous, change, maxCommands = MAX_PICTURE_COMMANDS) {
  const { base, keep, commands } = change;
  if (!previous || base !== previous.length) return 'made for another picture';
  if (!Array.isArray(keep) || keep.length % 3 !== 0 || !Array.isArray(commands)) return 'malformed';
  if (commands.length > maxCommands) return 'too many commands';
  const made = commands.map(wholeCommand);
  if (made.includes(null)) return 'a command of the wrong type';
  const out = [];
  let next = 0; // the next new command to place
  for (let r = 0; r < keep.length; r += 3) {
    const [at, from, count] = [keep[r], keep[r + 1], keep[r + 2]];
    if (!isIndex(at) || !isIndex(from) || !isIndex(count)) return 'malformed';
    if (at < out.length || count === 0 || from + count > previous.length) return 'a run outside the previous picture';
    const gap = at - out.length;
    if (gap > commands.length - next) return 'missing commands';
    if (at + count > maxCommands) return 'too many commands';
    for (let i = 0; i < gap; i++) out.push(made[next++]);
    for (let i = from; i < from + count; i++) out.push(previous[i]);
  }
  if (out.length + commands.length - next > maxCommands) return 'too many commands';
  while (next < commands.length) out.push(made[next++]);
  return applyEdits(out, change);
}

// Some members of kept commands changed in place: edits[i] gives the members that differ for the
// command at edit_at[i]. Places must rise strictly and stay inside the picture; only the
// command's own members are taken from an edit.
function applyEdits(out, change) {
  const at = change.edit_at ?? [];
  const edits = change.edits ?? [];
  if (!Array.isArray(at) || !Array.isArray(edits) || at.length !== edits.length) return 'malformed edits';
  for (let i = 0; i < at.length; i++) {
    const place = at[i];
    const edit = edits[i];
    if (!isIndex(place) || place >= out.length || (i > 0 && place <= at[i - 1])) return 'an edit outside the picture';
    if (typeof edit !== 'object' || edit === null || Array.isArray(edit)) return 'malformed edits';
    const edited = { ...out[place] };
    for (const name of MEMBERS) {
      if (!Object.hasOwn(edit, name)) continue;
      if (!MEMBER_CHECKS[name](edit[name])) return 'an edit of the wrong type';
      edited[name] = edit[name];
    }
    out[place] = edited;
  }
  return out;
}

export class PictureStream {
  // handlers: { requestWhole(), warn(text) }
  constructor(handlers) {
    this.handlers = handlers;
    this.picture = null;       // what is drawn
    this.hasBase = false;      // the picture is the one the host's next change is made against
    this.awaitingWhole = false;
    this.warned = false;
  }

  // A new connection: its first whole picture comes before any change applies.
  restart() {
    this.hasBase = false;
    this.awaitingWhole = false;
    this.warned = false;
  }

  // A host message: true when it was a picture (whole or a change), which is then taken or refused.
  receive(message) {
    if (message.kind === ServerKind.DRAW_COMMANDS) this.whole(message.commands);
    else if (message.kind === ServerKind.PICTURE_CHANGE) this.change(message);
    else return false;
    return true;
  }

  whole(commands) {
    const picture = checkedPicture(commands, MAX_PICTURE_COMMANDS);
    if (picture === null) {
      this.refuse('Ignored a picture (a value of the wrong type)');
      return;
    }
    this.picture = picture;
    this.hasBase = true;
    this.awaitingWhole = false;
  }

  change(message) {
    if (this.awaitingWhole) return;
    const result = this.hasBase ? applyPictureChange(this.picture, message) : 'no previous picture';
    if (typeof result !== 'string') {
      this.picture = result;
      return;
    }
    this.refuse(`Ignored a picture change (${result})`);
  }

  // The picture drawn stays; the host is asked for a whole one, which every later change needs.
  refuse(why) {
    if (!this.warned) this.handlers.warn(`${why}; asking for a whole picture`);
    this.warned = true;
    this.hasBase = false;
    this.awaitingWhole = true;
    this.handlers.requestWhole();
  }
}
