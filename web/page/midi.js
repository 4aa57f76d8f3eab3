// Web MIDI: an instrument to play on (its notes and the bellows controller as the desktop
// packs them: status | data1 << 8 | data2 << 16) and a port to play through instead of the
// built-in synthesizer. `requestMIDIAccess` is the browser's; tests hand in a stand-in. Reasons
// are given as folder.js's `why` gives them, for the page to say in the learner's language.
import {why} from './folder.js';
import {kLeadSeconds} from './synth.js';

/// Asks the browser for its MIDI ports (it may ask the learner first): {access} or {problem}.
/// Only a browser without requestMIDIAccess has no Web MIDI; one that has it may still say no.
export async function requestMidi(requestMIDIAccess = globalThis.navigator && navigator.requestMIDIAccess ? navigator.requestMIDIAccess.bind(navigator) : null) {
  if (!requestMIDIAccess) return {problem: why('WebNoWebMidi')};
  try {
    return {access: await requestMIDIAccess({sysex: false})};
  } catch (error) {
    return {problem: why('WebMidiRefused', String(error.message || error))};
  }
}

/// The word of a message the program plays from (note off, note on, a controller); 0 for any
/// other message (clock, active sensing, system exclusive ...).
export function wordOf(data) {
  const status = data[0];
  const kind = status & 0xf0;
  if (data.length < 3 || (kind !== 0x80 && kind !== 0x90 && kind !== 0xb0)) return 0;
  return status | ((data[1] & 0x7f) << 8) | ((data[2] & 0x7f) << 16);
}

/// The bytes of a word: two for a program change or channel pressure, three for the others.
export function bytesOf(word) {
  const status = word & 0xff;
  const bytes = [status, (word >>> 8) & 0x7f, (word >>> 16) & 0x7f];
  return (status & 0xf0) === 0xc0 || (status & 0xf0) === 0xd0 ? bytes.slice(0, 2) : bytes;
}

function portsOf(map) {
  return map ? [...map.values()] : [];
}

/// The names of the output ports the access gives (none without it).
export function outputNames(access) {
  return portsOf(access && access.outputs).map((p) => p.name);
}

export class MidiInput {
  /// `onWord(word)` gets every message the program plays from.
  constructor(access, onWord) {
    this.access = access;
    this.onWord = onWord;
    this.port = null;
  }
  names() {
    return portsOf(this.access && this.access.inputs).map((p) => p.name);
  }
  /// Opens the input of that name ("" closes it): "" or why not.
  open(name) {
    this.close();
    if (!name) return '';
    const port = portsOf(this.access && this.access.inputs).find((p) => p.name === name);
    if (!port) return why('MidiInputMissing', name);
    port.onmidimessage = (e) => {
      const word = wordOf(e.data);
      if (word) this.onWord(word);
    };
    this.port = port;
    return '';
  }
  close() {
    if (this.port) this.port.onmidimessage = null;
    this.port = null;
  }
}

/// A MIDI output port in the manner of the synthesizer module: send(word, at) with `at` on the
/// page's clock (Web MIDI places timed messages itself), and a reset that silences it. It is
/// the output in force from when it is chosen; it plays once it is open (what is sent before
/// is dropped).
export class MidiOutput {
  /// The output port of that name.
  constructor(name) {
    this.name = name;
    this.port = null;
  }
  get leadSeconds() {
    return kLeadSeconds;
  }
  /// Opens the port of its name among those `access` gives: "" or why not.
  open(access) {
    const port = portsOf(access && access.outputs).find((p) => p.name === this.name);
    if (!port) return why('MidiPortMissing', this.name);
    this.port = port;
    return '';
  }
  /// What the output says of itself, as the synthesizer's report: a port, whose latency the
  /// page cannot know (taken as 0; the learner's tap calibration measures the rest).
  report() {
    return {port: this.name, running: false, driver: '', soundFont: '', problem: '', bufferFrames: 0,
            sampleRate: 0, latencyMs: 0, underruns: 0};
  }
  send(word, at = 0) {
    if (!this.port) return;
    if (at > 0) this.port.send(bytesOf(word), at * 1000);
    else this.port.send(bytesOf(word));
  }
  /// Every note off on every channel at `at` (0: at once); what was handed over ahead and not
  /// yet sent is dropped where the port allows (Web MIDI's clear()).
  silence(at = 0) {
    if (!this.port) return;
    if (at <= 0 && this.port.clear) this.port.clear();
    for (let channel = 0; channel < 16; ++channel) {
      this.send(0xb0 | channel | (123 << 8), at);  // all notes off
      this.send(0xb0 | channel | (120 << 8), at);  // all sound off
    }
  }
  close() {
    this.silence();
    this.port = null;
  }
}
