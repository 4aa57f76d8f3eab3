// The microphone's audio thread: the render quanta of the captured sound (128 frames each)
// gathered into blocks of about 20 ms, one channel, each posted to the page with the frame of
// its first sample on the audio clock (the buffer transferred, not copied). Blocks are
// contiguous: a quantum without input ends the block it interrupts.
/* global AudioWorkletProcessor, currentFrame, sampleRate, registerProcessor */

/// Gathers quanta into blocks of `frames` samples; `post(samples, firstFrame)` gets each block
/// when it is full, or shorter when the sound it holds stops being contiguous.
export class BlockGatherer {
  constructor(frames, post) {
    this.frames = Math.max(1, Math.round(frames));
    this.post = post;
    this.block = new Float32Array(this.frames);
    this.filled = 0;
    this.first = 0;
  }

  /// One quantum from `frame` on: its channels (Float32Arrays of one length) mixed to one;
  /// no channels: nothing captured then.
  take(channels, frame) {
    if (!channels.length) return this.flush();
    if (this.filled && frame !== this.first + this.filled) this.flush();
    const length = channels[0].length;
    const scale = 1 / channels.length;
    for (let i = 0; i < length; ++i) {
      if (this.filled === 0) this.first = frame + i;
      let sum = 0;
      for (const channel of channels) sum += channel[i];
      this.block[this.filled++] = sum * scale;
      if (this.filled === this.frames) this.flush();
    }
  }

  /// Posts what is gathered, if anything.
  flush() {
    if (!this.filled) return;
    const block = this.filled === this.frames ? this.block : this.block.slice(0, this.filled);
    this.post(block, this.first);
    this.block = new Float32Array(this.frames);  // the one posted went to the page
    this.filled = 0;
  }
}

if (typeof registerProcessor === 'function') {
  class MicrophoneTap extends AudioWorkletProcessor {
    constructor(options) {
      super();
      const seconds = options.processorOptions.blockSeconds;
      this.gatherer = new BlockGatherer(sampleRate * seconds, (samples, frame) =>
        this.port.postMessage({samples, frame}, [samples.buffer]));
      this.running = true;
      this.port.onmessage = (e) => {
        if (e.data === 'stop') this.running = false;
      };
    }

    process(inputs) {
      if (!this.running) return false;
      this.gatherer.take(inputs[0] || [], currentFrame);
      return true;
    }
  }
  registerProcessor('tastrello-microphone', MicrophoneTap);
}
