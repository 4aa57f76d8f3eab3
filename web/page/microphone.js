// The page's microphone: the browser's sound input (getUserMedia, without the echo
// cancellation, noise suppression and gain control meant for speech, which would eat an
// accordion's chords) in an audio context of its own, gathered by mic-worklet.js into blocks
// of about 20 ms and handed on with the moment each block's first sample was captured, on the
// page's clock (seconds of performance.now(), the clock of the keys' and MIDI's stamps).
// `mediaDevices` and `AudioContextClass` are the browser's; tests hand in stand-ins. Reasons
// are given as folder.js's `why` gives them, for the page to say in the learner's language.
import {why} from './folder.js';
import {ClockMap, pageSeconds} from './synth.js';

/// How much sound goes to the window object at a time: often enough for a verdict to come in
/// time, seldom enough that the window is not drawn for every quantum.
export const kBlockSeconds = 0.02;

/// The capture's constraints: the sound as the microphone hears it; a source chosen by its id.
export function captureConstraints(source) {
  const audio = {echoCancellation: false, noiseSuppression: false, autoGainControl: false, channelCount: 1};
  if (source) audio.deviceId = {exact: source};
  return {audio, video: false};
}

/// Why the browser gave no microphone, from the error getUserMedia rejected with.
export function whyRefused(error) {
  const words = `${error && error.name ? error.name : 'Error'}: ${error && error.message ? error.message : String(error)}`;
  if (error && (error.name === 'NotAllowedError' || error.name === 'SecurityError')) return why('WebMicrophoneRefused', words);
  if (error && (error.name === 'NotFoundError' || error.name === 'OverconstrainedError')) return why('WebMicrophoneMissing', words);
  return words;
}

export class Microphone {
  /// `onBlock(samples, sampleRate, at)` gets each block: a Float32Array, the context's rate,
  /// the moment its first sample was captured.
  constructor(onBlock, {base = '.', mediaDevices = globalThis.navigator && navigator.mediaDevices,
                        AudioContextClass = globalThis.AudioContext} = {}) {
    this.onBlock = onBlock;
    this.base = base;
    this.mediaDevices = mediaDevices;
    this.AudioContextClass = AudioContextClass;
    this.capture = null;  // {stream, context, source, node}
    this.opened = 0;      // counts the opens: an open overtaken by a later one or a close gives up
    this.clock = new ClockMap();
    this.inputLatency = 0;
    this.blocks = 0;  // how many blocks went out, and the moment of the last: for the tests
    this.lastAt = -1;
  }

  get open() {
    return this.capture !== null;
  }

  /// Captures the source of that id ("" for the browser's default microphone): resolves to ""
  /// or why not. Whatever was captured before stops first.
  async start(source) {
    this.stop();
    const mine = ++this.opened;
    if (!this.mediaDevices || !this.mediaDevices.getUserMedia || !this.AudioContextClass) return why('WebNoMicrophone');
    let stream;
    try {
      stream = await this.mediaDevices.getUserMedia(captureConstraints(source));
    } catch (error) {
      return mine === this.opened ? whyRefused(error) : '';
    }
    const capture = {stream, context: null, source: null, node: null};
    try {
      if (mine !== this.opened) return '';
      await this.connect(capture);
      if (mine !== this.opened) return '';
      this.capture = capture;
      return '';
    } catch (error) {
      return mine === this.opened ? String(error && error.message ? error.message : error) : '';
    } finally {
      if (this.capture !== capture) release(capture);
    }
  }

  /// The stream through the gathering worklet in a context of its own.
  async connect(capture) {
    const context = new this.AudioContextClass({latencyHint: 'interactive'});
    capture.context = context;
    if (!context.audioWorklet) throw new Error('This browser has no AudioWorklet.');
    await context.audioWorklet.addModule(`${this.base}/page/mic-worklet.js`);
    capture.source = context.createMediaStreamSource(capture.stream);
    capture.node = new AudioWorkletNode(context, 'tastrello-microphone', {
      numberOfInputs: 1, numberOfOutputs: 1, outputChannelCount: [1],
      processorOptions: {blockSeconds: kBlockSeconds},
    });
    capture.node.port.onmessage = (e) => this.take(capture, e.data.samples, e.data.frame);
    capture.source.connect(capture.node);
    capture.node.connect(context.destination);  // pulled by the graph; it passes on silence
    const [track] = capture.stream.getAudioTracks();
    const settings = track && track.getSettings ? track.getSettings() : {};
    this.inputLatency = Number.isFinite(settings.latency) ? settings.latency : 0;
    this.clock = new ClockMap();
    // Without a gesture of the learner's yet the context waits; the page resumes it at the first.
    context.resume().catch(() => {});
  }

  /// A block from the worklet, to the page with its moment.
  take(capture, samples, frame) {
    if (this.capture !== capture) return;  // let go meanwhile
    this.syncClock(capture.context);
    // The frame is rendered at its moment on the audio clock, mapped to the page's clock. Its
    // sound was captured earlier by the input's latency, as far as the browser states it (the
    // track's `latency`; Chromium states it, most others do not). Not included: what the
    // system's driver and the device buffer beyond that; the microphone's calibration by
    // clicks measures the rest and the window object takes it out.
    const at = this.clock.pageTime(frame / capture.context.sampleRate) - this.inputLatency;
    this.blocks += 1;
    this.lastAt = at;
    this.onBlock(samples, capture.context.sampleRate, at);
  }

  /// A reading of the audio clock against the page's: the output timestamp says when a
  /// context time is heard; it was rendered the output's latency before. Without one, the
  /// context time now is being rendered now.
  syncClock(context) {
    const stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
    if (stamp && stamp.performanceTime > 0) {
      const outputLatency = (context.outputLatency || 0) + (context.baseLatency || 0);
      this.clock.observe(stamp.contextTime, stamp.performanceTime / 1000 - outputLatency);
    } else {
      this.clock.observe(context.currentTime, pageSeconds());
    }
  }

  /// A gesture of the learner's: a context that waited for one runs.
  resume() {
    if (this.capture && this.capture.context.state !== 'running') this.capture.context.resume().catch(() => {});
  }

  /// Stops capturing: the tracks stop (the browser's "recording" mark goes), the graph is let go.
  stop() {
    ++this.opened;
    const capture = this.capture;
    this.capture = null;
    if (capture) release(capture);
  }
}

function release(capture) {
  for (const track of capture.stream.getTracks()) track.stop();
  if (capture.node) {
    capture.node.port.onmessage = null;
    capture.node.port.postMessage('stop');
    capture.node.disconnect();
  }
  if (capture.source) capture.source.disconnect();
  if (capture.context) capture.context.close().catch(() => {});
}
