// The page as a door serves it: at "/" a start view (New room, or Join with a code) in place of
// the join form; at "/r/CODE" the room's join form once the door knows the room, with the room's
// code, link and QR code beside it and, in the lobby, beside the game. A page a single host
// serves (no "/door.json" there) stays as it was.
import { RoomShare } from './room_share.js';
import { NETWORK_FAILURE, newRoomRefusal, noRoomText, roomOfPath, typedCode } from './room_path.js';
import { fitWorld, WORLD_H, WORLD_W } from './viewport.js';

const RETRY_MS = 2000;       // after the door could not be reached
const LOBBY_CHECK_MS = 500;  // how often the game's picture is looked at for the lobby
const LOBBY_TITLE = 'WAITING FOR PLAYERS';

export class DoorView {
  constructor(doc) {
    this.doc = doc;
    this.form = doc.getElementById('join');
    this.view = doc.getElementById('door');
    this.status = doc.getElementById('door-status');
    this.share = null;
    this.joinable = null; // called once the page may join its room
    this.ready = false;
    doc.getElementById('new-room').addEventListener('click', () => this.newRoom());
    doc.getElementById('code-form').addEventListener('submit', (event) => {
      event.preventDefault();
      this.joinCode(doc.getElementById('room-code').value);
    });
    // A room entered without reloading the page is left the same way back: the page starts over.
    doc.defaultView.addEventListener('popstate', () => doc.location.reload());
    const room = roomOfPath(doc.location.pathname);
    if (room) this.enterRoom(room);
    else {
      this.ready = true;
      this.askIfDoor();
    }
  }

  // Calls `then` once the page may join (at once on a single host's page).
  whenJoinable(then) {
    if (this.ready) then();
    else this.joinable = then;
  }

  async askIfDoor() {
    try {
      const answer = await fetch('/door.json', { cache: 'no-store' });
      if (answer.ok && (await answer.json()).door === true) this.showStart('');
    } catch {
      // No answer: a single host's page, as before.
    }
  }

  showStart(missingText) {
    this.form.hidden = true;
    this.view.hidden = false;
    const missing = this.doc.getElementById('door-missing');
    missing.textContent = missingText;
    missing.hidden = !missingText;
    this.doc.getElementById('code-form').hidden = Boolean(missingText);
  }

  async newRoom() {
    const button = this.doc.getElementById('new-room');
    button.disabled = true;
    this.status.textContent = 'Making a room...';
    try {
      const answer = await fetch('/rooms', { method: 'POST' });
      const body = answer.status === 201 ? await answer.json() : null;
      const code = typedCode(body?.code);
      if (!code) {
        this.status.textContent = newRoomRefusal(answer.status);
        return;
      }
      this.status.textContent = '';
      this.go(code);
    } catch {
      this.status.textContent = NETWORK_FAILURE;
    } finally {
      button.disabled = false;
    }
  }

  joinCode(text) {
    const code = typedCode(text);
    if (!code) {
      this.status.textContent = 'A code is four letters.';
      return;
    }
    this.go(code);
  }

  go(code) {
    this.doc.defaultView.history.pushState(null, '', `/r/${code}`);
    this.enterRoom(code);
  }

  // The room's join form when the door knows the room; "No room" and New room when it does not;
  // asked again while the door cannot be reached.
  async enterRoom(code) {
    this.form.hidden = true;
    this.view.hidden = true;
    let answer;
    try {
      answer = await fetch(`/rooms/${code}`, { cache: 'no-store' });
    } catch {
      this.showStart(`${NETWORK_FAILURE} Trying again...`);
      setTimeout(() => this.enterRoom(code), RETRY_MS);
      return;
    }
    if (answer.status === 404) return this.showStart(noRoomText(code));
    // Asking again would only keep the door refusing: the address has tried too many codes.
    if (answer.status === 429) return this.showStart('Too many room codes tried from your address - wait a minute, then try again.');
    if (!answer.ok) {
      this.showStart(`The door did not answer for room ${code} (${answer.status}) - trying again...`);
      setTimeout(() => this.enterRoom(code), RETRY_MS);
      return;
    }
    this.view.hidden = true;
    this.form.hidden = false;
    this.doc.title = `Cogwell - room ${code}`;
    this.share = new RoomShare(this.doc, code);
    this.share.place('form');
    this.ready = true;
    this.joinable?.();
    this.joinable = null;
  }

  // The game has started: the share panel shows beside the game while it is in the lobby.
  gameStarted(game, canvas) {
    if (!this.share) return;
    this.share.place('none');
    const follow = () => {
      const picture = game.picture;
      const inLobby = Array.isArray(picture) && picture.some((c) => c.text === LOBBY_TITLE);
      if (inLobby) this.share.placeBeside(pictureBox(canvas));
      else this.share.place('none');
    };
    setInterval(follow, LOBBY_CHECK_MS);
    this.doc.defaultView.addEventListener('resize', follow);
  }
}

// Where the game's world is drawn on the page, in CSS pixels.
function pictureBox(canvas) {
  const rect = canvas.getBoundingClientRect();
  const fit = fitWorld(rect.width, rect.height);
  return { left: rect.left + fit.offsetX, top: rect.top + fit.offsetY, width: WORLD_W * fit.scale, height: WORLD_H * fit.scale };
}
