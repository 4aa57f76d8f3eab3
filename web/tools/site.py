#!/usr/bin/env python3
"""Assembles the web edition into one folder any static server can serve.

site.py SOURCE BUILD OUT: SOURCE is the repository, BUILD the web build folder (with the
page's module), OUT the site folder, written afresh. The service worker gets the list of
every file and a version made from their contents, so that a new build replaces the cache.
"""
import hashlib
import json
import shutil
import sys
from pathlib import Path

SOUNDFONT = Path('/usr/share/sounds/sf2/TimGM6mb.sf2')
SOUNDFONT_COPYRIGHT = Path('/usr/share/doc/timgm6mb-soundfont/copyright')
GPL2 = Path('/usr/share/common-licenses/GPL-2')
REED_FONT = 'tastrello-reeds.sf2'


def copy(src: Path, dst: Path):
    dst.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(src, dst)


def main(source: Path, build: Path, out: Path):
    web = source / 'web'
    modules = web / 'node_modules'
    if out.exists():
        shutil.rmtree(out)
    out.mkdir(parents=True)

    for f in (web / 'page').iterdir():
        if f.name == 'sw.js' or f.name == 'index.html' or f.name == 'manifest.webmanifest':
            continue
        copy(f, out / 'page' / f.name)
    copy(web / 'page' / 'index.html', out / 'index.html')
    copy(web / 'page' / 'manifest.webmanifest', out / 'manifest.webmanifest')

    synth = modules / 'js-synthesizer'
    copy(synth / 'externals' / 'libfluidsynth-2.4.6.js', out / 'vendor' / 'libfluidsynth-2.4.6.js')
    copy(synth / 'dist' / 'js-synthesizer.worklet.min.js', out / 'vendor' / 'js-synthesizer.worklet.min.js')
    copy(synth / 'externals' / 'LICENSE.fluidsynth.txt', out / 'vendor' / 'LICENSE.fluidsynth.txt')
    copy(synth / 'LICENSE', out / 'vendor' / 'LICENSE.js-synthesizer.txt')
    copy(modules / 'fflate' / 'esm' / 'browser.js', out / 'vendor' / 'fflate.js')
    copy(modules / 'fflate' / 'LICENSE', out / 'vendor' / 'LICENSE.fflate.txt')

    copy(SOUNDFONT, out / 'sound' / SOUNDFONT.name)
    # The program's reed SoundFont, synthesized by the build (scripts/reed_font.py; MIT, as
    # LICENSE.txt says): loaded over TimGM6mb for the accordions and the left hand's reeds.
    copy(build / 'share' / 'sounds' / 'sf2' / REED_FONT, out / 'sound' / REED_FONT)
    (out / 'sound' / 'COPYING.txt').write_text(
        SOUNDFONT_COPYRIGHT.read_text() + '\n\n' + GPL2.read_text())

    copy(source / 'LICENSE', out / 'LICENSE.txt')
    for svg in (source / 'assets').glob('*.svg'):
        copy(svg, out / 'assets' / svg.name)
    copy(source / 'packaging' / 'org.tastrello.Tastrello.svg', out / 'assets' / 'icon.svg')

    shipped = []
    data = source / 'data'
    for f in sorted(data.rglob('*')):
        if f.is_file():
            rel = f.relative_to(data).as_posix()
            copy(f, out / 'data' / rel)
            shipped.append(rel)
    (out / 'data' / 'shipped.json').write_text(json.dumps(shipped, ensure_ascii=False))

    for name in ('tastrello.js', 'tastrello.wasm'):
        module = build / 'web' / name
        if module.exists():
            copy(module, out / name)

    files = sorted(p.relative_to(out).as_posix() for p in out.rglob('*') if p.is_file())
    digest = hashlib.sha256()
    for name in files:
        digest.update(name.encode())
        digest.update((out / name).read_bytes())
    version = digest.hexdigest()[:16]
    worker = (web / 'page' / 'sw.js').read_text()
    worker = worker.replace("'@VERSION@'", json.dumps(version))
    worker = worker.replace("['@FILES@']", json.dumps(['./'] + files))
    (out / 'sw.js').write_text(worker)
    print(f'{out}: {len(files) + 1} files, version {version}')


if __name__ == '__main__':
    main(Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3]))
