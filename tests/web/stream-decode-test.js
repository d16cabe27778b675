// The page's streaming MP3 decoder (web/StreamDecoder.cpp built with emcc) under node against
// the program's decode of the same file (its libmpg123, built from the same source with the
// same options: the plain C decoder, no assembly):
//   - fed in odd-sized pieces or all at once, it gives the program's samples byte for byte;
//   - after a seek (before the first frame, forwards, backwards, to the end) it goes on from
//     exactly the sample sought, fed from the byte it names: as many samples to the end as the
//     program has from there, each within one step of it (libmpg123's plain C synthesis
//     rounds some samples the other way when a seek restarts it at another place in its
//     filter's ring, natively too);
//   - random bytes, an empty file and a cut one end cleanly.
//
//   node stream-decode-test.js MODULE_DIR MP3 PROGRAM_PCM
//
// MODULE_DIR holds mp3-stream-decoder.js (build-web/wasm); PROGRAM_PCM is the output of
// mp3-decode-check (built with the program) for MP3.
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');

const [moduleDir, mp3File, programFile] = process.argv.slice(2);
let failures = 0;
function check(condition, what) {
    console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
    if (!condition) failures += 1;
}

const status = {more: 0, needsInput: 1, ended: 2, failed: 3, reposition: 4};

// A decoder fed from `file` by pieces of the sizes in `pieces` (in turn).
class Stream {
    constructor(m, file, pieces) {
        this.m = m;
        this.file = file;
        this.pieces = pieces;
        this.turn = 0;
        this.at = 0; // the file's next byte to feed
        this.handle = m._mp3Open(file.length);
        this.input = m._malloc(65536);
        this.output = m._malloc(16384);
        this.samples = [];
        this.count = 0; // bytes decoded
    }
    // Decodes until `bytes` more are out or the end; the status it stopped at.
    run(bytes = Infinity) {
        const m = this.m;
        const goal = this.count + bytes;
        for (;;) {
            if (this.count >= goal) return status.more;
            const made = m._mp3Read(this.handle, this.output, 16384);
            if (made > 0) {
                this.samples.push(Buffer.from(m.HEAPU8.subarray(this.output, this.output + made)));
                this.count += made;
            }
            const now = m._mp3Status(this.handle);
            if (now === status.ended || now === status.failed) return now;
            if (now === status.reposition) this.at = m._mp3InputOffset(this.handle);
            if (now === status.needsInput) this.feed();
        }
    }
    feed() {
        const m = this.m;
        if (this.at >= this.file.length) {
            m._mp3EndOfInput(this.handle);
            return;
        }
        const size = Math.min(this.pieces[this.turn++ % this.pieces.length], 65536,
                              this.file.length - this.at);
        m.HEAPU8.set(this.file.subarray(this.at, this.at + size), this.input);
        if (m._mp3Feed(this.handle, this.input, size) !== 0) return;
        this.at += size;
    }
    // Seeks to `sample`; what was decoded before is dropped.
    seek(sample) {
        const offset = this.m._mp3Seek(this.handle, sample);
        if (offset >= 0) this.at = offset;
        this.samples = [];
        this.count = 0;
        return offset;
    }
    result() {
        return Buffer.concat(this.samples);
    }
    error() {
        return this.m.UTF8ToString(this.m._mp3Error(this.handle));
    }
    close() {
        this.m._mp3Close(this.handle);
        this.m._free(this.input);
        this.m._free(this.output);
    }
}

// How many 16-bit samples of a and b differ, and by how much at most.
function compare(a, b) {
    let differing = 0;
    let largest = 0;
    const n = Math.min(a.length, b.length) / 2;
    for (let i = 0; i < n; ++i) {
        const d = Math.abs(a.readInt16LE(i * 2) - b.readInt16LE(i * 2));
        if (d !== 0) differing += 1;
        largest = Math.max(largest, d);
    }
    return {differing, largest, n};
}

// Where two sample buffers first differ, for the messages.
function firstDifference(a, b) {
    const n = Math.min(a.length, b.length);
    for (let i = 0; i < n; ++i)
        if (a[i] !== b[i]) return `byte ${i}`;
    return a.length === b.length ? 'none' : `lengths ${a.length} and ${b.length}`;
}

async function main() {
    const createDecoder = require(path.resolve(moduleDir, 'mp3-stream-decoder.js'));
    const m = await createDecoder();
    const file = fs.readFileSync(mp3File);
    const program = fs.readFileSync(programFile);
    const frames = program.length / 4;
    check(frames > 44100 * 10, `the program's decode holds over 10 s of sound (${frames} frames)`);

    // [SECTION] straight through
    for (const [name, pieces] of [['odd pieces (1, 7, 333, 4096, 1000, 65536, 13 bytes)',
                                   [1, 7, 333, 4096, 1000, 65536, 13]],
                                  ['pieces of 64 KiB', [65536]]]) {
        const stream = new Stream(m, file, pieces);
        const end = stream.run();
        const out = stream.result();
        check(end === status.ended && out.equals(program),
              `fed in ${name}, the samples equal the program's decode byte for byte ` +
                  `(${out.length / 4} frames; first difference: ${firstDifference(out, program)})`);
        stream.close();
    }

    // [SECTION] seeks
    const middle = Math.floor(frames / 2);
    const cases = [
        {name: 'before any byte is fed', warm: 0, target: 1152 * 40 + 17},
        {name: 'to sample 1 after a second', warm: 44100, target: 1},
        {name: 'back to 0.3 s after a second', warm: 44100, target: 13230},
        {name: 'forwards to the middle', warm: 44100, target: middle},
        {name: 'back to 3 s after 8 s', warm: 8 * 44100, target: 3 * 44100 + 5},
        {name: 'to the last frame', warm: 44100, target: frames - 1},
    ];
    for (const c of cases) {
        const stream = new Stream(m, file, [333, 4096, 7, 1000]);
        if (c.warm > 0) stream.run(c.warm * 4);
        const offset = stream.seek(c.target);
        const end = stream.run();
        const out = stream.result();
        const expected = program.subarray(c.target * 4);
        const d = compare(out, expected);
        check(offset >= 0 && end === status.ended && out.length === expected.length &&
                  d.largest <= 1 && d.differing < d.n / 1000,
              `a seek ${c.name} (sample ${c.target}, fed from byte ${offset}) goes on with the ` +
                  `program's samples from there (${out.length / 4} of ` +
                  `${expected.length / 4} frames; ${d.differing} samples off, by at most ${d.largest})`);
        stream.close();
    }
    // With the whole file's frames indexed, a seek far ahead reads from near its frame.
    {
        const indexer = m._mp3IndexOpen();
        const bytes = m._malloc(65536);
        let fed = true;
        for (let at = 0; at < file.length && fed; at += 65536) {
            const piece = file.subarray(at, Math.min(file.length, at + 65536));
            m.HEAPU8.set(piece, bytes);
            fed = m._mp3IndexFeed(indexer, bytes, piece.length) === 0;
        }
        const indexed = m._mp3IndexFrames(indexer);
        check(fed && Math.abs(indexed - frames / 1152) < 3,
              `the indexer finds the file's frames (${indexed} for ${frames} samples)`);
        const target = frames - 3 * 44100;
        const stream = new Stream(m, file, [4096]);
        m._mp3UseIndex(stream.handle, indexer);
        stream.run(44100 * 4);
        const was = stream.at;
        const offset = stream.seek(target);
        const end = stream.run();
        const out = stream.result();
        const expected = program.subarray(target * 4);
        const d = compare(out, expected);
        check(offset > file.length * 0.9 && end === status.ended &&
                  out.length === expected.length && d.largest <= 1 && d.differing < d.n / 1000,
              `a seek to 3 s before the end goes from byte ${was} to byte ${offset} of ` +
                  `${file.length} and on with the program's samples (${out.length / 4} of ` +
                  `${expected.length / 4} frames; ${d.differing} samples off, by at most ${d.largest})`);
        m._mp3UseIndex(stream.handle, 0);
        stream.close();
        m._mp3IndexClose(indexer);
        m._free(bytes);
    }
    {
        const stream = new Stream(m, file, [4096]);
        stream.run(44100 * 4);
        stream.seek(frames + 44100);
        const end = stream.run();
        check(end === status.ended && stream.count === 0,
              `a seek past the end ends without sound (${stream.count} bytes)`);
        stream.close();
    }

    // [SECTION] what is no MP3
    const junk = new Stream(m, crypto.randomBytes(300000), [4096]);
    const junkEnd = junk.run();
    check((junkEnd === status.failed || junkEnd === status.ended) && junk.count === 0,
          `random bytes give no sound and end (${junkEnd === status.failed ? junk.error() : 'the end'})`);
    junk.close();
    const empty = new Stream(m, Buffer.alloc(0), [4096]);
    check(empty.run() !== status.more && empty.count === 0, 'an empty file ends without sound');
    empty.close();
    const cut = new Stream(m, file.subarray(0, 100000), [777]);
    const cutEnd = cut.run();
    const cutOut = cut.result();
    check(cutEnd === status.ended && cutOut.length > 44100 * 4 &&
              cutOut.equals(program.subarray(0, cutOut.length)),
          `a file cut at 100,000 bytes plays the program's first ${cutOut.length / 4} frames`);
    cut.close();
}

main().then(() => {
    console.log(failures === 0 ? 'stream decode tests passed' : `${failures} stream decode checks FAILED`);
    process.exit(failures === 0 ? 0 : 1);
}, (error) => {
    console.log(`FAIL the stream decode test ran to its end (${error.stack || error})`);
    process.exit(1);
});
