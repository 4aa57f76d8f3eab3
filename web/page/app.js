// The page: the working folder from the browser's storage, the window object in its module,
// the window drawn from its state, and the world it asks for: sound, MIDI, files, time.
import createTastrello from '../tastrello.js';
import * as zip from '../vendor/fflate.js';
import {decodeXml, flattenXml, inflateExactly} from './markup.js';

import {encode} from './cp1252.js';
import {checkImport, exportZip, importFiles, importZip, zipName} from './exchange.js';
import {IndexedDbStore, MemoryStore, WorkingFolder} from './folder.js';
import {keyName, learnersLayout} from './keys.js';
import {Microphone} from './microphone.js';
import {MidiInput, MidiOutput, outputNames, requestMidi} from './midi.js';
import {pageSeconds, Synth} from './synth.js';
import {View, svgUrl} from './view.js';
import {EventKind, RequestKind, startWindow} from './window.js';

/// What the tests and the benchmark look at: the parts of the running page.
export const page = {ready: false, problems: [], sent: []};
window.tastrello = page;

const synth = new Synth();
page.synth = synth;
let output = synth;  // the built-in synthesizer, or a Web MIDI port chosen in the panel
let midi = {access: null, problem: null, asking: null};
let midiInput = null;
// The microphone's sound goes to the window object as it comes, each block on its own.
const microphone = new Microphone((samples, rate, at) => {
  if (win) settle(win.sound(samples, rate, at));
});
page.microphone = microphone;
let win = null;
let view = null;
let wakeTimer = 0;

function say(name, ...args) {
  return win ? win.window.say(name, args.map(String)) : name;
}

/// A reason ({text, args}: folder.js's `why`) in the learner's language; a plain text as it is.
function sayWhy(problem) {
  if (!problem || typeof problem !== 'object') return String(problem);
  return say(problem.text, ...problem.args.map(sayWhy));
}

function report(text) {
  page.problems.push(text);
  if (win) {
    win.window.report(text);
    draw(win.update());
  }
}

/// The services the window object reaches the world through.
const world = {
  now: pageSeconds,
  localTime() {
    const d = new Date();
    const two = (n) => String(n).padStart(2, '0');
    return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())} ${two(d.getHours())}:${two(d.getMinutes())}`;
  },
  send(word, at) {
    if (page.recordWords) page.sent.push([word, at]);
    output.send(word, at);
  },
  silence(at) {
    if (at > 0 && output === synth) {
      // A reset at a moment: every voice stops then (all sound off on each channel).
      synth.sendMany(Array.from({length: 16}, (_, c) => 0xb0 | c | (120 << 8)), at);
    } else {
      output.silence(at);
    }
  },
  leadSeconds: () => output.leadSeconds,
  writeFile(path, bytes) {
    page.folder.replace(path, bytes).then((problem) => problem && report(say('MsgNotSaved', path, sayWhy(problem))));
  },
  chooseOutput(setting) {
    if (output !== synth) output.close();
    output = synth;
    if (!setting || setting === 'SYNTH' || setting.startsWith('LOG:')) return;
    // The port chosen (or kept from the last visit) is in force at once: it plays once the
    // browser has given the ports; a port that is not there gives the synthesizer back.
    const port = new MidiOutput(setting);
    output = port;
    openMidi().then(() => {
      if (output !== port) return;  // chosen again meanwhile
      const problem = midi.access ? port.open(midi.access) : midi.problem;
      if (!problem) return;
      output = synth;
      if (midi.access) report(sayWhy(problem));  // else said when the browser answered
    });
  },
  midiInputs: () => (midi.access ? new MidiInput(midi.access, () => {}).names() : []),
  midiOutputs: () => outputNames(midi.access),
  audioReport: () => output.report(),
  parseXml: (bytes, largest, deepest) => flattenXml(decodeXml(bytes), new DOMParser(), largest, deepest),
  inflate: (bytes, size) => inflateExactly(zip, bytes, size),
};

/// One event to the window object, then what it asks for.
function send(e) {
  if (!win) return false;
  const result = win.send({...e, kind: typeof e.kind === 'string' ? EventKind[e.kind] : e.kind});
  settle(result);
  return result.taken;
}

function settle(result) {
  draw(result);
  for (const request of result.requests) answer(request);
  armWake(result);
}

function draw(result) {
  if (!result.ahead) view.apply(result);
  if (!result.ahead) labelToolbar();
  page.lastUpdate = result;
}

function armWake(result) {
  clearTimeout(wakeTimer);
  if (result.wake < 0) return;
  // Rounded up: a timer woken a little early would find nothing due.
  const ms = Math.max(0, Math.ceil((result.wake - pageSeconds()) * 1000));
  wakeTimer = setTimeout(() => send({kind: 'Tick'}), ms);
}

// ---- Requests

function answerWith(event) {
  send({kind: 'Answer', ...event});
}

function baseName(name) {
  return name.replace(/\.[^.]*$/, '');
}

function answer(r) {
  switch (r.kind) {
    case RequestKind.OpenFile: {
      const input = Object.assign(document.createElement('input'), {type: 'file', accept: r.options.map((x) => `.${x}`).join(',')});
      input.addEventListener('change', async () => {
        const file = input.files[0];
        if (!file) return answerWith({request: r.id, cancelled: true});
        // The reason goes in as the window object's texts are: Windows-1252.
        if (r.largest && file.size > r.largest)
          return answerWith({request: r.id, text: baseName(file.name), bytes: encode(say('WhyNotAPlainFile')), index: -1});
        answerWith({request: r.id, text: baseName(file.name), bytes: new Uint8Array(await file.arrayBuffer())});
      });
      input.addEventListener('cancel', () => answerWith({request: r.id, cancelled: true}));
      page.pendingFileInput = input;
      input.click();
      return;
    }
    case RequestKind.SaveFile: {
      const name = `${r.name || 'Tastrello'}.${r.format}`;
      download(name, win.requestBytes(r.id));
      answerWith({request: r.id, text: name});
      return;
    }
    case RequestKind.ChooseOne:
      choose(r.title, r.name, r.options).then((entry) =>
        answerWith(entry < 0 ? {request: r.id, cancelled: true} : {request: r.id, index: entry}));
      return;
    case RequestKind.SaveTablature: {
      const pages = view.sheet ? view.sheet.pages : 0;
      if (r.format === 'SVG') {
        download(r.name, new TextEncoder().encode(win.tablatureDocument()));
        answerWith({request: r.id, text: r.name, index: pages});
      } else {
        // A PDF is what the browser's print makes ("Save as PDF"); where it went only its
        // dialog knows, so nothing is said to have been saved.
        printTablature(pages);
        answerWith({request: r.id, cancelled: true});
      }
      return;
    }
    case RequestKind.OpenMidiInput: {
      if (!r.name) {
        if (midiInput) midiInput.close();
        return;
      }
      openMidi().then(() => {
        if (!midi.access) return;  // why was said when the browser answered
        midiInput = midiInput || new MidiInput(midi.access, (word) => send({kind: 'Midi', word}));
        const problem = midiInput.open(r.name);
        if (problem) report(sayWhy(problem));
      });
      return;
    }
    case RequestKind.OpenSoundInput:
      // A refusal goes in as the window object's texts are: Windows-1252 (the browser's words
      // may hold characters it has not).
      microphone.start(r.name).then((problem) => {
        if (!problem) return;
        const reason = sayWhy(problem);
        const bytes = encode(reason) || encode(reason.replace(/[^\x20-\x7e]/g, '?'));
        answerWith({request: r.id, text: r.name, bytes, index: -1});
      });
      return;
    case RequestKind.CloseSoundInput:
      microphone.stop();
      return;
    default:
      return;
  }
}

export function download(name, bytes) {
  const url = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
  const a = Object.assign(document.createElement('a'), {href: url, download: name});
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
  page.downloads = [...(page.downloads || []), {name, bytes}];
}

/// A small dialog: one of `options`, or -1 when cancelled.
function choose(title, question, options) {
  return new Promise((resolve) => {
    const dialog = document.createElement('dialog');
    dialog.className = 'choose';
    dialog.appendChild(document.createElement('h2')).textContent = title;
    if (question) dialog.appendChild(document.createElement('p')).textContent = question;
    const done = (entry) => {
      dialog.close();
      dialog.remove();
      resolve(entry);
    };
    options.forEach((text, i) => {
      const b = dialog.appendChild(document.createElement('button'));
      b.textContent = text;
      b.addEventListener('click', () => done(i));
    });
    const cancel = dialog.appendChild(document.createElement('button'));
    cancel.className = 'cancel';
    cancel.textContent = say('WebCancel');
    cancel.addEventListener('click', () => done(-1));
    dialog.addEventListener('cancel', () => done(-1));
    document.body.appendChild(dialog);
    dialog.showModal();
  });
}

/// The tablature's pages alone on the printed sheets, then the browser's print.
function printTablature(pages) {
  let holder = document.getElementById('print');
  if (!holder) holder = document.body.appendChild(Object.assign(document.createElement('div'), {id: 'print'}));
  for (const img of holder.querySelectorAll('img')) URL.revokeObjectURL(img.src);
  holder.replaceChildren(...Array.from({length: pages}, (_, i) =>
    Object.assign(document.createElement('img'), {src: svgUrl(win.tablaturePage(i)), alt: ''})));
  Promise.all([...holder.querySelectorAll('img')].map((img) => img.decode())).then(() => {
    document.body.classList.add('printing');
    addEventListener('afterprint', () => document.body.classList.remove('printing'), {once: true});
    window.print();
  });
}

/// The browser's MIDI ports, asked for once, when a MIDI choice needs them: the learner opens
/// a MIDI chooser, or a port or an input is kept from the last visit. The browser may ask the
/// learner first; its no is said once. The choosers offer the ports as soon as they are known,
/// and again whenever a device comes or goes.
function openMidi() {
  if (!midi.asking) {
    midi.asking = requestMidi().then((answer) => {
      midi.access = answer.access || null;
      midi.problem = answer.problem || null;
      if (midi.problem) report(sayWhy(midi.problem));
      if (midi.access) {
        midi.access.onstatechange = () => send({kind: 'Ports'});
        send({kind: 'Ports'});
      }
    });
  }
  return midi.asking;
}

/// A MIDI chooser opened (pressed or given the focus): the ports are asked for then.
function chooserOpened(name) {
  if (name === 'OutputChooser' || name === 'InputChooser') openMidi();
}

// ---- Playing: the sound starts with the first gesture; keys by their place

let gestureSeen = false;
function firstGesture() {
  if (gestureSeen) return;
  gestureSeen = true;
  microphone.resume();
  synth.open().then((problem) => {
    page.soundReady = !problem;
    page.soundReadyAt = pageSeconds();
    if (problem) report(problem);
    if (win) draw(win.update());
  });
}

function typing(target) {
  return target && (target.tagName === 'INPUT' && target.type === 'text' || target.tagName === 'TEXTAREA' || target.tagName === 'SELECT');
}

/// The buttons show the letters the learner's own layout prints on the keys.
async function tellKeyLayout() {
  const text = await learnersLayout();
  if (text) send({kind: 'KeyLayout', text});
}

function onKey(e, down) {
  firstGesture();
  if (typing(e.target)) return;  // typing in the name field never plays
  const name = keyName(e.code);
  if (!name) return;
  // The key counts from when it went down, not from when a busy page got to it: the event's
  // time stamp is on the page's clock (performance.now()).
  const at = e.timeStamp > 0 ? e.timeStamp / 1000 : -1;
  const taken = down ? send({kind: 'KeyDown', text: name, repeat: e.repeat, at}) : send({kind: 'KeyUp', text: name, at});
  if (taken) e.preventDefault();
}

// ---- Files in and out

function toolbar() {
  const bar = document.getElementById('toolbar');
  const button = (text, tip, action) => {
    const b = bar.appendChild(document.createElement('button'));
    b.type = 'button';
    b.textContent = text;
    b.title = tip;
    b.addEventListener('click', action);
    return b;
  };
  const picker = Object.assign(document.createElement('input'), {type: 'file', multiple: true, accept: '.txt,.ini,.zip'});
  picker.addEventListener('change', async () => {
    const chosen = [...picker.files];
    picker.value = '';
    const result = await importChosen(chosen);
    if (result.problem) report(say('WebImportRefused', sayWhy(result.problem)));
    else {
      await reloadFolder();
      const [only] = result.imported;
      win.window.report(result.imported.length === 1 ? say('WebImportedOne', only) : say('WebImported', result.imported.length));
      draw(win.update());
    }
  });
  page.importPicker = picker;
  toolbarButtons = [
    [button('', '', async () => download(zipName(), await exportZip(page.folder, zip))), 'WebExportZip', 'WebExportZip'],
    [button('', '', () => picker.click()), 'WebImport', 'WebTipImport'],
  ];
  toolbarLanguage = '';  // labelled now, whatever was drawn before
  labelToolbar();
}

/// The page's own buttons in the language in force, relabelled when it changes.
let toolbarButtons = [];
let toolbarLanguage = '';
function labelToolbar() {
  const language = win.window.language();
  if (language === toolbarLanguage) return;
  toolbarLanguage = language;
  for (const [b, text, tip] of toolbarButtons) {
    b.textContent = say(text);
    b.title = say(tip);
  }
}

/// Files the learner chose: one zip, or single files.
export async function importChosen(files) {
  if (files.length === 1 && /\.zip$/i.test(files[0].name))
    return importZip(page.folder, new Uint8Array(await files[0].arrayBuffer()), zip, files[0].name);
  const read = [];
  for (const f of files) {
    const check = checkImport(f.name, new Uint8Array(0));
    if (check.problem) return {problem: check.problem};
    read.push({name: f.name, bytes: new Uint8Array(await f.arrayBuffer())});
  }
  return importFiles(page.folder, read);
}

/// After an import: the window object starts afresh on the folder as it now is, in the same
/// visit (its splash was seen).
async function reloadFolder() {
  const files = await page.folder.all();
  win.window.stop();
  win = startWindow(page.module, world, files);
  win.window.splashSeen();
  page.win = win;
  view.root.replaceChildren();
  showWindow(view.root);
  settle(win.update());
  tellKeyLayout();
}

/// The window object's view in `root`.
function showWindow(root) {
  view = new View(root, win.table, send);
  view.sheetPage = (i) => win.tablaturePage(i);
  view.chooserOpened = chooserOpened;
  page.view = view;
}

// ---- Start

async function main() {
  const started = pageSeconds();
  let storeProblem = '';
  let store;
  try {
    store = await IndexedDbStore.open();
  } catch (error) {
    storeProblem = error.message || String(error);
    store = new MemoryStore();
  }
  if (navigator.storage && navigator.storage.persist) navigator.storage.persist().then((kept) => (page.persistent = kept));
  page.folder = new WorkingFolder(store);
  const shipped = await (await fetch('data/shipped.json')).json();
  // A folder without settings is a learner's first start, once the shipped ones are in it.
  const hadSettings = Boolean(await page.folder.resolve('Data/Tastrel.Ini'));
  const seedProblem = await page.folder.seed(shipped, async (path) => {
    const response = await fetch(`data/${path.split('/').map(encodeURIComponent).join('/')}`);
    if (!response.ok) throw new Error(`${response.status}`);
    return new Uint8Array(await response.arrayBuffer());
  });
  page.module = await createTastrello();
  win = startWindow(page.module, world, await page.folder.all());
  showWindow(document.getElementById('window'));
  page.win = win;
  page.send = send;
  if (storeProblem) win.window.report(say('WebStorageProblem', storeProblem));
  if (!hadSettings && (await page.folder.resolve('Data/Tastrel.Ini'))) win.window.welcome();
  if (seedProblem) win.window.report(sayWhy(seedProblem));
  settle(win.update());
  tellKeyLayout();
  toolbar();
  addEventListener('pointerdown', firstGesture, {capture: true});
  addEventListener('keydown', (e) => onKey(e, true));
  addEventListener('keyup', (e) => onKey(e, false));
  addEventListener('blur', () => send({kind: 'Leave'}));
  addEventListener('focus', tellKeyLayout);  // the learner may have switched layouts meanwhile
  addEventListener('resize', () => view.fit());
  addEventListener('pagehide', () => win.window.stop());
  if ('serviceWorker' in navigator && !new URLSearchParams(location.search).has('nocache'))
    navigator.serviceWorker.register('sw.js').catch((error) => (page.workerProblem = String(error)));
  page.readyAt = pageSeconds();
  page.loadSeconds = page.readyAt - started;
  page.ready = true;
}

main().catch((error) => {
  page.failed = String(error && error.stack ? error.stack : error);
  document.body.appendChild(document.createElement('pre')).textContent = page.failed;
});
