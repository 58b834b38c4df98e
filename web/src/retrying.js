// A load that is tried again after each failure, waiting longer each time (with a random share,
// so that a household's devices refused together do not all come back together), or at once when
// the player asks. The result is a promise that never rejects: it waits for the first success.

export const FIRST_RETRY_MS = 500;
export const LONGEST_RETRY_MS = 8000;

// How long to wait after the given number of failures in a row (1 or more); `random` in [0, 1).
export function retryDelayMs(failures, random) {
  const longest = Math.min(FIRST_RETRY_MS * 2 ** (failures - 1), LONGEST_RETRY_MS);
  return Math.round(longest * (0.5 + 0.5 * random));
}

export class Retrying {
  // attempt(): a promise of the result. failed(error, delayMs): told of each failure.
  constructor(attempt, { failed = () => {}, timers = globalThis, random = Math.random } = {}) {
    this.attempt = attempt;
    this.failed = failed;
    this.timers = timers;
    this.random = random;
    this.failures = 0;
    this.timer = null; // the retry waiting for its time
    this.done = false;
    this.promise = new Promise((resolve) => { this.resolve = resolve; });
    this.run();
  }

  result() {
    return this.promise;
  }

  // A retry waiting for its time starts now; nothing happens while an attempt runs or after success.
  retryNow() {
    if (this.timer === null) return;
    this.timers.clearTimeout(this.timer);
    this.run();
  }

  run() {
    this.timer = null;
    let started;
    try {
      started = Promise.resolve(this.attempt());
    } catch (error) {
      started = Promise.reject(error);
    }
    started.then((value) => {
      this.done = true;
      this.resolve(value);
    }, (error) => {
      this.failures++;
      const delay = retryDelayMs(this.failures, this.random());
      this.timer = this.timers.setTimeout(() => this.run(), delay);
      this.failed(error, delay);
    });
  }
}
