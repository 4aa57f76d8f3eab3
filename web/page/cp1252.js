// Windows-1252, the encoding of every file and file name of the working folder: text for the
// page to show, bytes for the files. A name the encoding cannot hold is refused, never changed.

// 0x80-0x9F; the five holes of the code page (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for
// themselves, as the desktop's codec maps them.
const kHigh = [
  0x20ac, 0x81, 0x201a, 0x192, 0x201e, 0x2026, 0x2020, 0x2021, 0x2c6, 0x2030, 0x160, 0x2039, 0x152, 0x8d, 0x17d, 0x8f,
  0x90, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014, 0x2dc, 0x2122, 0x161, 0x203a, 0x153, 0x9d, 0x17e, 0x178,
];
const kByteOf = new Map(kHigh.map((code, i) => [code, 0x80 + i]));

/// The text of Windows-1252 bytes.
export function decode(bytes) {
  let text = '';
  for (const b of bytes) text += String.fromCharCode(b >= 0x80 && b < 0xa0 ? kHigh[b - 0x80] : b);
  return text;
}

/// The Windows-1252 bytes of `text`, or null when a character has none.
export function encode(text) {
  const out = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) {
    const code = text.charCodeAt(i);
    const byte = code < 0x80 || (code >= 0xa0 && code < 0x100) ? code : kByteOf.get(code);
    if (byte === undefined) return null;
    out[i] = byte;
  }
  return out;
}

/// Letters compared as the desktop compares names: ASCII and the Latin-1 letters by case.
export function sameName(a, b) {
  return a.length === b.length && upper(a) === upper(b);
}

function upper(text) {
  let out = '';
  for (const ch of text) {
    const code = ch.charCodeAt(0);
    if ((code >= 0x61 && code <= 0x7a) || (code >= 0xe0 && code <= 0xfe && code !== 0xf7)) out += String.fromCharCode(code - 0x20);
    else if (code === 0x161 || code === 0x153 || code === 0x17e) out += String.fromCharCode(code - 1);
    else out += ch;
  }
  return out;
}
