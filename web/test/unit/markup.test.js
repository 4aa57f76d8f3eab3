// The page's answers for the score import that need no browser: a member of an archive inflated
// to exactly the size it claims, and the text of an XML document by its encoding.
import assert from 'node:assert/strict';
import {describe, it} from 'node:test';

import * as zip from 'fflate';

import {decodeXml, inflateExactly} from '../../page/markup.js';

const score = new TextEncoder().encode('<score-partwise>' + '<measure/>'.repeat(5000) + '</score-partwise>');

describe('a member of an archive inflated', () => {
  it('gives the bytes when they are as many as the archive says', () => {
    const got = inflateExactly(zip, zip.deflateSync(score), score.length);
    assert.deepEqual(got.bytes, score);
  });
  it('refuses a member that inflates to more or to less than it claims', () => {
    const deflated = zip.deflateSync(score);
    assert.equal(inflateExactly(zip, deflated, score.length - 1).problem, 'size');
    assert.equal(inflateExactly(zip, deflated, score.length + 1).problem, 'size');
  });
  it('stops a bomb at the size it claims, however much more it would make', () => {
    const bomb = zip.deflateSync(new Uint8Array(64 << 20), {level: 9});
    assert.ok(bomb.length < 200000);
    let made = 0;
    const counting = {
      Inflate: class extends zip.Inflate {
        constructor(ondata) {
          super((chunk, final) => {
            made += chunk.length;
            ondata(chunk, final);
          });
        }
      },
    };
    assert.equal(inflateExactly(counting, bomb, 1000).problem, 'size');
    // Fed a little at a time: nothing near the 64 MB it holds was ever made.
    assert.ok(made < (1 << 20), `${made} bytes made`);
  });
  it('says damaged for data that is no deflate stream or ends early', () => {
    assert.equal(inflateExactly(zip, new Uint8Array([0xff, 0xff, 0xff, 0xff]), 10).problem, 'damaged');
    const deflated = zip.deflateSync(score);
    assert.equal(inflateExactly(zip, deflated.subarray(0, deflated.length >> 1), score.length).problem, 'damaged');
  });
  it('takes an empty member of size 0', () => {
    assert.deepEqual(inflateExactly(zip, zip.deflateSync(new Uint8Array(0)), 0).bytes, new Uint8Array(0));
  });
});

describe('an XML document read as text', () => {
  it('follows a byte order mark of UTF-16 either way round', () => {
    const le = new Uint8Array([0xff, 0xfe, 0x3c, 0, 0x61, 0, 0xe4, 0, 0x2f, 0, 0x3e, 0]);
    assert.equal(decodeXml(le), '<aä/>');
    const be = new Uint8Array([0xfe, 0xff, 0, 0x3c, 0, 0x61, 0, 0xe4, 0, 0x2f, 0, 0x3e]);
    assert.equal(decodeXml(be), '<aä/>');
  });
  it('reads the encoding the declaration names, and UTF-8 without one or for an unknown one', () => {
    const latin = new Uint8Array([...new TextEncoder().encode('<?xml version="1.0" encoding="ISO-8859-1"?><a>'), 0xe4,
                                  ...new TextEncoder().encode('</a>')]);
    assert.match(decodeXml(latin), /<a>ä<\/a>$/);
    assert.equal(decodeXml(new TextEncoder().encode('<a>ä</a>')), '<a>ä</a>');
    assert.equal(decodeXml(new TextEncoder().encode('<?xml version="1.0" encoding="x-no-such"?><a>ä</a>')),
                 '<?xml version="1.0" encoding="x-no-such"?><a>ä</a>');
  });
});
