// The synthesizer's audio thread: FluidSynth (js-synthesizer, loaded into this scope before)
// rendering the page's MIDI messages, each from its frame on the audio clock, so that a busy
// page does not move a note that was handed over ahead of its moment. A second processor taps
// the sound for the tests and the benchmark.
/* global AudioWorkletGlobalScope, currentFrame, sampleRate, registerProcessor */

const JSSynth = AudioWorkletGlobalScope.JSSynth;

/// Applies one packed short message (status | data1 << 8 | data2 << 16) to the synthesizer.
function apply(synth, word) {
  const status = word & 0xff;
  const data1 = (word >>> 8) & 0x7f;
  const data2 = (word >>> 16) & 0x7f;
  const channel = status & 0x0f;
  switch (status & 0xf0) {
    case 0x90:
      if (data2 > 0) synth.midiNoteOn(channel, data1, data2);
      else synth.midiNoteOff(channel, data1);
      break;
    case 0x80:
      synth.midiNoteOff(channel, data1);
      break;
    case 0xa0:
      synth.midiKeyPressure(channel, data1, data2);
      break;
    case 0xb0:
      synth.midiControl(channel, data1, data2);
      break;
    case 0xc0:
      synth.midiProgramChange(channel, data1);
      break;
    case 0xd0:
      synth.midiChannelPressure(channel, data1);
      break;
    case 0xe0:
      synth.midiPitchBend(channel, data1 | (data2 << 7));
      break;
    default:
      break;  // system messages: the synthesizer takes none
  }
}

class SynthProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.synth = new JSSynth.Synthesizer();
    // Reverb and chorus tails would outlast the reset that must silence everything; the gain
    // puts a held four-note accordion chord well below clipping.
    this.synth.init(sampleRate, {reverbActive: false, chorusActive: false});
    this.synth.setGain((options.processorOptions && options.processorOptions.gain) || 1.2);
    this.frames = [];  // the queue, sorted by frame
    this.words = [];
    this.ready = false;
    this.port.onmessage = (e) => this.take(e.data);
  }

  take(m) {
    if (m.type === 'soundfonts') {
      // One after the other, in their order: a font loaded later is searched first.
      m.fonts.reduce((loaded, bytes) => loaded.then(() => this.synth.loadSFont(bytes)), Promise.resolve()).then(
          () => {
            this.ready = true;
            this.port.postMessage({type: 'ready', frame: currentFrame});
          },
          (error) => this.port.postMessage({type: 'failed', why: String(error)}));
    } else if (m.type === 'midi') {
      for (let i = 0; i < m.words.length; ++i) this.queue(m.frames[i], m.words[i]);
    } else if (m.type === 'silence') {
      // Everything queued is dropped and every voice stops at once.
      this.frames.length = 0;
      this.words.length = 0;
      for (let channel = 0; channel < 16; ++channel) this.synth.midiAllSoundsOff(channel);
    } else if (m.type === 'ping') {
      this.port.postMessage({type: 'pong', id: m.id, frame: currentFrame});
    }
  }

  queue(frame, word) {
    // After every message of the same frame, so that messages keep their order.
    let low = 0;
    let high = this.frames.length;
    while (low < high) {
      const mid = (low + high) >> 1;
      if (this.frames[mid] <= frame) low = mid + 1;
      else high = mid;
    }
    this.frames.splice(low, 0, frame);
    this.words.splice(low, 0, word);
  }

  render(left, right, from, to) {
    if (to <= from) return;
    if (!this.ready) {
      left.fill(0, from, to);
      right.fill(0, from, to);
      return;
    }
    this.synth.render([left.subarray(from, to), right.subarray(from, to)]);
  }

  process(inputs, outputs) {
    const out = outputs[0];
    const left = out[0];
    const right = out.length > 1 ? out[1] : new Float32Array(left.length);
    const end = currentFrame + left.length;
    let done = 0;
    while (this.frames.length && this.frames[0] < end) {
      const at = Math.max(0, this.frames[0] - currentFrame);
      this.render(left, right, done, at);
      done = Math.max(done, at);
      const word = this.words[0];
      this.frames.shift();
      this.words.shift();
      if (this.ready) apply(this.synth, word);
    }
    this.render(left, right, done, left.length);
    return true;
  }
}

/// Keeps what reaches it (the first channel) with the frame it began at, for a test or the
/// benchmark to measure; passes nothing on.
class TapProcessor extends AudioWorkletProcessor {
  constructor() {
    super();
    this.chunks = [];
    this.recording = false;
    this.start = 0;
    this.port.onmessage = (e) => {
      if (e.data.type === 'start') {
        this.chunks = [];
        this.recording = true;
        this.start = -1;
      } else if (e.data.type === 'stop') {
        this.recording = false;
        const length = this.chunks.reduce((n, c) => n + c.length, 0);
        const samples = new Float32Array(length);
        let at = 0;
        for (const c of this.chunks) samples.set(c, at), at += c.length;
        this.chunks = [];
        this.port.postMessage({type: 'recorded', start: this.start, sampleRate, samples},
                              [samples.buffer]);
      }
    };
  }

  process(inputs) {
    if (this.recording) {
      const input = inputs[0];
      if (this.start < 0) this.start = currentFrame;
      this.chunks.push(input.length ? new Float32Array(input[0]) : new Float32Array(128));
    }
    return true;
  }
}

registerProcessor('tastrello-synth', SynthProcessor);
registerProcessor('tastrello-tap', TapProcessor);
