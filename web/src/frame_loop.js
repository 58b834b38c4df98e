// The page's frame loop: the next frame is asked for before this one runs, so that nothing a
// frame meets, however it fails, stops the game; a failing frame is reported once, not 60 times
// a second.

// schedule(callback): e.g. requestAnimationFrame; step(): one frame's work; warn(text).
export function runFrames(schedule, step, warn) {
  let warned = false;
  const frame = () => {
    schedule(frame);
    try {
      step();
    } catch (error) {
      if (!warned) warn(`A frame failed (${error?.message ?? error}); going on with the next`);
      warned = true;
    }
  };
  schedule(frame);
}
