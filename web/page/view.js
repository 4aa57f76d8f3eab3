// The window drawn from the window object's state: one element a control of the table, made
// by its kind, placed in twips (15 a pixel) on a stage scaled to the viewport. It holds no
// state of its own: each change the module sends is drawn as it is.
export const kTwipsPerPixel = 15;

const px = (twips) => `${twips / kTwipsPerPixel}px`;
/// &HBBGGRR, red in the low byte.
export const cssColour = (c) => `rgb(${c & 255},${(c >> 8) & 255},${(c >> 16) & 255})`;
const kBellowsMarks = ['    ', '\u25C1\u25B7 ', '\u25B7\u25C1 ', '\u25C1\u25B7\u25B7\u25C1 '];
const kBellowsClass = ['', 'pull', 'push', 'both'];

/// A picture's SVG with the lines of `text` in its places "{0}", "{1}" ... (the help boards).
const svgTexts = new Map();
async function pictureUrl(name, text) {
  if (!text || !text.includes) return `assets/${name}.svg`;
  if (!svgTexts.has(name)) svgTexts.set(name, fetch(`assets/${name}.svg`).then((r) => r.text()));
  let svg = await svgTexts.get(name);
  if (!svg.includes('{0}')) return `assets/${name}.svg`;
  const escape = (s) => s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  text.split('\n').forEach((line, i) => (svg = svg.split(`{${i}}`).join(escape(line))));
  return URL.createObjectURL(new Blob([svg], {type: 'image/svg+xml'}));
}

/// An SVG document as an address an image can show.
export const svgUrl = (svg) => URL.createObjectURL(new Blob([svg], {type: 'image/svg+xml'}));

export class View {
  /// `root`: the window's element; `table`: the table of controls; `send(event)`: an event to
  /// the window object ({kind, control, index, ...} with kind a name of EventKind).
  constructor(root, table, send) {
    this.root = root;
    this.send = send;
    this.elements = new Map();  // "Keys[3]" -> {el, kind, info, state}
    this.passes = [];
    this.sheet = null;  // the tablature as last drawn
    this.sheetPage = () => '';  // a page of it as SVG, given by the page's module
    this.chooserOpened = () => {};  // a chooser's name, as the learner opens it
    this.width = 15165;
    this.height = 10500;
    for (const info of table) {
      for (let i = 0; i < info.count; ++i) {
        const key = info.count > 1 ? `${info.name}[${i}]` : info.name;
        const el = this.make(info, i);
        if (!el) continue;
        el.dataset.control = key;
        el.classList.add('control', info.kind.toLowerCase());
        const parent = info.parent === 'Window' ? root : this.elements.get(info.parent)?.el || root;
        parent.appendChild(el);
        this.elements.set(key, {el, info, index: i, state: null});
      }
    }
  }

  make(info, index) {
    const name = info.name;
    const click = () => this.send({kind: 'Click', control: name, index});
    switch (info.kind) {
      case 'Label': {
        const el = document.createElement('div');
        return el;
      }
      case 'Button': {
        const el = document.createElement('button');
        el.type = 'button';
        el.addEventListener('click', click);
        return el;
      }
      case 'Picture': {
        // Its own image and text by name: a picture may hold other controls (the splash holds
        // its check box), which come after them.
        const el = document.createElement('div');
        el.image = el.appendChild(document.createElement('img'));
        el.image.draggable = false;
        el.text = el.appendChild(document.createElement('span'));
        if (info.handler) el.addEventListener('click', (e) => e.target === el || e.target.parentElement === el ? click() : null);
        return el;
      }
      case 'CheckBox':
      case 'Option': {
        const el = document.createElement('label');
        const box = el.appendChild(document.createElement('input'));
        box.type = info.kind === 'Option' ? 'radio' : 'checkbox';
        el.appendChild(document.createElement('span'));
        // The window object says whether it is ticked: drawn from its state, not the click.
        // (Cancelling the click instead would have the browser put the old tick back after
        // the new state was drawn.)
        box.addEventListener('change', () => {
          click();
          const state = this.elements.get(info.count > 1 ? `${name}[${index}]` : name)?.state;
          box.checked = Boolean(state && state.value === 1);
        });
        return el;
      }
      case 'List': {
        const el = document.createElement('div');
        el.addEventListener('click', (e) => {
          const row = e.target.closest('.row');
          if (row) this.send({kind: 'Row', control: name, index: Number(row.dataset.row)});
        });
        return el;
      }
      case 'TextField': {
        const el = document.createElement('input');
        el.type = 'text';
        el.spellcheck = false;
        el.addEventListener('input', () => this.send({kind: 'Text', control: name, text: el.value}));
        return el;
      }
      case 'Slider': {
        const el = document.createElement('input');
        el.type = 'range';
        el.addEventListener('input', () => this.send({kind: 'Value', control: name, index: Number(el.value)}));
        return el;
      }
      case 'Chooser': {
        const el = document.createElement('select');
        el.addEventListener('change', () => this.send({kind: 'Choose', control: name, index: el.selectedIndex}));
        // Opened with the pointer, or reached with the keyboard to open it.
        el.addEventListener('pointerdown', () => this.chooserOpened(name));
        el.addEventListener('focus', () => this.chooserOpened(name));
        return el;
      }
      case 'Chart': {
        const el = document.createElement('div');
        el.appendChild(document.createElement('div')).className = 'title';
        el.appendChild(document.createElementNS('http://www.w3.org/2000/svg', 'svg'));
        return el;
      }
      case 'Key': {
        const el = document.createElement('button');
        el.type = 'button';
        el.appendChild(document.createElement('span')).className = 'caption';
        el.appendChild(document.createElement('span')).className = 'letter';
        el.dataset.index = index;
        // Pressed, not released: the note sounds as the finger lands; several fingers hold
        // several buttons, each its own pointer.
        el.addEventListener('pointerdown', (e) => {
          e.preventDefault();
          click();
        });
        el.addEventListener('keydown', (e) => {
          if (e.code === 'Enter') click();
        });
        return el;
      }
      case 'Marker': {
        const el = document.createElement('div');
        return el;
      }
      case 'Sheet': {
        // The tablature: a panel over the window with its pages one under the other; closing
        // it is the click that unticks its check box, as closing the desktop's window is.
        const el = document.createElement('div');
        const close = el.appendChild(document.createElement('button'));
        close.type = 'button';
        close.className = 'sheet-close';
        close.textContent = '\u00D7';
        close.addEventListener('click', () => this.send({kind: 'Click', control: 'TabView'}));
        el.appendChild(document.createElement('div')).className = 'sheet-title';
        el.appendChild(document.createElement('div')).className = 'sheet-body';
        return el;
      }
      default:
        return null;  // timers and data show nothing
    }
  }

  /// Draws what changed ({control: state}) and the window's own state.
  apply(update) {
    for (const [key, state] of Object.entries(update.changes || {})) {
      const entry = this.elements.get(key);
      if (!entry) continue;
      const before = entry.state;
      entry.state = state;
      this.draw(entry, state, before);
    }
    if (update.window) this.drawWindow(update.window);
    if ('tablature' in update) this.drawSheet(update.tablature);
  }

  /// The tablature's pages (SVG from the window object, asked for by `sheetPage(i)`) when
  /// they changed, and the mark over the event replay shows. `t` is null while it is closed.
  drawSheet(t) {
    const entry = this.elements.get('TabSheet');
    if (!entry) return;
    const body = entry.el.querySelector('.sheet-body');
    const before = this.sheet;
    this.sheet = t;
    if (!t) return;
    entry.el.querySelector('.sheet-title').textContent = t.title;
    if (!before || before.version !== t.version) {
      for (const url of this.sheetUrls || []) URL.revokeObjectURL(url);
      this.sheetUrls = Array.from({length: t.pages}, (_, i) => svgUrl(this.sheetPage(i)));
      body.replaceChildren(...this.sheetUrls.map((url) => {
        const page = document.createElement('div');
        page.className = 'sheet-page';
        page.style.aspectRatio = `${t.width} / ${t.height}`;
        page.appendChild(Object.assign(document.createElement('img'), {src: url, alt: '', draggable: false}));
        return page;
      }));
    }
    body.querySelectorAll('.sheet-mark').forEach((m) => m.remove());
    const page = body.children[t.page];
    if (!page || !t.mark) return;
    const [x, y, w, h] = t.mark;
    const mark = page.appendChild(document.createElement('div'));
    mark.className = 'sheet-mark';
    Object.assign(mark.style, {left: `${(100 * x) / t.width}%`, top: `${(100 * y) / t.height}%`,
      width: `${(100 * w) / t.width}%`, height: `${(100 * h) / t.height}%`});
    // The page replay is on stays in sight.
    if (!before || before.page !== t.page || before.version !== t.version) body.scrollTop = page.offsetTop - body.offsetTop;
  }

  draw({el, info}, s, before) {
    const st = el.style;
    st.left = px(s.left);
    st.top = px(s.top);
    st.width = px(s.width);
    st.height = px(s.height);
    st.display = s.visible ? '' : 'none';
    st.fontSize = `${(s.font * 4) / 3}px`;
    st.fontWeight = s.bold ? 'bold' : '';
    st.backgroundColor = s.back >= 0 && info.kind !== 'Key' ? cssColour(s.back) : '';
    el.classList.toggle('bordered', s.border);
    el.classList.toggle('disabled', !s.enabled);
    if ('disabled' in el) el.disabled = !s.enabled;
    el.title = s.tip;
    switch (info.kind) {
      case 'Label':
        el.textContent = s.caption;
        break;
      case 'Button':
        if (s.picture) {
          if (!before || before.picture !== s.picture) el.innerHTML = `<img src="assets/${s.picture}.svg" alt="" draggable="false">`;
        } else {
          el.textContent = s.caption;
        }
        el.setAttribute('aria-label', s.caption || s.picture);
        break;
      case 'Picture':
        if (!before || before.picture !== s.picture || before.caption !== s.caption) {
          const img = el.image;
          if (s.picture) pictureUrl(s.picture, s.caption).then((url) => (img.src = url));
          img.style.display = s.picture ? '' : 'none';
          el.text.textContent = s.picture ? '' : s.caption;
        }
        el.setAttribute('aria-label', s.caption || s.picture);
        break;
      case 'CheckBox':
      case 'Option':
        el.firstChild.checked = s.value === 1;
        el.firstChild.disabled = !s.enabled;
        el.lastChild.textContent = s.caption;
        break;
      case 'List':
        this.drawList(el, s, before);
        break;
      case 'TextField':
        if (el.value !== s.text) el.value = s.text;
        break;
      case 'Slider':
        el.min = s.minimum;
        el.max = s.maximum;
        if (Number(el.value) !== s.value) el.value = s.value;
        break;
      case 'Chooser':
        if (!before || JSON.stringify(before.items) !== JSON.stringify(s.items)) {
          el.replaceChildren(...s.items.map((t) => Object.assign(document.createElement('option'), {textContent: t})));
        }
        el.selectedIndex = s.selected;
        break;
      case 'Chart':
        el.firstChild.textContent = s.caption;
        el.firstChild.style.display = s.caption ? '' : 'none';
        this.drawChart(el.lastChild, s);
        break;
      case 'Key':
        el.querySelector('.caption').textContent = s.caption;
        el.querySelector('.letter').textContent = s.tag;
        el.querySelector('.letter').style.display = s.tag ? '' : 'none';
        el.classList.toggle('lettered', Boolean(s.tag));
        st.setProperty('--key', cssColour(s.back >= 0 ? s.back : 0xc0c0c0));
        el.classList.toggle('lit', s.back >= 0 && s.back !== 0xc0c0c0);
        break;
      case 'Marker':
        el.setAttribute('aria-label', s.caption);  // a ring around the button: its name shows
        break;
      default:
        break;
    }
  }

  drawList(el, s, before) {
    const same = before && JSON.stringify([before.items, before.bellows, before.markedFirst, before.markedLast, before.notes]) ===
        JSON.stringify([s.items, s.bellows, s.markedFirst, s.markedLast, s.notes]);
    if (!same) {
      el.replaceChildren(...s.items.map((text, i) => {
        const row = document.createElement('div');
        row.className = 'row';
        row.dataset.row = i;
        const b = s.bellows[i];
        // A row's note (how its chord was played along) stands after its text.
        if (s.notes && s.notes[i]) text = `${text} ${s.notes[i]}`;
        row.title = text;  // a long name is cut at the list's edge: the pointer reads it whole
        if (b !== undefined) {
          row.textContent = kBellowsMarks[b] + text;
          if (b) row.classList.add(kBellowsClass[b]);
        } else {
          row.textContent = text;
        }
        if (s.markedFirst >= 0) row.classList.add(i >= s.markedFirst && i <= s.markedLast ? 'marked' : 'faint');
        return row;
      }));
    }
    el.querySelectorAll('.row.selected').forEach((r) => r.classList.remove('selected'));
    const chosen = el.children[s.selected];
    if (chosen) {
      chosen.classList.add('selected');
      // Scrolled within the list only: scrollIntoView would also scroll the window's own box
      // (a list of the wide panel lies outside the narrow window).
      if (!before || before.selected !== s.selected) {
        if (chosen.offsetTop < el.scrollTop) el.scrollTop = chosen.offsetTop;
        else if (chosen.offsetTop + chosen.offsetHeight > el.scrollTop + el.clientHeight)
          el.scrollTop = chosen.offsetTop + chosen.offsetHeight - el.clientHeight;
      }
    }
  }

  /// A chart of the window object: its columns as bars from the bottom (or from the middle of
  /// a centred chart, with its band shaded), their line, a cross where a column has no value.
  drawChart(svg, s) {
    const w = 100;
    const h = 60;
    svg.setAttribute('viewBox', `0 0 ${w} ${h}`);
    svg.setAttribute('preserveAspectRatio', 'none');
    const slot = w / Math.max(1, s.places);
    const middle = s.centred ? h / 2 : h;
    const reach = s.centred ? h / 2 : h;
    let out = `<rect x="0" y="0" width="${w}" height="${h}" fill="none" stroke="#ccc" stroke-width="0.3"/>`;
    if (s.band > 0) out += `<rect x="0" y="${middle - (s.band / 1000) * reach}" width="${w}" height="${2 * (s.band / 1000) * reach}" fill="rgba(60,180,60,0.16)"/>`;
    if (s.centred) out += `<line x1="0" y1="${middle}" x2="${w}" y2="${middle}" stroke="#ccc" stroke-width="0.3"/>`;
    const line = [];
    s.columns.forEach((c, i) => {
      const x = i * slot;
      const colour = cssColour(c.colour >= 0 ? c.colour : 0x3cb43c);
      if (c.cross) {
        out += `<path d="M${x + 1} ${middle - 3}L${x + slot - 1} ${middle + 3}M${x + 1} ${middle + 3}L${x + slot - 1} ${middle - 3}" stroke="${colour}" stroke-width="0.8"/>`;
      } else {
        const bar = Math.max((c.height / 1000) * reach, s.centred ? 0 : 0);
        const top = bar > 0 ? middle - bar : middle;
        out += `<rect x="${x + 0.5}" y="${top}" width="${slot - 1}" height="${Math.max(Math.abs(bar), s.centred ? 1 : 0)}" fill="${colour}"/>`;
      }
      if (c.line >= 0) line.push(`${x + slot / 2},${h - (c.line / 1000) * h}`);
    });
    if (line.length) out += `<polyline points="${line.join(' ')}" fill="none" stroke="#1e5ac8" stroke-width="0.8"/>`;
    svg.innerHTML = out;
    svg.parentElement.title = [s.tip, s.footer].filter(Boolean).join('\n');
  }

  drawWindow(w) {
    this.width = w.width;
    this.height = w.height;
    this.root.style.width = px(w.width);
    this.root.style.height = px(w.height);
    this.root.classList.toggle('wide', w.width > 15165);
    document.title = w.caption || 'Tastrello';
    if (this.beeps !== undefined && w.beeps > this.beeps) {
      // Many machines play no bell: the status line flashes.
      const status = this.elements.get('StatusLine');
      if (status) {
        status.el.classList.add('flash');
        setTimeout(() => status.el.classList.remove('flash'), 180);
      }
    }
    this.beeps = w.beeps;
    this.problems = w.problems;
    this.fit();
  }

  /// Scales the window to the viewport (a laptop, a tablet held sideways), keeping its shape.
  fit() {
    const stage = this.root.parentElement;
    const scale = Math.min(stage.clientWidth / (this.width / kTwipsPerPixel), stage.clientHeight / (this.height / kTwipsPerPixel));
    this.root.style.transform = `scale(${scale})`;
    this.root.style.left = `${(stage.clientWidth - (this.width / kTwipsPerPixel) * scale) / 2}px`;
    this.root.style.top = `${(stage.clientHeight - (this.height / kTwipsPerPixel) * scale) / 2}px`;
  }
}
