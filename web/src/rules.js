// The "How to play" panel: opened by any button marked to open it (on the join form, "?" in the
// game, the on-screen "?"), closed by its Close button or Escape. While it is open the game gets
// no keys: Escape, caught before the game sees it, only closes the panel.

export class RulesPanel {
  constructor(doc) {
    this.doc = doc;
    this.panel = doc.getElementById('rules');
    this.onOpen = () => {}; // the game lets go of its held keys
    for (const button of doc.querySelectorAll('.opens-rules')) button.addEventListener('click', () => this.open());
    doc.getElementById('rules-close').addEventListener('click', () => this.close());
    doc.defaultView.addEventListener('keydown', (e) => {
      if (!this.isOpen() || e.key !== 'Escape') return;
      e.preventDefault();
      e.stopPropagation();
      this.close();
    }, { capture: true });
  }

  isOpen() {
    return !this.panel.hidden;
  }

  open() {
    this.panel.hidden = false;
    this.panel.scrollTop = 0;
    this.onOpen();
    this.doc.getElementById('rules-close').focus({ preventScroll: true });
  }

  close() {
    this.panel.hidden = true;
    const game = this.doc.getElementById('game');
    if (!game.hidden) game.focus();
  }
}
