// The WebSocket to the host: one host message per WebSocket message, the LOGIN sent on every
// (re)connection with the seat of the last INIT, and a new attempt every second after a loss.
// While the page is hidden, a timer keeps the INPUT going.

const RECONNECT_EVERY_MS = 1000;
// A hidden page gets no animation frames, and with them would send nothing: the host would take
// its seat for abandoned. Browsers may slow this timer to once a second in a background tab.
export const HIDDEN_INPUT_EVERY_MS = 250;

export class Connection {
  // handlers: { message(text), lost() }; protocols: the WebSocket subprotocols to ask for
  constructor(url, handlers, protocols = []) {
    this.url = url;
    this.protocols = protocols;
    this.handlers = handlers;
    this.socket = null;
    this.retryTimer = null;
  }

  open(loginText) {
    this.loginText = loginText; // a function: the LOGIN for this attempt
    this.connect();
  }

  connect() {
    this.retryTimer = null;
    const socket = new WebSocket(this.url, this.protocols);
    this.socket = socket;
    socket.onopen = () => {
      socket.send(this.loginText());
    };
    socket.onmessage = (event) => {
      if (typeof event.data === 'string') this.handlers.message(event.data);
    };
    socket.onclose = () => {
      if (this.socket !== socket) return;
      this.socket = null;
      this.handlers.lost();
      this.retryTimer = setTimeout(() => this.connect(), RECONNECT_EVERY_MS);
    };
  }

  isOpen() {
    return this.socket !== null && this.socket.readyState === WebSocket.OPEN;
  }

  // A browser that cannot keep its own queue short is behind: it skips sending rather than
  // piling up inputs the host would read late.
  send(text) {
    if (this.isOpen() && this.socket.bufferedAmount < 1 << 20) this.socket.send(text);
  }
}

// Calls `send` every `everyMs` while `doc` is hidden (the page's frame loop does it otherwise).
// Returns a function that stops it.
export function sendWhileHidden(doc, send, everyMs = HIDDEN_INPUT_EVERY_MS) {
  let timer = null;
  const follow = () => {
    if (doc.hidden && timer === null) timer = setInterval(send, everyMs);
    else if (!doc.hidden && timer !== null) {
      clearInterval(timer);
      timer = null;
    }
  };
  doc.addEventListener('visibilitychange', follow);
  follow();
  return () => {
    doc.removeEventListener('visibilitychange', follow);
    if (timer !== null) clearInterval(timer);
    timer = null;
  };
}
