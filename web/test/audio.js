// Sound for the browser tests and the benchmark: measures of captured sound (level, the
// partials of a chord, the onsets of clicks and their distance from a grid), and chords made
// of reed-like partials for a stand-in microphone to play.

/// RMS and peak in dBFS of `samples` from `from` to `to` (indices).
export function level(samples, from = 0, to = samples.length) {
  let sum = 0;
  let peak = 0;
  for (let i = from; i < to; ++i) {
    sum += samples[i] * samples[i];
    peak = Math.max(peak, Math.abs(samples[i]));
  }
  const db = (x) => (x > 0 ? 20 * Math.log10(x) : -Infinity);
  return {rmsDb: db(Math.sqrt(sum / Math.max(1, to - from))), peakDb: db(peak)};
}

/// The magnitude spectrum of `samples` (a Hann window, zero-padded to a power of two).
export function spectrum(samples, sampleRate, padTo = 1 << 17) {
  const n = Math.max(padTo, 1 << Math.ceil(Math.log2(samples.length)));
  const re = new Float64Array(n);
  const im = new Float64Array(n);
  for (let i = 0; i < samples.length; ++i)
    re[i] = samples[i] * (0.5 - 0.5 * Math.cos((2 * Math.PI * i) / (samples.length - 1)));
  fft(re, im);
  const magnitude = new Float64Array(n / 2);
  for (let k = 0; k < n / 2; ++k) magnitude[k] = Math.hypot(re[k], im[k]);
  return {magnitude, binHz: sampleRate / n};
}

function fft(re, im) {
  const n = re.length;
  for (let i = 1, j = 0; i < n; ++i) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      [re[i], re[j]] = [re[j], re[i]];
      [im[i], im[j]] = [im[j], im[i]];
    }
  }
  for (let len = 2; len <= n; len <<= 1) {
    const angle = (-2 * Math.PI) / len;
    const wr = Math.cos(angle);
    const wi = Math.sin(angle);
    for (let i = 0; i < n; i += len) {
      let cr = 1;
      let ci = 0;
      for (let j = 0; j < len / 2; ++j) {
        const a = i + j;
        const b = a + len / 2;
        const tr = re[b] * cr - im[b] * ci;
        const ti = re[b] * ci + im[b] * cr;
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
        [cr, ci] = [cr * wr - ci * wi, cr * wi + ci * wr];
      }
    }
  }
}

/// The spectrum's peaks (local maxima at least `floorDb` below the highest), loudest first,
/// each at its frequency refined between bins.
export function partials({magnitude, binHz}, floorDb = -40, fromHz = 50) {
  let top = 0;
  for (const m of magnitude) top = Math.max(top, m);
  const floor = top * 10 ** (floorDb / 20);
  const peaks = [];
  for (let k = Math.max(2, Math.ceil(fromHz / binHz)); k < magnitude.length - 2; ++k) {
    const m = magnitude[k];
    if (m < floor || m < magnitude[k - 1] || m < magnitude[k + 1] || m < magnitude[k - 2] ||
        m < magnitude[k + 2])
      continue;
    const a = Math.log(magnitude[k - 1]);
    const b = Math.log(m);
    const c = Math.log(magnitude[k + 1]);
    const shift = (0.5 * (a - c)) / (a - 2 * b + c);
    peaks.push({hz: (k + shift) * binHz, db: 20 * Math.log10(m / top)});
  }
  return peaks.sort((x, y) => y.db - x.db);
}

export const noteHz = (note) => 440 * 2 ** ((note - 69) / 12);
export const cents = (hz, reference) => 1200 * Math.log2(hz / reference);

/// For each of `notes`, its fundamental as the partials show it: the peak nearest each of its
/// first harmonics, divided by the harmonic's number, taken from the loudest such peak. Also
/// the partials that belong to no note's harmonics.
export function chordPitches(peaks, notes, harmonics = 8, tolerance = 25) {
  const found = notes.map((note) => {
    const f = noteHz(note);
    // The lowest harmonic that sounds clearly (within 30 dB of the loudest partial): higher
    // ones may meet another note's partials.
    for (let h = 1; h <= harmonics; ++h) {
      let best = null;
      for (const p of peaks) {
        const off = cents(p.hz / h, f);
        if (Math.abs(off) <= tolerance && p.db > -30 && (!best || p.db > best.db))
          best = {hz: p.hz / h, db: p.db, harmonic: h, cents: off};
      }
      if (best) return {note, ...best};
    }
    return {note};
  });
  const stray = peaks.filter((p) => !notes.some((note) => {
    const ratio = p.hz / noteHz(note);
    const h = Math.round(ratio);
    return h >= 1 && Math.abs(cents(ratio, h)) <= tolerance;
  }));
  return {found, stray};
}

/// The onsets of clicks: the first sample of each sound that rises above `threshold` (a share
/// of the loudest sample) after at least `quietMs` below it.
export function onsets(samples, sampleRate, threshold = 0.1, quietMs = 20) {
  let top = 0;
  for (const s of samples) top = Math.max(top, Math.abs(s));
  const limit = top * threshold;
  const quiet = Math.round((quietMs / 1000) * sampleRate);
  const found = [];
  let lastLoud = -Infinity;
  for (let i = 0; i < samples.length; ++i) {
    if (Math.abs(samples[i]) < limit) continue;
    if (i - lastLoud > quiet) found.push(i);
    lastLoud = i;
  }
  return found;
}

/// How far each onset (in samples) lies from a grid of `intervalS` seconds whose origin is
/// the median of what the onsets say (the output's constant latency is no deviation):
/// milliseconds, sorted, with the median, p99 and largest.
export function gridDeviation(onsetSamples, sampleRate, intervalS) {
  const t = onsetSamples.map((s) => s / sampleRate);
  const origins = t.map((x, n) => x - n * intervalS).sort((a, b) => a - b);
  const origin = origins[Math.floor(origins.length / 2)];
  const ms = t.map((x, n) => Math.abs(x - origin - n * intervalS) * 1000).sort((a, b) => a - b);
  const at = (q) => ms[Math.min(ms.length - 1, Math.ceil(q * ms.length) - 1)];
  return {count: ms.length, median: at(0.5), p99: at(0.99), max: ms[ms.length - 1]};
}

export function quantile(values, q) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.max(0, Math.ceil(q * sorted.length) - 1))];
}

/// `seconds` of sound at `sampleRate` holding the notes (MIDI numbers) from `at` for `length`
/// seconds as an accordion's reeds sound them: each note two reeds a few cents apart, each
/// with partials falling off about as 1/h and a little uneven, with an attack and a release;
/// over faint noise. The same for the same `seed`.
export function reedChord(notes, {seconds = 1, sampleRate = 48000, at = 0, length = 0.6, level = 0.05, seed = 1} = {}) {
  let state = seed >>> 0 || 1;
  const random = () => {
    state ^= state << 13;
    state ^= state >>> 17;
    state ^= state << 5;
    return (state >>> 0) / 2 ** 32;
  };
  const out = new Float32Array(Math.round(seconds * sampleRate));
  const attack = 0.02;
  const release = 0.03;
  const first = Math.round(at * sampleRate);
  const last = Math.min(out.length, Math.round((at + length + release) * sampleRate));
  for (const note of notes) {
    for (const cents of [0, 7]) {
      const f0 = noteHz(note) * 2 ** (cents / 1200);
      for (let h = 1; h <= 20 && h * f0 < sampleRate / 2.2; ++h) {
        const amplitude = (level / h ** 0.9) * (0.6 + 0.8 * random());
        const phase = 2 * Math.PI * random();
        const step = (2 * Math.PI * h * f0) / sampleRate;
        for (let i = first; i < last; ++i) {
          const t = (i - first) / sampleRate;
          let envelope = Math.min(1, t / attack);
          if (t > length) envelope *= Math.max(0, 1 - (t - length) / release);
          out[i] += envelope * amplitude * Math.sin(step * (i - first) + phase);
        }
      }
    }
  }
  for (let i = 0; i < out.length; ++i) out[i] += 0.001 * (random() + random() + random() - 1.5);
  return out;
}
