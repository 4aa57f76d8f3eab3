// The page's microphone without a browser: the worklet's gathering of render quanta into
// blocks, and the capture's start with a stand-in for the browser's media devices (refused,
// missing, let go while the browser was still asking).
import assert from 'node:assert/strict';
import {describe, it} from 'node:test';

import {BlockGatherer} from '../../page/mic-worklet.js';
import {Microphone} from '../../page/microphone.js';

/// A quantum of `channels` channels of 128 frames from `frame` on, each sample its own frame
/// number (times the channel's factor), so that where a sample lands says where it came from.
function quantum(frame, factors = [1]) {
  return factors.map((f) => Float32Array.from({length: 128}, (_, i) => (frame + i) * f));
}

function gather(frames) {
  const blocks = [];
  const gatherer = new BlockGatherer(frames, (samples, first) => blocks.push({first, samples: [...samples]}));
  return {gatherer, blocks};
}

describe('the worklet\'s blocks of the captured sound', () => {
  it('cuts quanta into whole blocks, across their borders, each marked with its first sample\'s frame', () => {
    // 20 ms at 48 kHz: 960 frames, seven and a half quanta.
    const {gatherer, blocks} = gather(960);
    const start = 5000;
    for (let q = 0; q < 30; ++q) gatherer.take(quantum(start + q * 128), start + q * 128);
    assert.equal(blocks.length, 4);  // 3840 frames; the 0 left over waits for more
    for (const [k, block] of blocks.entries()) {
      assert.equal(block.samples.length, 960);
      assert.equal(block.first, start + k * 960);
      assert.deepEqual(block.samples, Array.from({length: 960}, (_, i) => block.first + i));
    }
  });

  it('mixes the channels to one at the same scale', () => {
    const {gatherer, blocks} = gather(128);
    gatherer.take(quantum(0, [1, 3]), 0);
    assert.deepEqual(blocks[0].samples, Array.from({length: 128}, (_, i) => 2 * i));
  });

  it('ends a block where the sound stops being contiguous, and starts the next at the new frame', () => {
    const {gatherer, blocks} = gather(300);
    gatherer.take(quantum(0), 0);
    gatherer.take(quantum(128), 128);  // 256 gathered
    gatherer.take(quantum(1000), 1000);  // frames 256-999 never came
    gatherer.take([], 1128);  // nothing captured: what is gathered goes
    assert.deepEqual(blocks.map((b) => [b.first, b.samples.length]), [[0, 256], [1000, 128]]);
    assert.equal(blocks[1].samples[0], 1000);
  });

  it('hands over each block once: the next is gathered in a buffer of its own', () => {
    // The page takes the buffer over (transferred); the gatherer must not write into it again.
    const kept = [];
    const gatherer = new BlockGatherer(128, (samples) => kept.push(samples));
    gatherer.take(quantum(0), 0);
    gatherer.take(quantum(128), 128);
    assert.notEqual(kept[0].buffer, kept[1].buffer);
    assert.equal(kept[0][0], 0);
    assert.equal(kept[1][0], 128);
  });
});

/// A media stream whose tracks note when they are stopped.
function stream() {
  const tracks = [{stopped: false, stop() { this.stopped = true; }, getSettings: () => ({})}];
  return {tracks, getTracks: () => tracks, getAudioTracks: () => tracks};
}

describe('the capture\'s start', () => {
  it('asks for the sound as the microphone hears it, without the processing meant for speech', async () => {
    let asked = null;
    const mic = new Microphone(() => {}, {
      mediaDevices: {getUserMedia: async (constraints) => { asked = constraints; throw Object.assign(new Error('no'), {name: 'NotFoundError'}); }},
      AudioContextClass: class {},
    });
    await mic.start('');
    assert.deepEqual([asked.audio.echoCancellation, asked.audio.noiseSuppression, asked.audio.autoGainControl], [false, false, false]);
    assert.equal(asked.audio.deviceId, undefined, 'the default microphone was asked for by an id');
  });

  it('says why when the browser has no microphone to give, or the learner said no', async () => {
    const none = new Microphone(() => {}, {mediaDevices: undefined, AudioContextClass: class {}});
    assert.deepEqual(await none.start(''), {text: 'WebNoMicrophone', args: []});
    const refusing = new Microphone(() => {}, {
      mediaDevices: {getUserMedia: async () => { throw Object.assign(new Error('Permission denied'), {name: 'NotAllowedError'}); }},
      AudioContextClass: class {},
    });
    const problem = await refusing.start('');
    assert.equal(problem.text, 'WebMicrophoneRefused');
    assert.deepEqual(problem.args, ['NotAllowedError: Permission denied']);
    assert.equal(refusing.open, false);
  });

  it('lets the stream go when the microphone was let go while the browser was still asking', async () => {
    let give = null;
    const given = stream();
    const mic = new Microphone(() => {}, {
      mediaDevices: {getUserMedia: () => new Promise((resolve) => (give = resolve))},
      AudioContextClass: class {
        constructor() {
          throw new Error('no audio context is to be made for a capture let go');
        }
      },
    });
    const starting = mic.start('');
    mic.stop();
    give(given);
    assert.equal(await starting, '');
    assert.equal(given.tracks[0].stopped, true, 'the browser still records');
    assert.equal(mic.open, false);
  });
});
