// The page's built-in synthesizer: FluidSynth in an AudioWorklet with the shipped General MIDI
// SoundFont and the program's reed SoundFont over it (its accordions and the left hand's reeds,
// in tune, take the place of the General MIDI font's presets of the same numbers).
// `send(word, at)` places a message at `at` on the page's clock (seconds of
// performance.now()); the worklet plays it from that frame of the audio clock, so that replay
// handed over `leadSeconds` ahead keeps its grid however busy the page is.

/// How long before its moment a message may be handed over: more than a busy page's stall,
/// little enough that a stop or a change of tempo is heard soon.
export const kLeadSeconds = 0.2;

/// The page's clock in seconds: the scale of every `at`.
export function pageSeconds() {
  return performance.now() / 1000;
}

/// Maps the page's clock to the audio clock from pairs of readings (AudioContext's output
/// timestamp). The offset is taken once and then only nudged, so that the jitter of single
/// readings never moves a note; a jump (the context suspended and resumed) is taken whole.
export class ClockMap {
  constructor() {
    this.offset = null;
  }
  /// A reading: the context time `contextTime` sounds at page time `pageTime` (seconds).
  observe(contextTime, pageTime) {
    const offset = contextTime - pageTime;
    if (this.offset === null || Math.abs(offset - this.offset) > 0.05) this.offset = offset;
    else this.offset += (offset - this.offset) * 0.01;
  }
  /// The context time at which something meant for page time `pageTime` is to be rendered.
  contextTime(pageTime) {
    return pageTime + (this.offset ?? 0);
  }
  /// The page time of context time `contextTime`: the other way round.
  pageTime(contextTime) {
    return contextTime - (this.offset ?? 0);
  }
}

export class Synth {
  /// `base`: the folder of the site's files. `AudioContextClass` and `fetchBytes` are
  /// replaced only by tests.
  /// `soundFonts`: loaded in this order, so that a later font's presets win.
  constructor({base = '.', soundFonts = ['sound/TimGM6mb.sf2', 'sound/tastrello-reeds.sf2'],
               gain = 1.2, AudioContextClass = globalThis.AudioContext,
               fetchBytes = defaultFetch} = {}) {
    this.base = base;
    this.soundFontPaths = soundFonts;
    this.gain = gain;
    this.AudioContextClass = AudioContextClass;
    this.fetchBytes = fetchBytes;
    this.context = null;
    this.node = null;
    this.clock = new ClockMap();
    this.problem = '';
    this.readyAt = 0;
    this.opening = null;
  }

  get leadSeconds() {
    return kLeadSeconds;
  }

  get running() {
    return this.node !== null && this.problem === '';
  }

  /// Starts the sound: the audio context (a browser lets it run only after a user gesture),
  /// the worklet and the SoundFont. Resolves to "" or the reason it could not start.
  open() {
    if (!this.opening) this.opening = this.start().catch((error) => {
      this.problem = String(error && error.message ? error.message : error);
      this.node = null;
      return this.problem;
    });
    return this.opening;
  }

  async start() {
    if (!this.AudioContextClass) throw new Error('This browser has no Web Audio.');
    const context = new this.AudioContextClass({latencyHint: 'interactive'});
    this.context = context;
    if (!context.audioWorklet) throw new Error('This browser has no AudioWorklet.');
    const fontBytes = Promise.all(this.soundFontPaths.map((p) => this.fetchBytes(`${this.base}/${p}`)));
    for (const script of ['vendor/libfluidsynth-2.4.6.js', 'vendor/js-synthesizer.worklet.min.js',
                          'page/synth-worklet.js'])
      await context.audioWorklet.addModule(`${this.base}/${script}`);
    const node = new AudioWorkletNode(context, 'tastrello-synth', {
      numberOfInputs: 0,
      outputChannelCount: [2],
      processorOptions: {gain: this.gain},
    });
    node.connect(context.destination);
    const fonts = await fontBytes;
    await new Promise((resolve, reject) => {
      node.port.onmessage = (e) => {
        if (e.data.type === 'ready') resolve();
        else if (e.data.type === 'failed') reject(new Error(`The SoundFont was refused: ${e.data.why}`));
      };
      node.port.postMessage({type: 'soundfonts', fonts}, fonts);
    });
    node.port.onmessage = null;
    if (context.state !== 'running') await context.resume();
    this.node = node;
    this.syncClock();
    this.readyAt = pageSeconds();
    return '';
  }

  /// Takes a fresh reading of the two clocks.
  syncClock() {
    const c = this.context;
    if (!c) return;
    const stamp = c.getOutputTimestamp ? c.getOutputTimestamp() : null;
    if (stamp && stamp.performanceTime > 0) this.clock.observe(stamp.contextTime, stamp.performanceTime / 1000);
    else this.clock.observe(c.currentTime, pageSeconds());
  }

  /// Plays one packed message (status | data1 << 8 | data2 << 16) at `at` on the page's clock;
  /// 0, or a moment already past, plays it at once.
  send(word, at = 0) {
    this.sendMany([word], at);
  }

  sendMany(words, at = 0) {
    if (!this.node) return;
    this.syncClock();
    const frame = at > 0 ? Math.round(this.clock.contextTime(at) * this.context.sampleRate) : 0;
    this.node.port.postMessage({type: 'midi', words, frames: words.map(() => frame)});
  }

  /// Silences everything at once and drops what was handed over ahead (a device reset).
  silence() {
    if (this.node) this.node.port.postMessage({type: 'silence'});
  }

  /// Stops the sound and lets the audio context go.
  async close() {
    this.silence();
    const context = this.context;
    this.node = null;
    this.context = null;
    this.opening = null;
    if (context) await context.close();
  }

  /// What the sound output says of itself (the desktop's audio report).
  report() {
    const c = this.context;
    const latency = c ? (c.outputLatency || 0) + (c.baseLatency || 0) : 0;
    return {
      running: this.running,
      driver: this.running ? 'web audio' : '',
      soundFont: this.soundFontPaths.map((p) => p.split('/').pop()).join(' + '),
      problem: this.problem,
      bufferFrames: 128,
      sampleRate: c ? c.sampleRate : 0,
      latencyMs: latency * 1000,
      underruns: 0,
    };
  }
}

async function defaultFetch(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status} ${response.statusText}`);
  return response.arrayBuffer();
}

/// Records what the synthesizer sends to the output (its first channel), for the tests and the
/// benchmark: `start()`, then `stop()` resolves to {start (the first frame), sampleRate,
/// samples}.
export function tapOutput(synth) {
  const tap = new AudioWorkletNode(synth.context, 'tastrello-tap', {numberOfInputs: 1, numberOfOutputs: 1});
  synth.node.connect(tap);
  tap.connect(synth.context.destination);  // pulled by the graph; it passes nothing on
  return {
    start() {
      tap.port.postMessage({type: 'start'});
    },
    stop() {
      return new Promise((resolve) => {
        tap.port.onmessage = (e) => resolve(e.data);
        tap.port.postMessage({type: 'stop'});
      });
    },
  };
}
