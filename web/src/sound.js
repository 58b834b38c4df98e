// The speakers: one looping music voice and any number of effects, from the exported sounds (one
// file of WAV files back to back, fetched again until it comes). Browsers only start audio after a
// user gesture; the Join button is one.
import { Retrying } from './retrying.js';

async function fetchBytes(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`cannot load ${url}`);
  return response.arrayBuffer();
}

export class Sound {
  // sounds: { bundle: url, list: [{id, offset, length, music}] }
  constructor(sounds) {
    this.context = new AudioContext();
    this.buffers = new Map(); // id -> {buffer, music}
    this.music = null;        // {source, gain} of the playing tune
    this.ready = new Retrying(() => fetchBytes(sounds.bundle)).result().then((bytes) => Promise.all(
      sounds.list.map(async (s) => {
        const data = bytes.slice(s.offset, s.offset + s.length);
        this.buffers.set(s.id, { buffer: await this.context.decodeAudioData(data), music: s.music });
      }),
    )).catch(() => {}); // a sound that cannot be decoded is simply not heard
  }

  resume() {
    if (this.context.state === 'suspended') this.context.resume();
  }

  play(id, volume) {
    const sound = this.buffers.get(id);
    if (!sound) return;
    const source = this.context.createBufferSource();
    source.buffer = sound.buffer;
    source.loop = sound.music;
    const gain = this.context.createGain();
    gain.gain.value = Math.min(Math.max(volume, 0), 1);
    source.connect(gain).connect(this.context.destination);
    if (sound.music) {
      this.stopMusic();
      this.music = source;
    }
    source.start();
  }

  stopMusic() {
    if (!this.music) return;
    this.music.stop();
    this.music = null;
  }
}
