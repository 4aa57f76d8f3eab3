// The window object in its WebAssembly module, as the page uses it: events in, and after each
// the changes to draw, the requests to answer and the moment to wake up.

export const EventKind = {Click: 0, Row: 1, Text: 2, Value: 3, Choose: 4, KeyDown: 5, KeyUp: 6, Midi: 7, Tick: 8, Answer: 9, Leave: 10, KeyLayout: 11, Ports: 12, Sound: 13};
export const RequestKind = {OpenFile: 0, SaveFile: 1, ChooseOne: 2, SaveTablature: 3, OpenMidiInput: 4, OpenSoundInput: 5, CloseSoundInput: 6};

/// Starts the window object. `module`: the module made by createTastrello; `world`: the page's
/// services (now, localTime, send, silence, leadSeconds, writeFile, chooseOutput, midiInputs,
/// midiOutputs, audioReport); `files`: the working folder, a Map of path to bytes.
export function startWindow(module, world, files) {
  const window = new module.Window(world);
  for (const [path, bytes] of files) window.putFile(path, bytes);
  window.start();
  return new WindowObject(module, window);
}

export class WindowObject {
  constructor(module, window) {
    this.module = module;
    this.window = window;
    this.table = JSON.parse(module.controlTable());
  }
  /// Sends one event ({kind, control, index, text, bytes, repeat, word, request, cancelled, at});
  /// `at`: when a key went down or up, in seconds of the page's clock (left out: now).
  /// Returns {taken, ahead, changes, window, requests, wake, now}.
  send(e) {
    const json = this.window.dispatch(e.kind, e.control || '', e.index || 0, e.text || '', e.bytes || null,
                                      !!e.repeat, (e.word || 0) >>> 0, e.request || 0, !!e.cancelled,
                                      e.at ?? -1);
    return JSON.parse(json);
  }
  /// A block of the microphone's sound: `samples` (a Float32Array, one channel) captured at
  /// `sampleRate` from `at` on the page's clock. Returns what send returns.
  sound(samples, sampleRate, at) {
    return JSON.parse(this.window.sound(samples, sampleRate, at));
  }
  /// What changed since the last look, without an event (the first drawing).
  update() {
    return JSON.parse(this.window.update(true));
  }
  click(control, index = 0) {
    return this.send({kind: EventKind.Click, control, index});
  }
  tick() {
    return this.send({kind: EventKind.Tick});
  }
  requestBytes(id) {
    return this.window.takeRequestBytes(id);
  }
  /// A page of the tablature the last update described, as SVG text.
  tablaturePage(i) {
    return this.window.tablaturePage(i);
  }
  /// Every page of the tablature in one SVG document, as the desktop saves it.
  tablatureDocument() {
    return this.window.tablatureDocument();
  }
  claimsKey(name) {
    return this.window.claimsKey(name);
  }
}
