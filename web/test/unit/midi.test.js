// Web MIDI through a stand-in requestMIDIAccess, and the keyboard's places.
import assert from 'node:assert/strict';
import {describe, it} from 'node:test';

import {keyName, layoutLines, learnersLayout} from '../../page/keys.js';
import {bytesOf, MidiInput, MidiOutput, outputNames, requestMidi, wordOf} from '../../page/midi.js';

/// A stand-in for the browser's MIDI access: ports that record what is sent to them.
function standIn() {
  const input = (name) => ({name, onmidimessage: null});
  const output = (name) => ({name, sent: [], send(data, at) { this.sent.push(at === undefined ? [...data] : [...data, `@${at}`]); }, clear() { this.sent.push('clear'); }});
  const inputs = new Map([['i1', input('Keyboard A')], ['i2', input('Accordion')]]);
  const outputs = new Map([['o1', output('Expander')]]);
  return {inputs, outputs};
}

describe('Web MIDI', () => {
  it('calls a browser MIDI-less only when it has no requestMIDIAccess, and says when it was not allowed', async () => {
    assert.deepEqual(await requestMidi(null), {problem: {text: 'WebNoWebMidi', args: []}});
    const refused = await requestMidi(async () => { throw new Error('denied'); });
    assert.deepEqual(refused.problem, {text: 'WebMidiRefused', args: ['denied']});
    // Ports not asked for yet are no ports: the port is missing, the browser not MIDI-less.
    assert.deepEqual(new MidiInput(null, () => {}).open('Accordion'), {text: 'MidiInputMissing', args: ['Accordion']});
    assert.deepEqual(new MidiOutput('Expander').open(null), {text: 'MidiPortMissing', args: ['Expander']});
  });
  it('passes an instrument\'s notes and controllers on as the desktop packs them, nothing else', async () => {
    const {access} = await requestMidi(async () => standIn());
    const words = [];
    const input = new MidiInput(access, (w) => words.push(w));
    assert.deepEqual(input.names(), ['Keyboard A', 'Accordion']);
    assert.equal(input.open('Accordion'), '');
    const port = access.inputs.get('i2');
    for (const data of [[0x90, 60, 99], [0xf8], [0xb0, 2, 127], [0x80, 60, 0], [0xfe], [0xf0, 1, 2, 0xf7], [0xc0, 5], [0x91, 200, 300]])
      port.onmidimessage({data: Uint8Array.from(data)});
    assert.deepEqual(words.map((w) => w.toString(16)), ['633c90', '7f02b0', '3c80', '2c4891']);
    // Another port's messages do not arrive; a closed port's neither.
    assert.equal(access.inputs.get('i1').onmidimessage, null);
    input.open('');
    assert.equal(port.onmidimessage, null);
    assert.deepEqual(input.open('Gone'), {text: 'MidiInputMissing', args: ['Gone']});
  });
  it('plays through a chosen output at the moment given, and silences every channel', async () => {
    const {access} = await requestMidi(async () => standIn());
    assert.deepEqual(outputNames(access), ['Expander']);
    assert.deepEqual(new MidiOutput('Nothing').open(access), {text: 'MidiPortMissing', args: ['Nothing']});
    const output = new MidiOutput('Expander');
    output.send(0x15c0, 0);  // before it is open: dropped, not an error
    assert.equal(output.open(access), '');
    output.send(0x633c90, 0);
    output.send(0x15c0, 12.5);
    const port = access.outputs.get('o1');
    assert.deepEqual(port.sent, [[0x90, 60, 99], [0xc0, 21, '@12500']]);
    output.silence();
    assert.equal(port.sent[2], 'clear');
    assert.equal(port.sent.length, 3 + 32);
    assert.deepEqual(port.sent.slice(3).filter((m) => m[1] === 123).map((m) => m[0]),
                     Array.from({length: 16}, (_, c) => 0xb0 | c));
  });
  it('packs and unpacks words as the desktop does', () => {
    assert.equal(wordOf(Uint8Array.of(0x90, 60, 99)), 0x90 | (60 << 8) | (99 << 16));
    assert.deepEqual(bytesOf(0x90 | (60 << 8) | (99 << 16)), [0x90, 60, 99]);
    assert.deepEqual(bytesOf(0xc0 | (21 << 8)), [0xc0, 21]);
    assert.deepEqual(bytesOf(0xd3 | (5 << 8)), [0xd3, 5]);
    assert.equal(wordOf(Uint8Array.of(0x90, 60)), 0);
  });
});

describe('keys by their place', () => {
  it('names the places the key map uses, whatever the layout prints', () => {
    const codes = ['KeyQ', 'KeyZ', 'Digit0', 'Minus', 'Quote', 'Backquote', 'IntlBackslash', 'Semicolon', 'BracketRight', 'Space', 'NumpadEnter', 'Enter'];
    assert.deepEqual(codes.map(keyName), ['Q', 'Z', '0', 'Minus', 'Apostrophe', 'QuoteLeft', 'Less', 'Semicolon', 'BracketRight', 'Space', 'Return', 'Return']);
    for (const other of ['F13', 'F0', 'ArrowUp', 'Numpad1', 'KeyAB', '', 'MetaLeft']) assert.equal(keyName(other), '', other);
  });
  it('names the function keys that play the bass side\'s inner rows', () => {
    assert.deepEqual(['F1', 'F8', 'F12'].map(keyName), ['F1', 'F8', 'F12']);
  });
  it('tells what the layout prints on them, leaving out what a badge cannot show', () => {
    const german = new Map([['KeyY', 'z'], ['KeyZ', 'y'], ['Semicolon', 'ö'], ['Equal', '´'], ['Minus', 'ß'], ['F1', 'x'],
      ['Digit2', '2'], ['KeyE', 'ě'], ['Backquote', 'Dead'], ['IntlBackslash', '<']]);
    assert.equal(layoutLines(german), 'Y=z\nZ=y\nSemicolon=ö\nEqual=´\nMinus=ß\n2=2\nLess=<');
  });
  it('tells nothing where the browser has no layout map or refuses it', async () => {
    assert.equal(await learnersLayout(null), '');
    assert.equal(await learnersLayout({}), '');
    assert.equal(await learnersLayout({getLayoutMap: async () => { throw new Error('not allowed'); }}), '');
    assert.equal(await learnersLayout({getLayoutMap: async () => new Map([['KeyQ', 'a']])}), 'Q=a');
  });
});
