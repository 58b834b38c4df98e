// The speakers: one looping music voice and any number of effects, from the exported sounds.
// Browsers only start audio after a user gesture; the Join button is one.

export class Sound {
  constructor(sounds) {
    this.context = new AudioContext();
    this.buffers = new Map(); // id -> {buffer, music}
    this.music = null;        // {source, gain} of the playing tune
    this.ready = Promise.all(sounds.map(async (s) => {
      const data = await (await fetch(s.url)).arrayBuffer();
      this.buffers.set(s.id, { buffer: await this.context.decodeAudioData(data), music: s.music });
    })).catch(() => {}); // a sound that cannot be loaded is simply not heard
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
