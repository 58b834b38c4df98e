// The page: a name field and a Join button, then the game on a canvas filling the page.
import { loadAssets } from './assets.js';
import { Game } from './game.js';
import { Sound } from './sound.js';
import { setUpTouchSetting } from './touch_controls.js';

const NAME_KEY = 'cogwell-name';

const form = document.getElementById('join');
const nameField = document.getElementById('name');
const button = document.getElementById('join-button');
const status = document.getElementById('join-status');
const canvas = document.getElementById('game');

nameField.value = localStorage.getItem(NAME_KEY) ?? '';
setUpTouchSetting(document.getElementById('touch-setting'));
const assetsLoading = loadAssets();

form.addEventListener('submit', async (event) => {
  event.preventDefault();
  const name = nameField.value.trim();
  if (!name) return;
  localStorage.setItem(NAME_KEY, name);
  button.disabled = true;
  status.textContent = 'Loading...';
  let assets;
  try {
    assets = await assetsLoading;
  } catch (error) {
    status.textContent = `Could not load the game: ${error.message}`;
    button.disabled = false;
    return;
  }
  // Created inside the click, so the browser lets it play.
  const sound = new Sound(assets.sounds);
  form.hidden = true;
  canvas.hidden = false;
  canvas.focus();
  new Game(canvas, assets, sound, name).start();
});
