// The computer keyboard by the place of its keys: KeyboardEvent.code (the place on a US
// keyboard, whatever the layout prints on it) to the names the key map uses, as the desktop
// names the same places; and what the learner's layout prints on them.
import {encode} from './cp1252.js';

const kNames = new Map([
  ['Minus', 'Minus'], ['Equal', 'Equal'], ['BracketLeft', 'BracketLeft'], ['BracketRight', 'BracketRight'],
  ['Semicolon', 'Semicolon'], ['Quote', 'Apostrophe'], ['Backquote', 'QuoteLeft'], ['Comma', 'Comma'],
  ['Period', 'Period'], ['Slash', 'Slash'], ['Backslash', 'Backslash'], ['IntlBackslash', 'Less'],
  ['Backspace', 'Backspace'], ['Tab', 'Tab'], ['Enter', 'Return'], ['NumpadEnter', 'Return'],
  ['ControlLeft', 'Control'], ['ControlRight', 'Control'], ['ShiftLeft', 'Shift'], ['ShiftRight', 'Shift'],
  ['AltLeft', 'Alt'], ['AltRight', 'Alt'], ['Space', 'Space'], ['CapsLock', 'CapsLock'],
]);

/// The key map's name of the key at `code` ("KeyQ" -> "Q", "Digit1" -> "1", "Quote" ->
/// "Apostrophe", "F1" -> "F1"); "" for a key no map names.
export function keyName(code) {
  let m = /^Key([A-Z])$/.exec(code);
  if (m) return m[1];
  m = /^Digit([0-9])$/.exec(code);
  if (m) return m[1];
  m = /^F([1-9]|1[0-2])$/.exec(code);  // the bass side's inner rows
  if (m) return code;
  return kNames.get(code) || '';
}

/// What a layout prints on the keys the key map may name, as the window object reads it:
/// "KEY=CHARACTER" lines. `layout`: KeyboardEvent.code -> the character (a browser's layout
/// map); a key printing more than one character, or one Windows-1252 lacks, is left out.
export function layoutLines(layout) {
  const lines = [];
  for (const [code, printed] of layout) {
    const name = keyName(code);
    // A function key prints nothing, whatever a layout map says: its badge is its own name.
    const printing = name && !/^F\d/.test(code);
    if (printing && [...printed].length === 1 && encode(printed)) lines.push(`${name}=${printed}`);
  }
  return lines.join('\n');
}

/// The lines of the learner's own layout; '' where the browser does not say (the Keyboard API
/// is Chromium's), and the buttons then show the keys' US names.
export async function learnersLayout(keyboard = globalThis.navigator?.keyboard) {
  if (!keyboard?.getLayoutMap) return '';
  try {
    return layoutLines(await keyboard.getLayoutMap());
  } catch {
    return '';  // refused, as in a frame the page does not own
  }
}
