// Seeking in the page, in headless Chromium served from 127.0.0.1: the seek index a worker
// builds beside the show, seeks before it is complete and after, each landing on video mode's
// frame grid with the canvas equal to demo-render's frame there; the time a seek takes once the
// index is built; the renderer's resident memory throughout.
//
//   node page-seek-test.js BASE_URL EXPECTED
//
// BASE_URL serves the page with a pack; EXPECTED is demo-render's --sha256 output for the same
// pack (the whole show). Needs puppeteer-core (NODE_PATH) and CHROMIUM (the browser).
'use strict';
const fs = require('fs');
const puppeteer = require('puppeteer-core');

const [baseUrl, expectedFile] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const seekGoalMs = 250;    // at the 95th percentile, once the index is built
// The renderer's resident memory, at most, while the index is built and once it is (about
// 120 MB of it are the browser's own mapped files).
const memoryGoalMb = 250;
let failures = 0;

function check(condition, what) {
    console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
    if (!condition) failures += 1;
}

// demo-render's frames: the digest of each and the ticks after it.
const digests = [];
const ticksAfter = [];
for (const line of fs.readFileSync(expectedFile, 'utf8').split('\n')) {
    const [index, ticks, digest] = line.split(' ');
    if (!digest) continue;
    digests[Number(index)] = digest;
    ticksAfter[Number(index)] = Number(ticks);
}
const drawnAt = (frame) => (frame <= 0 ? 0 : ticksAfter[frame - 1]);
// The frame a seek to `ticks` lands on: the first drawn at or after it.
function frameFor(ticks) {
    let frame = 0;
    while (frame + 1 < digests.length && drawnAt(frame) < ticks) frame += 1;
    return frame;
}

// The resident memory of the browser's renderer processes (one page: one renderer; its
// workers are threads of it), sampled from /proc until stopped, in MB: the largest figure in
// each phase the test names, with its private (anonymous) and file-backed parts.
function watchRenderers(browserPid) {
    const phases = {};
    let phase = 'start';
    let samples = 0;
    const read = (file) => {
        try {
            return fs.readFileSync(file, 'utf8');
        } catch (error) {
            return ''; // the process has just ended
        }
    };
    const parentOf = (pid) => Number(read(`/proc/${pid}/stat`).replace(/^.*\) /s, '').split(' ')[1]);
    const descends = (pid) => {
        for (let at = Number(pid), hops = 0; at > 1 && hops < 10; at = parentOf(at), hops += 1)
            if (at === browserPid) return true;
        return false;
    };
    const sample = () => {
        let now = null;
        for (const pid of fs.readdirSync('/proc').filter((name) => /^[0-9]+$/.test(name))) {
            if (!read(`/proc/${pid}/cmdline`).includes('--type=renderer') || !descends(pid))
                continue;
            const status = read(`/proc/${pid}/status`);
            const mb = (field) =>
                Number((status.match(new RegExp(`^${field}:\\s+(\\d+)`, 'm')) || [0, 0])[1]) / 1024;
            const figures = {mb: mb('VmRSS'), anon: mb('RssAnon'), file: mb('RssFile')};
            if (!now || figures.mb > now.mb) now = figures;
        }
        samples += 1;
        if (now && (!phases[phase] || now.mb > phases[phase].mb)) phases[phase] = now;
        return now;
    };
    const timer = setInterval(sample, 200);
    sample();
    return {
        phases,
        samples: () => samples,
        enter: (name) => {
            sample();
            phase = name;
            sample();
        },
        largest: () => Math.max(0, ...Object.values(phases).map((p) => p.mb)),
        stop: () => clearInterval(timer),
    };
}

// A seek as the page's controls make one, carried out by the run's next pass: the frame it
// landed on, the ms that pass took, and the digest, as demo-render digests a frame, of the
// canvas or of the picture the run gave it. Reading the canvas back makes a copy of it each
// time, memory the page itself never takes: the seeks whose memory is measured read the
// picture in the module instead (page-test.js checks that the canvas shows it).
async function seek(page, ticks, fromCanvas) {
    return page.evaluate(async (ticks, fromCanvas) => {
        const {module, run} = window.demoRun();
        module._webSeekTo(run, ticks);
        const begin = performance.now();
        const result = module._webFrame(run);
        const ms = performance.now() - begin;
        const frame = module._webFrameOnGrid(run);
        const bgr = window.seekTestFrame = window.seekTestFrame || new Uint8Array(640 * 480 * 3);
        if (fromCanvas) {
            const canvas = document.getElementById('screen');
            const rgba = canvas.getContext('2d').getImageData(0, 0, 640, 480).data;
            for (let i = 0, o = 0; i < rgba.length; i += 4, o += 3) {
                bgr[o] = rgba[i + 2];
                bgr[o + 1] = rgba[i + 1];
                bgr[o + 2] = rgba[i];
            }
        } else {
            // Words 0x00RRGGBB, little-endian: blue, green, red, 0.
            const pixels = module.HEAPU8.subarray(module._webPixels(run));
            for (let i = 0, o = 0; o < bgr.length; i += 4, o += 3) {
                bgr[o] = pixels[i];
                bgr[o + 1] = pixels[i + 1];
                bgr[o + 2] = pixels[i + 2];
            }
        }
        const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bgr));
        return {result, ms, frame,
                digest: Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('')};
    }, ticks, fromCanvas);
}

async function checkSeek(page, ticks, what, fromCanvas = false) {
    const s = await seek(page, ticks, fromCanvas);
    const frame = frameFor(ticks);
    check(s.result === 1 && s.frame === frame,
          `${what}: tick ${ticks} lands on frame ${frame} (got ${s.frame})`);
    check(s.digest === digests[frame],
          `${what}: the ${fromCanvas ? 'canvas' : 'picture'} is demo-render's frame ${frame}`);
    return s.ms;
}

// Fixed-seed ticks across the show (a linear congruential sequence).
function seekTicks(count) {
    let state = 2024;
    const ticks = [];
    for (let i = 0; i < count; ++i) {
        state = (state * 1103515245 + 12345) % 2147483648;
        ticks.push(state % 63900);
    }
    return ticks;
}

function quantile(sorted, share) {
    return sorted[Math.min(sorted.length - 1, Math.floor(share * sorted.length))];
}

async function seeking(browser, memory) {
    const page = await browser.newPage();
    await page.setViewport({width: 1400, height: 1000});
    page.on('console', (m) => console.log(`  [page] ${m.text()}`));
    page.on('pageerror', (e) => console.log(`  [page error] ${e.message}`));
    await page.goto(`${baseUrl}/index.html?noaudio`, {waitUntil: 'load'});
    await page.click('#start');
    await page.waitForFunction(() => demoPage.phase === 'running', {timeout: 30000});
    memory.enter('while the index is built');

    // Before the index is complete: far ahead of the builder, then back near the start.
    const early = await page.evaluate(() => demoPage.seekIndex && demoPage.seekIndex.built);
    check(early === false, 'the first seeks come while the index is being built');
    const earlyMs = [await checkSeek(page, 12000, 'ahead of the index being built'),
                     await checkSeek(page, 900, 'back near the start meanwhile')];

    await page.waitForFunction(() => demoPage.seekIndex.built || demoPage.seekIndex.failed,
                               {timeout: 600000, polling: 500});
    memory.enter('once the index is built');
    const index = await page.evaluate(() => demoPage.seekIndex);
    check(index.built && !index.failed, 'the worker built the whole index');
    const worker = index.worker || {};
    check(index.refused === 0 && index.snapshots === worker.snapshots,
          `the page kept every snapshot the worker sent (${index.snapshots} of ` +
          `${worker.snapshots}, ${index.refused} refused)`);
    check(worker.framesStepped === digests.length,
          `the worker stepped the whole show (${worker.framesStepped} frames)`);
    console.log(`index: ${index.snapshots} snapshots, ${(index.bytes / 1048576).toFixed(1)} MB ` +
                `kept by the page, built in ${worker.seconds.toFixed(1)} s in the worker ` +
                `(${worker.openSeconds.toFixed(1)} s of them to start the module and load the ` +
                `pictures), worker memory ${(worker.heapBytes / 1048576).toFixed(0)} MB`);

    const times = [];
    let last = 0, backwards = 0;
    const count = 40; // the 95th percentile is then the second slowest
    for (const ticks of seekTicks(count)) {
        if (ticks < last) backwards += 1;
        last = ticks;
        times.push(await checkSeek(page, ticks, 'a seek in the built index'));
    }
    check(backwards >= count / 4 && backwards <= count * 3 / 4,
          `seeks both ways (${backwards} of ${count} backwards)`);
    times.sort((a, b) => a - b);
    const p95 = quantile(times, 0.95);
    console.log(`seek p50 ${quantile(times, 0.5).toFixed(0)} ms p95 ${p95.toFixed(0)} ms max ` +
                `${times[times.length - 1].toFixed(0)} ms; before the index was built ` +
                `${earlyMs.map((ms) => ms.toFixed(0)).join(', ')} ms`);
    check(p95 <= seekGoalMs, `seeks take at most ${seekGoalMs} ms at the 95th percentile ` +
                             `(${p95.toFixed(0)} ms)`);

    // Bytes that are no snapshot: refused, and the index kept as it was.
    const junk = await page.evaluate(() => {
        const {module} = window.demoRun();
        const at = module._malloc(4096);
        module.HEAPU8.fill(0x5a, at, at + 4096);
        const kept = module._webSeekIndexAdd(at, 4096);
        module._free(at);
        return {kept, snapshots: module._webSeekIndexSnapshots()};
    });
    check(junk.kept === 0 && junk.snapshots === index.snapshots,
          'bytes that are no snapshot are refused and the index stays as it was');
    await checkSeek(page, 33333, 'a seek after that');

    // The canvas itself, read back (not measured: each reading is a copy the page never makes).
    memory.enter('reading the canvas back');
    for (const ticks of [20000, 5000, 61000])
        await checkSeek(page, ticks, 'the canvas after a seek', true);

    const heap = await page.evaluate(() => window.demoRun().module.HEAPU8.length);
    console.log(`page module memory ${(heap / 1048576).toFixed(0)} MB`);
    await page.close();
}

(async () => {
    // Puppeteer's own network events off: with them, DevTools keeps the bodies of responses
    // in the renderer, which a visitor's browser does not.
    const browser = await puppeteer.launch({
        executablePath: chromium,
        headless: true,
        networkEnabled: false,
        args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
    });
    const memory = watchRenderers(browser.process().pid);
    try {
        await seeking(browser, memory);
    } catch (error) {
        check(false, `the seek test ran to its end (${error.message})`);
    } finally {
        memory.stop();
        await browser.close();
    }
    for (const [phase, figures] of Object.entries(memory.phases))
        console.log(`renderer ${phase}: at most ${figures.mb.toFixed(0)} MB resident ` +
                    `(${figures.anon.toFixed(0)} MB private, ${figures.file.toFixed(0)} MB of files)`);
    check(memory.samples() > 10, `the renderer's memory was sampled (${memory.samples()} times)`);
    for (const phase of ['while the index is built', 'once the index is built']) {
        const figures = memory.phases[phase];
        check(figures !== undefined && figures.mb <= memoryGoalMb,
              `${phase}, the renderer's resident memory stays at most ${memoryGoalMb} MB ` +
              `(largest ${figures ? figures.mb.toFixed(0) : '?'} MB)`);
    }
    console.log(failures === 0 ? 'page seek tests passed' : `${failures} page seek checks FAILED`);
    process.exit(failures === 0 ? 0 : 1);
})();
