// The page: a name field and a Join button, then the game on a canvas filling the page. The
// game's files load in the background from the start, again and again until they come; Join
// waits for them, and pressing it again after a failure tries again at once. A tab that holds a
// seat (reloaded, or restored) joins by itself under the seat's name.
import { loadAssets } from './assets.js';
import { DoorView } from './door_view.js';
import { Game } from './game.js';
import { Retrying } from './retrying.js';
import { RulesPanel } from './rules.js';
import { keptSeatName, tabStorage } from './seat.js';
import { Sound } from './sound.js';
import { setUpTouchSetting } from './touch_controls.js';

const NAME_KEY = 'cogwell-name';

const form = document.getElementById('join');
const nameField = document.getElementById('name');
const button = document.getElementById('join-button');
const status = document.getElementById('join-status');
const canvas = document.getElementById('game');

nameField.value = localStorage.getItem(NAME_KEY) ?? '';
button.disabled = false; // the page's own code is here: Join works from now on
setUpTouchSetting(document.getElementById('touch-setting'));
const rules = new RulesPanel(document);
const door = new DoorView(document);
let waiting = false; // Join was pressed and the files have not come yet
let started = false;
const assets = new Retrying(loadAssets, {
  failed: (error) => {
    if (!waiting) return;
    status.textContent = `Could not load the game: ${error.message} - trying again...`;
    button.disabled = false;
  },
});

async function join(name) {
  if (!name || started) return;
  localStorage.setItem(NAME_KEY, name);
  button.disabled = true;
  status.textContent = 'Loading...';
  waiting = true;
  assets.retryNow();
  const loaded = await assets.result();
  if (started) return; // Join pressed twice while loading: the first press starts the game
  started = true;
  // Created inside the click when the files were already there, so the browser lets it play;
  // otherwise the first touch or key on the game lets it.
  const sound = new Sound(loaded.sounds);
  form.hidden = true;
  canvas.hidden = false;
  canvas.focus();
  const game = new Game(canvas, loaded, sound, name);
  game.start();
  rules.onOpen = () => game.keys.releaseAll();
  game.keysWanted = () => !rules.isOpen();
  // The on-screen keys carry their own "?"; a desktop gets one in the corner.
  document.getElementById('help-button').hidden = game.touch !== undefined;
  door.gameStarted(game, canvas);
}

form.addEventListener('submit', (event) => {
  event.preventDefault();
  join(nameField.value.trim());
});

// On a room's page, once the door has said the room is there.
door.whenJoinable(() => {
  const keptName = keptSeatName(tabStorage());
  if (keptName) {
    nameField.value = keptName;
    join(keptName);
  }
});
