// The show rendered headless under node by the WebAssembly build, as demo-render does natively:
// one line per frame, "index ticks digest" of the 640 x 480 x 3 bytes of video mode (SHA-256,
// or MD5 with --md5 to compare with a list of MD5s).
//
//   node web/render-node.js MODULE_DIR PACK [--end TICKS] [--every K] [--md5]
//
// MODULE_DIR holds demo.js and demo.wasm (build-web/wasm); PACK is the _.dat to show.
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');

function usage(problem) {
    process.stderr.write(`render-node: ${problem}\n` +
                         'usage: node render-node.js MODULE_DIR PACK [--end TICKS] [--every K] [--md5]\n');
    process.exit(2);
}

function parseArguments(argv) {
    if (argv.length < 2) usage('a module folder and a pack are needed');
    const options = {moduleDir: argv[0], pack: argv[1], end: -1, every: 1, hash: 'sha256'};
    for (let i = 2; i < argv.length; i += 2) {
        if (argv[i] === '--md5') {
            options.hash = 'md5';
            i -= 1;
            continue;
        }
        const value = Number(argv[i + 1]);
        if (!Number.isInteger(value) || value < 0) usage(`bad value after ${argv[i]}`);
        if (argv[i] === '--end') options.end = value;
        else if (argv[i] === '--every') options.every = Math.max(1, value);
        else usage(`unknown option ${argv[i]}`);
    }
    return options;
}

async function main() {
    const options = parseArguments(process.argv.slice(2));
    const createDemo = require(path.resolve(options.moduleDir, 'demo.js'));
    const frameBytes = 640 * 480 * 3;
    let last = null;
    const lines = [];
    const flush = () => {
        if (lines.length) process.stdout.write(lines.join(''));
        lines.length = 0;
    };
    const digest = (bytes) => crypto.createHash(options.hash).update(bytes).digest('hex');
    const demo = await createDemo({
        print: (text) => process.stderr.write(text + '\n'),
        printErr: (text) => process.stderr.write(text + '\n'),
        onFrame24: (pointer, index, ticks) => {
            const frame = demo.HEAPU8.subarray(pointer, pointer + frameBytes);
            if (index % options.every === 0) {
                lines.push(`${index} ${ticks} ${digest(frame)}\n`);
                last = null;
            } else {
                last = {index, ticks, frame: Buffer.from(frame)};
            }
            if (lines.length >= 256) flush();
        },
    });
    let pack;
    try {
        pack = fs.readFileSync(options.pack);
    } catch (error) {
        usage(`cannot read ${options.pack} (${error.code})`);
    }
    demo.FS.writeFile('_.dat', pack);
    const words = 'video noaudio' + (options.end >= 0 ? ` end=${options.end}` : '');
    const started = process.hrtime.bigint();
    const run = demo.ccall('webOpen', 'number', ['string'], [words]);
    if (!run) process.exit(1);
    while (demo._webFrame(run)) {
    }
    if (last) lines.push(`${last.index} ${last.ticks} ${digest(last.frame)}\n`);
    flush();
    const seconds = Number(process.hrtime.bigint() - started) / 1e9;
    const frames = demo._webFrameIndex(run);
    demo._webRelease(run);
    process.stderr.write(`${frames} frames in ${seconds.toFixed(2)} s: ` +
                         `${(frames / seconds).toFixed(1)} frames per second\n`);
}

main().catch((error) => {
    process.stderr.write(`render-node: ${error.stack || error}\n`);
    process.exit(1);
});
