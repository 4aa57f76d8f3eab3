// The computer keyboard by the place of its keys: KeyboardEvent.code (the place on a US
// keyboard, whatever the layout prints on it) to the names the key map uses, as the desktop
// names the same places.
const kNames = new Map([
  ['Minus', 'Minus'], ['Equal', 'Equal'], ['BracketLeft', 'BracketLeft'], ['BracketRight', 'BracketRight'],
  ['Semicolon', 'Semicolon'], ['Quote', 'Apostrophe'], ['Backquote', 'QuoteLeft'], ['Comma', 'Comma'],
  ['Period', 'Period'], ['Slash', 'Slash'], ['Backslash', 'Backslash'], ['IntlBackslash', 'Less'],
  ['Backspace', 'Backspace'], ['Tab', 'Tab'], ['Enter', 'Return'], ['NumpadEnter', 'Return'],
  ['ControlLeft', 'Control'], ['ControlRight', 'Control'], ['ShiftLeft', 'Shift'], ['ShiftRight', 'Shift'],
  ['AltLeft', 'Alt'], ['AltRight', 'Alt'], ['Space', 'Space'], ['CapsLock', 'CapsLock'],
]);

/// The key map's name of the key at `code` ("KeyQ" -> "Q", "Digit1" -> "1", "Quote" ->
/// "Apostrophe"); "" for a key no map names.
export function keyName(code) {
  let m = /^Key([A-Z])$/.exec(code);
  if (m) return m[1];
  m = /^Digit([0-9])$/.exec(code);
  if (m) return m[1];
  return kNames.get(code) || '';
}
