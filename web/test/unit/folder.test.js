// The working folder, its seeding from the shipped data, and files in and out.
import assert from 'node:assert/strict';
import {describe, it} from 'node:test';

import {unzipSync, zipSync} from 'fflate';

import {decode, encode, sameName} from '../../page/cp1252.js';
import {checkImport, exportZip, importFiles, importZip} from '../../page/exchange.js';
import {joinLines, kOfferedList, MemoryStore, splitLines, WorkingFolder} from '../../page/folder.js';

const bytes = (text) => encode(text);
const text = (b) => (b ? decode(b) : null);

function shippedFrom(files) {
  const fetched = [];
  return {
    paths: Object.keys(files),
    fetched,
    fetchFile: async (path) => {
      fetched.push(path);
      if (!(path in files)) throw new Error('404');
      return bytes(files[path]);
    },
  };
}

describe('Windows-1252', () => {
  it('round-trips every byte the code page has, the holes included', () => {
    const all = Uint8Array.from({length: 256}, (_, i) => i);
    assert.deepEqual(encode(decode(all)), all);
    assert.equal(decode(Uint8Array.of(0x80, 0xfc, 0x9e)), '\u20acü\u017e');
  });
  it('refuses what it cannot hold rather than changing it', () => {
    assert.equal(encode('Łódź'), null);
    assert.equal(encode('🎵'), null);
  });
  it('holds Latin-1 up to U+00FF and nothing above it but the table\'s characters', () => {
    assert.deepEqual(encode('\u00a0\u00ff'), Uint8Array.of(0xa0, 0xff));
    // U+0100 is the first character past Latin-1: a byte of its own would be 0x00 cut from 0x100.
    assert.equal(encode('\u0100'), null);
    assert.equal(encode('a\u0100b'), null);
    assert.equal(encode('\u0101'), null);
    assert.deepEqual(encode('\u0152\u0178\u2122'), Uint8Array.of(0x8c, 0x9f, 0x99));
  });
  it('takes the C1 code points only where the code page has a hole', () => {
    // 0x80 and 0x9F are the euro and Ÿ in the code page: their C1 code points have no byte.
    assert.equal(encode('\u0080'), null);
    assert.equal(encode('\u009f'), null);
    assert.deepEqual(encode('\u0081\u009d'), Uint8Array.of(0x81, 0x9d));
    assert.deepEqual(encode('\u007f\u20ac'), Uint8Array.of(0x7f, 0x80));
  });
  it('compares names as the desktop does: ASCII, Latin-1 and š œ ž by case, ÿ not', () => {
    assert.ok(sameName('records/LESSONS_ä.TXT', 'Records/Lessons_Ä.txt'));
    assert.ok(sameName('\u0161\u0153\u017e', '\u0160\u0152\u017d'));
    assert.ok(!sameName('\u00ff', '\u0178'));
    assert.ok(!sameName('a', 'ab'));
  });
});

describe('the working folder', () => {
  it('keeps bytes exactly and finds a file by its name in any letter case', async () => {
    const folder = new WorkingFolder(new MemoryStore());
    const record = Uint8Array.of(0x41, 0xfc, 0x0d, 0x0a, 0x80, 0x0d, 0x0a);
    assert.equal(await folder.replace('Records/Records_Grüß.txt', record), '');
    assert.deepEqual(await folder.read('records/RECORDS_GRÜß.TXT'), record);
    // A save under another letter case replaces the stored file instead of adding one.
    assert.equal(await folder.replace('RECORDS/records_grüß.txt', bytes('x')), '');
    assert.deepEqual(await folder.list('Records'), ['Records_Grüß.txt']);
    assert.equal(text(await folder.read('Records/Records_Grüß.txt')), 'x');
    assert.equal(await folder.read('Records/none.txt'), null);
  });
  it('lists only the files directly in a folder', async () => {
    const folder = new WorkingFolder(new MemoryStore());
    await folder.replace('Records/a.txt', bytes('a'));
    await folder.replace('Data/Records.txt', bytes('b'));
    assert.deepEqual(await folder.list('Records/'), ['a.txt']);
    assert.deepEqual(await folder.list('Notes'), []);
  });
  it('refuses names outside its folders or that the encoding cannot hold, storing nothing', async () => {
    const store = new MemoryStore();
    const folder = new WorkingFolder(store);
    for (const path of ['../x.txt', 'Records/../Data/x', 'Other/x.txt', 'Records/', 'Records/a/b.txt',
                        'Records/Łódź.txt', 'Records/a\u0000b', 'x.txt'])
      assert.notEqual(await folder.replace(path, bytes('a')), '', path);
    assert.deepEqual(await store.keys(), []);
  });
  it('refuses a file larger than the desktop takes', async () => {
    const folder = new WorkingFolder(new MemoryStore());
    assert.deepEqual(await folder.replace('Records/big.txt', new Uint8Array(16 * 1024 * 1024 + 1)), {text: 'WhyZipTooLarge', args: ['Records/big.txt', '16']});
    assert.equal(await folder.replace('Records/big.txt', new Uint8Array(16 * 1024 * 1024)), '');
  });
  it('reads lines as the desktop does and writes them with CR LF', () => {
    assert.deepEqual(splitLines(bytes('\u00ef\u00bb\u00bfa\r\nb\nc\rd')), ['a', 'b', 'c', 'd']);
    assert.deepEqual(splitLines(bytes('a\r\n\r\n')), ['a', '']);
    assert.equal(decode(joinLines(['a', 'ü'])), 'a\r\nü\r\n');
  });
});

describe('seeding from the shipped data', () => {
  const shipped = {'Data/Tastrel.Ini': 'LANGUAGE: 1\r\n', 'Records/Lessons_1 C.txt': 'L1', 'Records/Records_Demo.txt': 'D'};

  it('copies every shipped file once and lists it as offered, in byte order', async () => {
    const folder = new WorkingFolder(new MemoryStore());
    const s = shippedFrom(shipped);
    assert.equal(await folder.seed(s.paths, s.fetchFile), null);
    assert.equal(text(await folder.read('Records/Lessons_1 C.txt')), 'L1');
    assert.deepEqual(splitLines(await folder.read(kOfferedList)),
                     ['Data/Tastrel.Ini', 'Records/Lessons_1 C.txt', 'Records/Records_Demo.txt']);
  });
  it('never brings back a lesson the learner deleted, and never overwrites the learner\'s file', async () => {
    const folder = new WorkingFolder(new MemoryStore());
    let s = shippedFrom(shipped);
    await folder.seed(s.paths, s.fetchFile);
    await folder.remove('Records/Lessons_1 C.txt');
    await folder.replace('Records/Records_Demo.txt', bytes('mine'));
    s = shippedFrom(shipped);
    assert.equal(await folder.seed(s.paths, s.fetchFile), null);
    assert.deepEqual(s.fetched, []);
    assert.equal(await folder.read('Records/Lessons_1 C.txt'), null);
    assert.equal(text(await folder.read('Records/Records_Demo.txt')), 'mine');
  });
  it('still brings a file shipped by a later version, and keeps the learner\'s file of that name', async () => {
    const folder = new WorkingFolder(new MemoryStore());
    let s = shippedFrom(shipped);
    await folder.seed(s.paths, s.fetchFile);
    await folder.replace('records/lessons_9 new.TXT', bytes('mine'));
    s = shippedFrom({...shipped, 'Records/Lessons_5 Neu.txt': 'L5', 'Records/Lessons_9 New.txt': 'theirs'});
    assert.equal(await folder.seed(s.paths, s.fetchFile), null);
    assert.equal(text(await folder.read('Records/Lessons_5 Neu.txt')), 'L5');
    assert.equal(text(await folder.read('Records/Lessons_9 New.txt')), 'mine');
    assert.ok(splitLines(await folder.read(kOfferedList)).includes('Records/Lessons_9 New.txt'));
  });
  it('offers a file that could not be fetched again next time, saying why', async () => {
    const folder = new WorkingFolder(new MemoryStore());
    const s = shippedFrom(shipped);
    const paths = [...s.paths, 'Records/Lessons_2 Lost.txt'];
    const problem = await folder.seed(paths, s.fetchFile);
    assert.equal(problem.text, 'MsgSeedCopy');
    assert.deepEqual(problem.args, ['Records/Lessons_2 Lost.txt', '404']);
    assert.ok(!splitLines(await folder.read(kOfferedList)).includes('Records/Lessons_2 Lost.txt'));
    const again = shippedFrom({...shipped, 'Records/Lessons_2 Lost.txt': 'found'});
    assert.equal(await folder.seed(again.paths, again.fetchFile), null);
    assert.deepEqual(again.fetched, ['Records/Lessons_2 Lost.txt']);
  });
});

describe('files in and out', () => {
  const zip = {zipSync, unzipSync};

  async function filled() {
    const folder = new WorkingFolder(new MemoryStore());
    await folder.replace('Data/Tastrel.Ini', bytes('LANGUAGE: 1\r\n'));
    await folder.replace('Records/Records_Grüß.txt', Uint8Array.of(0x80, 0x0d, 0x0a, 0xff, 0x00));
    await folder.replace('Notes/Notes_G-C-F.txt', bytes('a\r\nb\r\n'));
    return folder;
  }

  it('exports the whole folder as a zip that imports back byte for byte', async () => {
    const source = await filled();
    const target = new WorkingFolder(new MemoryStore());
    await target.replace('Records/Records_Other.txt', bytes('kept'));
    const result = await importZip(target, await exportZip(source, zip), zip, 'T.zip');
    assert.deepEqual(result.imported.sort(), [...(await source.all()).keys()].sort());
    for (const [path, b] of await source.all()) assert.deepEqual(await target.read(path), b, path);
    assert.equal(text(await target.read('Records/Records_Other.txt')), 'kept');
  });
  it('refuses a zip with a file outside the folders, changing nothing', async () => {
    const target = await filled();
    const before = await target.all();
    for (const name of ['../evil.txt', 'Records/../../x', 'Other/a.txt', 'top.txt', 'Records/a/b.txt']) {
      const bad = zipSync({'Records/Records_New.txt': bytes('new'), [name]: bytes('x')});
      const result = await importZip(target, bad, zip, 'T.zip');
      assert.ok(['WebWhyNotInFolder', 'WebWhyNotFileName'].includes(result.problem.text), `${name}: ${JSON.stringify(result.problem)}`);
      assert.deepEqual(await target.all(), before, name);
    }
  });
  it('refuses what is no zip, an empty one, one too large and one that unpacks too large, with the reason', async () => {
    // Each reason is a text of the program's table with the zip's or the member's name, for the
    // page to say in the learner's language.
    const target = await filled();
    const before = await target.all();
    const refusal = async (bytes) => (await importZip(target, bytes, zip, 'Backup.zip')).problem;
    const notZip = await refusal(bytes('PK no zip at all'));
    assert.equal(notZip.text, 'WebWhyNotZip');
    assert.equal(notZip.args[0], 'Backup.zip');
    assert.deepEqual(await refusal(zipSync({})), {text: 'WebWhyZipEmpty', args: ['Backup.zip']});
    const huge = zipSync({'Records/Records_A.txt': new Uint8Array(17 * 1024 * 1024)}, {level: 9});
    assert.ok(huge.length < 1024 * 1024);  // small to download, too large unpacked
    assert.deepEqual(await refusal(huge), {text: 'WhyZipTooLarge', args: ['Records/Records_A.txt', '16']});
    const many = Object.fromEntries(Array.from({length: 5}, (_, i) => [`Records/Records_${i}.txt`, new Uint8Array(15 * 1024 * 1024)]));
    assert.deepEqual(await refusal(zipSync(many, {level: 9})), {text: 'WebWhyZipUnpacks', args: ['Backup.zip', '64']});
    assert.deepEqual(await refusal(new Uint8Array(32 * 1024 * 1024 + 1)), {text: 'WhyZipTooLarge', args: ['Backup.zip', '32']});
    assert.deepEqual(await target.all(), before);
  });
  it('puts a single file where its name says, and refuses strangers', async () => {
    assert.deepEqual(checkImport('Lessons_5 Polka.txt', bytes('x')), {path: 'Records/Lessons_5 Polka.txt'});
    assert.deepEqual(checkImport('notes_A-D-G.TXT', bytes('x')), {path: 'Notes/notes_A-D-G.TXT'});
    assert.deepEqual(checkImport('Tastrel.Ini', bytes('x')), {path: 'Data/Tastrel.Ini'});
    assert.deepEqual(checkImport('holiday.jpg', bytes('x')).problem, {text: 'WebWhyNotOwnFile', args: ['holiday.jpg']});
    assert.deepEqual(checkImport('Records_x.txt', Uint8Array.of(0x41, 0x00)).problem, {text: 'WebWhyNotText', args: ['Records_x.txt']});
    assert.deepEqual(checkImport('Records_Łódź.txt', bytes('x')).problem, {text: 'WebWhyNotCp1252', args: ['Records/Records_Łódź.txt']});
  });
  it('imports several single files all or none', async () => {
    const folder = await filled();
    const before = await folder.all();
    const refused = await importFiles(folder, [{name: 'Lessons_5.txt', bytes: bytes('a')}, {name: 'x.exe', bytes: bytes('b')}]);
    assert.deepEqual(refused.problem.args, ['x.exe']);
    assert.deepEqual(await folder.all(), before);
    const taken = await importFiles(folder, [{name: 'Lessons_5.txt', bytes: bytes('a')}]);
    assert.deepEqual(taken.imported, ['Records/Lessons_5.txt']);
  });
});
