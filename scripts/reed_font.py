#!/usr/bin/env python3
"""Writes the program's reed SoundFont: the accordions of the right hand and the Helikon bass
and chord reeds of the left, synthesized and tuned as an accordion is.

reed_font.py OUT.sf2 [PRESETS.h]

Each note's main reed sounds exactly at its pitch in equal temperament (a1 = 440 Hz): a sample
loops over whole periods of its waveform, and its sample rate is chosen so that those periods
last exactly as long as the pitch's periods (to a fiftieth of a cent). The accordion adds a
tremolo reed, the same reed a little sharp and a little quieter, so that the two beat slowly as
a real accordion's reeds do. The preset numbers come from src/sound/reed_presets.h, where the
program reads them too. Python's standard library only; the same input gives the same file.
"""
import math
import random
import re
import struct
import sys
from pathlib import Path

NOMINAL_RATE = 44100
HIGHEST_PARTIAL_HZ = 16000  # below the Nyquist frequency of any output, also a tone higher
MIN_LOOP = 64               # samples: FluidSynth interpolates across the loop's seam
LEVEL_RMS = 0.16            # of full scale, the steady sound of every sample
GEN = {  # SoundFont 2.04 generator numbers
    'pan': 17, 'attackVolEnv': 34, 'holdVolEnv': 35, 'releaseVolEnv': 38, 'instrument': 41,
    'keyRange': 43, 'initialAttenuation': 48, 'fineTune': 52, 'sampleID': 53,
    'sampleModes': 54,
}


def note_hz(note):
    return 440.0 * 2 ** ((note - 69) / 12)


def timecents(seconds):
    return round(1200 * math.log2(seconds))


def centibels(db):
    """The initial attenuation that turns a sound down by `db`: FluidSynth, as the EMU8000
    before it, applies 0.4 of the centibels a SoundFont gives."""
    return round(10 * db / 0.4)


# ---- The reeds' sound -----------------------------------------------------------------------

def reed_partials(f, duty, low_hz, even_db, bright_hz):
    """The amplitudes of a free reed's harmonics. The reed opens its slot for `duty` of each
    period and lets a pulse of air through: every harmonic sounds, as a pulse's do, with the
    dips of its spectrum where whole periods of a harmonic fit into the pulse. The reed, swinging
    through its slot and back, makes odd harmonics stronger than even ones (by `even_db`); a
    small reed chamber passes little of the lowest frequencies (below `low_hz`) and the slot's
    edges round off the highest (above `bright_hz`)."""
    amplitudes = []
    n = 1
    while n * f < HIGHEST_PARTIAL_HZ:
        fn = n * f
        x = math.pi * n * duty
        a = abs(math.sin(x) / x)
        a *= (fn / low_hz) / math.sqrt(1 + (fn / low_hz) ** 2)
        a /= math.sqrt(1 + (fn / bright_hz) ** 4)
        if n % 2 == 0:
            a *= 10 ** (even_db / 20)
        amplitudes.append(a)
        n += 1
    top = max(amplitudes)
    return [a / top if a / top > 1e-4 else 0.0 for a in amplitudes]


class Voice:
    """One preset: its reed's sound by register, its tremolo, its attack."""

    def __init__(self, name, bank, program, roots, partials, attack, tremolo_cents=None,
                 tremolo_db=0.0, level_db=0.0):
        self.name = name
        self.bank = bank
        self.program = program
        self.roots = roots
        self.partials = partials          # f -> amplitudes of harmonics 1, 2, ...
        self.attack = attack              # f -> seconds until the reed speaks fully
        self.tremolo_cents = tremolo_cents  # f -> cents above the pitch, or None: a dry reed
        self.tremolo_db = tremolo_db      # the tremolo reed's level below the main reed's
        self.level_db = level_db          # the preset's level below full


def steirische_tremolo(f):
    """A tremolo that beats about 1.6 times a second at c1, slower below and faster above, as
    accordions are tuned: cents fall with the pitch but never below 5 nor above 20."""
    beat = 1.6 * math.sqrt(f / 261.63)
    return min(20.0, max(5.0, 1200 * math.log2(1 + beat / f)))


def voices(numbers):
    every_third = list(range(24, 109, 3))  # C, Es, Fis, A of each octave, from C1 to c5
    return [
        Voice('Accordion', 0, numbers['kAccordionProgram'], every_third,
              lambda f: reed_partials(f, 0.1, 300, -6, 3200),
              lambda f: 0.035 if f > 200 else 0.05,
              tremolo_cents=steirische_tremolo, tremolo_db=4.0, level_db=1.0),
        Voice('Tango Accordion', 0, numbers['kTangoAccordionProgram'], every_third,
              lambda f: reed_partials(f, 0.08, 500, -3, 5500),
              lambda f: 0.03 if f > 200 else 0.045, level_db=0.0),
        Voice('Helikon Bass', numbers['kReedBassBank'], numbers['kHelikonProgram'],
              list(range(15, 73, 3)),
              lambda f: reed_partials(f, 0.4, 20, 0, 1200),
              lambda f: 0.07, level_db=0.0),
        Voice('Bass Chords', numbers['kReedBassBank'], numbers['kBassChordProgram'],
              list(range(36, 97, 3)),
              lambda f: reed_partials(f, 0.15, 200, -3, 3000),
              lambda f: 0.04, level_db=3.0),
    ]


# ---- Samples whose loops are in tune ---------------------------------------------------------

def loop_shape(f):
    """(periods, loop samples, sample rate): the loop holds whole periods, and the rate makes
    them last exactly as long as periods of `f` do."""
    periods = max(1, math.ceil(MIN_LOOP * f / NOMINAL_RATE))
    length = round(periods * NOMINAL_RATE / f)
    return periods, length, round(f * length / periods)


def render_reed(f, amplitudes, attack_seconds, seed):
    """The reed speaking and then sounding steadily: the attack, then one loop, then a few
    samples more for the interpolation at the loop's end. Higher harmonics grow later, as they
    do while a reed's swing builds up."""
    periods, length, rate = loop_shape(f)
    attack = round(attack_seconds * rate)
    total = attack + length + 8
    phases = random.Random(seed)
    out = [0.0] * total
    for h, a in enumerate(amplitudes, 1):
        if a == 0.0:
            continue
        phase = phases.uniform(0, 2 * math.pi)
        step = h * periods % length
        sharpness = 1 + 0.35 * min(h - 1, 6)
        m = 0
        for j in range(total):
            value = a * math.sin(2 * math.pi * m / length + phase)
            if j < attack:
                value *= math.sin(0.5 * math.pi * j / attack) ** (2 * sharpness)
            out[j] += value
            m += step
            if m >= length:
                m -= length
    return out, attack, length, rate


def to_pcm(samples, loop_start, loop_end):
    rms = math.sqrt(sum(x * x for x in samples[loop_start:loop_end]) / (loop_end - loop_start))
    gain = LEVEL_RMS * 32767 / rms
    peak = max(abs(x) for x in samples) * gain
    if peak > 32767:
        raise ValueError(f'a sample would clip: peak {peak / 32767:.2f} of full scale')
    return [round(x * gain) for x in samples]


# ---- The SoundFont file -------------------------------------------------------------------------

def chunk(tag, data):
    pad = b'\0' if len(data) % 2 else b''
    return tag + struct.pack('<I', len(data)) + data + pad


def text_chunk(tag, text):
    """A text of the INFO list: ended by a zero and padded to an even length inside the chunk,
    as the format asks."""
    data = text.encode('ascii') + b'\0'
    return chunk(tag, data + b'\0' * (len(data) % 2))


def list_chunk(tag, chunks):
    return chunk(b'LIST', tag + b''.join(chunks))


def name20(text):
    return text.encode('ascii')[:19].ljust(20, b'\0')


def generator(name, value):
    if name == 'keyRange':
        return struct.pack('<HBB', GEN[name], value[0], value[1])
    if value < 0:
        return struct.pack('<Hh', GEN[name], value)
    return struct.pack('<HH', GEN[name], value)


class FontWriter:
    def __init__(self):
        self.pcm = []          # the sample data of all samples, each with its 46 zeros
        self.shdr = []
        self.insts = []        # (name, zones): each zone a list of generators
        self.presets = []      # (name, bank, program, instrument index)

    def add_sample(self, name, pcm, loop_start, loop_end, rate, root):
        start = len(self.pcm)
        self.pcm.extend(pcm)
        end = len(self.pcm)
        self.pcm.extend([0] * 46)
        self.shdr.append(struct.pack('<20sIIIIIBbHH', name20(name), start, end, start + loop_start,
                                     start + loop_end, rate, root, 0, 0, 1))
        return len(self.shdr) - 1

    def add_instrument(self, name, zones):
        self.insts.append((name, zones))
        return len(self.insts) - 1

    def add_preset(self, name, bank, program, instrument):
        self.presets.append((name, bank, program, instrument))

    def bytes(self):
        info = list_chunk(b'INFO', [
            chunk(b'ifil', struct.pack('<HH', 2, 1)),
            text_chunk(b'isng', 'EMU8000'),
            text_chunk(b'INAM', 'Tastrello Reeds'),
            text_chunk(b'ICOP', 'The Tastrello developers, MIT licence'),
            text_chunk(b'ICMT', 'Written by scripts/reed_font.py: synthesized reeds, each in tune.'),
            text_chunk(b'ISFT', 'reed_font.py'),
        ])
        sdta = list_chunk(b'sdta', [chunk(b'smpl', struct.pack(f'<{len(self.pcm)}h', *self.pcm))])
        return chunk(b'RIFF', b'sfbk' + info + sdta + self.pdta())

    def pdta(self):
        ibag, igen = [], []
        inst = []
        for name, zones in self.insts:
            inst.append(struct.pack('<20sH', name20(name), len(ibag)))
            for zone in zones:
                ibag.append(struct.pack('<HH', len(igen), 0))
                igen.extend(generator(k, v) for k, v in zone)
        inst.append(struct.pack('<20sH', name20('EOI'), len(ibag)))
        ibag.append(struct.pack('<HH', len(igen), 0))
        igen.append(b'\0' * 4)
        phdr, pbag, pgen = [], [], []
        for name, bank, program, instrument in sorted(self.presets, key=lambda p: (p[1], p[2])):
            phdr.append(struct.pack('<20sHHHIII', name20(name), program, bank, len(pbag), 0, 0, 0))
            pbag.append(struct.pack('<HH', len(pgen), 0))
            pgen.append(generator('instrument', instrument))
        phdr.append(struct.pack('<20sHHHIII', name20('EOP'), 0, 0, len(pbag), 0, 0, 0))
        pbag.append(struct.pack('<HH', len(pgen), 0))
        pgen.append(b'\0' * 4)
        shdr = self.shdr + [struct.pack('<20sIIIIIBbHH', name20('EOS'), 0, 0, 0, 0, 0, 0, 0, 0, 0)]
        return list_chunk(b'pdta', [
            chunk(b'phdr', b''.join(phdr)), chunk(b'pbag', b''.join(pbag)),
            chunk(b'pmod', b'\0' * 10), chunk(b'pgen', b''.join(pgen)),
            chunk(b'inst', b''.join(inst)), chunk(b'ibag', b''.join(ibag)),
            chunk(b'imod', b'\0' * 10), chunk(b'igen', b''.join(igen)),
            chunk(b'shdr', b''.join(shdr)),
        ])


def key_ranges(roots):
    """Each root plays the keys nearest to it; the lowest and highest reach to the keyboard's
    ends, so that a MIDI instrument's every note sounds."""
    ranges = []
    for i, root in enumerate(roots):
        low = 0 if i == 0 else (roots[i - 1] + root) // 2 + 1
        high = 127 if i == len(roots) - 1 else (root + roots[i + 1]) // 2
        ranges.append((low, high))
    return ranges


def add_voice(font, voice):
    zones = [[('attackVolEnv', timecents(0.003)), ('releaseVolEnv', timecents(0.08))]]
    main_cb = centibels(voice.level_db)
    for root, keys in zip(voice.roots, key_ranges(voice.roots)):
        f = note_hz(root)
        samples, loop_start, length, rate = render_reed(
            f, voice.partials(f), voice.attack(f), seed=voice.program * 1000 + voice.bank * 128 + root)
        pcm = to_pcm(samples, loop_start, loop_start + length)
        sample = font.add_sample(f'{voice.name[:12]} {root}', pcm, loop_start, loop_start + length,
                                 rate, root)
        zones.append([('keyRange', keys), ('initialAttenuation', main_cb), ('sampleModes', 1),
                      ('sampleID', sample)])
        if voice.tremolo_cents:
            zones.append([('keyRange', keys),
                          ('initialAttenuation', centibels(voice.level_db + voice.tremolo_db)),
                          ('fineTune', round(voice.tremolo_cents(f))), ('sampleModes', 1),
                          ('sampleID', sample)])
    font.add_preset(voice.name, voice.bank, voice.program, font.add_instrument(voice.name, zones))


def preset_numbers(header):
    numbers = dict(re.findall(r'constexpr int (k\w+) = (\d+);', header.read_text()))
    return {name: int(value) for name, value in numbers.items()}


def main(out, header):
    font = FontWriter()
    for voice in voices(preset_numbers(header)):
        add_voice(font, voice)
    out.parent.mkdir(parents=True, exist_ok=True)
    temporary = out.with_name(out.name + '.tmp')
    temporary.write_bytes(font.bytes())
    temporary.replace(out)


if __name__ == '__main__':
    source = Path(__file__).resolve().parent.parent
    main(Path(sys.argv[1]),
         Path(sys.argv[2]) if len(sys.argv) > 2 else source / 'src' / 'sound' / 'reed_presets.h')
