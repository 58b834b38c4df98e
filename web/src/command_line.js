// The in-game command line: a text field whose line goes to the host as a SETTINGS_COMMAND.

const COMMAND_LINE_MAX = 200; // bytes; commands are a few short words
const encoder = new TextEncoder();

export class CommandLine {
  constructor() {
    this.isOpen = false;
    this.text = '';
  }

  open() {
    this.isOpen = true;
    this.text = '';
  }

  close() {
    this.isOpen = false;
    this.text = '';
  }

  type(chars) {
    if (encoder.encode(this.text + chars).length <= COMMAND_LINE_MAX) this.text += chars;
  }

  // Removes the last whole character, surrogate pairs included.
  erase() {
    const chars = Array.from(this.text);
    chars.pop();
    this.text = chars.join('');
  }

  // The line to send ('' when there is nothing to send); closes the field. The host splits on
  // single spaces, so the ends are trimmed.
  submit() {
    const line = this.text.replace(/^ +| +$/g, '');
    this.close();
    return line;
  }
}
