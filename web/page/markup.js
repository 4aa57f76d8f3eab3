// XML and raw deflate for the score import, answered by the browser: its DOMParser reads the
// XML and fflate inflates the members of an .mxl archive. The tree reaches the window object as
// one string marked with characters XML cannot hold (U+0001 to U+0004), so that a score of
// thousands of elements crosses into WebAssembly in one call.

const kOpen = '\u0001';  // an element begins: its name follows
const kField = '\u0002'; // an attribute's name, then its value
const kText = '\u0003';  // the element's own text follows, then its children
const kClose = '\u0004'; // the element ends

/// The bytes of an XML document as text: UTF-16 by its byte order mark, otherwise the encoding
/// its declaration names, UTF-8 when it names none or one the browser does not know.
export function decodeXml(bytes) {
  if (bytes[0] === 0xff && bytes[1] === 0xfe) return new TextDecoder('utf-16le').decode(bytes);
  if (bytes[0] === 0xfe && bytes[1] === 0xff) return new TextDecoder('utf-16be').decode(bytes);
  const head = new TextDecoder('latin1').decode(bytes.subarray(0, 200));
  const declared = /^(?:\uFEFF|\u00EF\u00BB\u00BF)?\s*<\?xml[^>]*encoding\s*=\s*["']([A-Za-z0-9._-]+)["']/.exec(head);
  try {
    return new TextDecoder(declared ? declared[1] : 'utf-8').decode(bytes);
  } catch {
    return new TextDecoder('utf-8').decode(bytes);
  }
}

/// The document's elements, depth first, as marked text: {tree}; or {problem, detail} with
/// problem 'malformed' (detail: the parser's first line), 'empty', 'many' (more than `largest`
/// elements) or 'deep' (nested deeper than `deepest`). An element's text is its text and CDATA
/// children, blank runs between elements left out, as the desktop's reader keeps it.
export function flattenXml(text, parser, largest, deepest) {
  const doc = parser.parseFromString(text, 'application/xml');
  const error = doc.getElementsByTagName('parsererror')[0];
  if (error) {
    const line = (error.textContent || '').split('\n').map((l) => l.trim()).find((l) => l) || '';
    return {problem: 'malformed', detail: line};
  }
  const root = doc.documentElement;
  if (!root) return {problem: 'empty'};
  const out = [];
  let count = 0;
  const pending = [[root, 1]];  // null: an element's end
  while (pending.length) {
    const item = pending.pop();
    if (item === null) {
      out.push(kClose);
      continue;
    }
    const [element, depth] = item;
    if (++count > largest) return {problem: 'many'};
    if (depth > deepest) return {problem: 'deep'};
    out.push(kOpen, element.nodeName);
    for (const a of element.attributes) out.push(kField, a.name, kField, a.value);
    let own = '';
    const children = [];
    for (let c = element.firstChild; c; c = c.nextSibling) {
      if (c.nodeType === Node.TEXT_NODE) {
        if (/\S/.test(c.nodeValue)) own += c.nodeValue;
      } else if (c.nodeType === Node.CDATA_SECTION_NODE) {
        own += c.nodeValue;
      } else if (c.nodeType === Node.ELEMENT_NODE) {
        children.push(c);
      }
    }
    out.push(kText, own);
    pending.push(null);
    for (let i = children.length - 1; i >= 0; --i) pending.push([children[i], depth + 1]);
  }
  return {tree: out.join('')};
}

/// Raw deflate data inflated to exactly `size` bytes: {bytes}, or {problem: 'damaged'} or
/// {problem: 'size'} (it inflates to more or less). It is fed a little at a time, so that an
/// archive lying about a member's size never makes more than `size` bytes and a little.
export function inflateExactly(zip, deflated, size) {
  const out = new Uint8Array(size);
  let at = 0;
  let over = false;
  const inflater = new zip.Inflate((chunk) => {
    if (over) return;
    if (at + chunk.length > size) {
      over = true;
      return;
    }
    out.set(chunk, at);
    at += chunk.length;
  });
  const step = 512;  // at most about half a megabyte inflated a step
  try {
    if (deflated.length === 0) inflater.push(deflated, true);
    for (let i = 0; i < deflated.length && !over; i += step)
      inflater.push(deflated.subarray(i, i + step), i + step >= deflated.length);
  } catch {
    return {problem: 'damaged'};
  }
  if (over || at !== size) return {problem: 'size'};
  return {bytes: out};
}
