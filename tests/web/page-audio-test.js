// The page's streamed soundtrack in headless Chromium: the first frame soon after the click on
// a 25 Mbit/s link, the soundtrack asked for a piece at a time, the renderer's memory through
// playback, the show's clock following the samples played (and standing still while paused),
// seeks by range requests and without them, the loading line, and soundtracks that are no MP3
// or are cut short.
//
//   node page-audio-test.js SITE [--first-frame-only | --only CASE]
//
// SITE holds the page, the module, _.dat and the whole velmorin.mp3. The page is served from
// 127.0.0.1 by a server of this script's own that answers range requests (or, for one case,
// ignores them as simple servers do). --first-frame-only measures the time to the first frame
// alone (for any version of the page); --only runs one case (firstFrame, playback, seeking,
// shortAnswers, loadingLine, badSoundtracks). Needs puppeteer-core (NODE_PATH) and CHROMIUM.
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const args = process.argv.slice(2);
const site = args[0];
const firstFrameOnly = args.includes('--first-frame-only');
const only = args.includes('--only') ? args[args.indexOf('--only') + 1] : null;
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
let failures = 0;

function check(condition, what) {
    console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
    if (!condition) failures += 1;
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// [SECTION] the server: files of SITE, with or without byte ranges; every request logged.
const types = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
               '.wasm': 'application/wasm', '.mp3': 'audio/mpeg'};
const requests = [];
let honourRanges = true;
let hideSoundtrack = false; // velmorin.mp3 is then not found
let rangeLimit = 0;         // > 0: a range is answered with at most that many bytes
const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname).replace(/^\/+/, '');
    const file = path.join(site, name || 'index.html');
    let size;
    try {
        if (hideSoundtrack && name === 'velmorin.mp3') throw new Error('hidden');
        size = fs.statSync(file).size;
    } catch (error) {
        response.writeHead(404);
        response.end();
        return;
    }
    const range = /^bytes=([0-9]+)-([0-9]*)$/.exec(request.headers.range || '');
    requests.push({name, range: request.headers.range || null});
    const headers = {'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                     'Cache-Control': 'no-store'};
    let start = 0;
    let end = size - 1;
    if (range && honourRanges && Number(range[1]) < size) {
        start = Number(range[1]);
        if (range[2] !== '') end = Math.min(end, Number(range[2]));
        if (rangeLimit > 0) end = Math.min(end, start + rangeLimit - 1);
        headers['Content-Range'] = `bytes ${start}-${end}/${size}`;
        headers['Content-Length'] = end - start + 1;
        response.writeHead(206, headers);
    } else {
        headers['Content-Length'] = size;
        if (honourRanges) headers['Accept-Ranges'] = 'bytes';
        response.writeHead(200, headers);
    }
    const stream = fs.createReadStream(file, {start, end});
    stream.pipe(response);
    response.on('close', () => stream.destroy());
});

// [SECTION] the page and the browser
let baseUrl;

// The renderer processes' resident memory in MB (the largest), from /proc: the browser's
// descendants started with --type=renderer.
function rendererRssMb(browser) {
    const children = new Map();
    for (const entry of fs.readdirSync('/proc')) {
        if (!/^[0-9]+$/.test(entry)) continue;
        try {
            const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
            const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
            if (!children.has(parent)) children.set(parent, []);
            children.get(parent).push(Number(entry));
        } catch (error) {
            // gone meanwhile
        }
    }
    let largest = 0;
    const visit = (pid) => {
        for (const child of children.get(pid) || []) {
            try {
                const command = fs.readFileSync(`/proc/${child}/cmdline`, 'utf8');
                if (command.includes('--type=renderer')) {
                    const status = fs.readFileSync(`/proc/${child}/status`, 'utf8');
                    const kb = Number(/VmRSS:\s+([0-9]+)/.exec(status)[1]);
                    largest = Math.max(largest, kb / 1024);
                }
            } catch (error) {
                // gone meanwhile
            }
            visit(child);
        }
    };
    visit(browser.process().pid);
    return largest;
}

// The page at QUERY on a link of `kbps` down with `latency` ms, its pack and module loaded
// (as while the viewer reads the start screen) unless `hasty`; beforeClick(page) may choose
// files.
async function openPage(browser, query, network, beforeClick, hasty) {
    const page = await browser.newPage();
    await page.setViewport({width: 1400, height: 1000});
    page.on('console', (m) => console.log(`  [page] ${m.text()}`));
    page.on('pageerror', (e) => console.log(`  [page error] ${e.message}`));
    if (network) {
        const cdp = await page.createCDPSession();
        // DevTools would keep every response body for inspection in the renderer, which a
        // visitor's browser does not: none is kept.
        await cdp.send('Network.enable', {maxTotalBufferSize: 0, maxResourceBufferSize: 0});
        await cdp.send('Network.emulateNetworkConditions', {
            offline: false,
            latency: network.latency,
            downloadThroughput: network.kbps * 1000 / 8,
            uploadThroughput: network.kbps * 1000 / 8,
        });
        page.network = cdp;
    }
    await page.goto(`${baseUrl}/index.html${query}`, {waitUntil: 'load'});
    // The old page fetched nothing before the click; this one says when it has.
    if (!hasty)
        await page.waitForFunction(() => window.demoPage.preloaded !== false, {timeout: 60000});
    if (beforeClick) await beforeClick(page);
    return page;
}

// Clicks and waits for the first frame: the ms between them, measured here.
async function clickToFirstFrame(page) {
    const clicked = Date.now();
    await page.click('#start');
    await page.waitForFunction(() => window.demoPage.frames > 0, {timeout: 60000, polling: 5});
    return Date.now() - clicked;
}

const state = (page) => page.evaluate(() => window.demoPage);
const musicState = (page) => page.evaluate(() => {
    const music = window.demoPage.music;
    return {
        position: music.positionMs(),
        clock: music.clockMs(),
        report: music.report,
        state: music.state,
        playing: music.playing,
        contextTime: music.audio ? music.audio.currentTime : null,
    };
});

const link = {kbps: 25000, latency: 40};
// The most the page may ask of the soundtrack at once: the browser takes in a response's whole
// body as it comes, so what is asked for at once is what the renderer may hold.
const pieceBytes = 1024 * 1024;
const soundtrackRequests = (from) => requests.slice(from).filter((r) => r.name === 'velmorin.mp3');
// The byte range a request asks for ([first, last]), or null when it has no closed range.
function rangeOf(request) {
    const range = /^bytes=([0-9]+)-([0-9]+)$/.exec(request.range || '');
    return range ? [Number(range[1]), Number(range[2])] : null;
}

// [SECTION] the cases
// The first frame within a second of the click on a 25 Mbit/s link with 40 ms latency.
async function firstFrame(browser) {
    const page = await openPage(browser, '', link);
    const ms = await clickToFirstFrame(page);
    console.log(`first frame ${ms} ms after the click at 25 Mbit/s, 40 ms`);
    check(ms <= 1000, `the first frame comes within 1.0 s of the click (${ms} ms)`);
    await page.close();
}

// Playback: memory, the clock against the samples, pause and resume.
async function playback(browser) {
    const logged = requests.length;
    const page = await openPage(browser, '', link);
    const preloaded = soundtrackRequests(logged);
    check(preloaded.length === 1 && preloaded[0].range === `bytes=0-${pieceBytes - 1}`,
          `before the click the page asks for the soundtrack's first piece alone ` +
              `(${JSON.stringify(preloaded)})`);
    await clickToFirstFrame(page);
    // The page's clock read every 4 ms: it never goes back.
    await page.evaluate(() => {
        window.clockReadings = {last: 0, back: 0, count: 0};
        setInterval(() => {
            const ms = window.demoPage.music.clockMs();
            if (ms < window.clockReadings.last) window.clockReadings.back += 1;
            window.clockReadings.last = ms;
            window.clockReadings.count += 1;
        }, 4);
    });
    let largest = 0;
    const began = await musicState(page);
    const wall = Date.now();
    for (let i = 0; i < 16; ++i) {
        await sleep(500);
        largest = Math.max(largest, rendererRssMb(browser));
    }
    const s = await state(page);
    const m = await musicState(page);
    const elapsed = Date.now() - wall;
    // On through the second reading of the file that indexes its frames.
    for (let i = 0; i < 60 && (await musicState(page)).state.indexedFrames < 34000; ++i) {
        await sleep(250);
        largest = Math.max(largest, rendererRssMb(browser));
    }
    // And on until the seek index is built and its worker has ended, and two seconds after.
    let seekIndex = null;
    for (let i = 0; i < 240; ++i) {
        seekIndex = await page.evaluate(() => window.demoPage.seekIndex);
        largest = Math.max(largest, rendererRssMb(browser));
        if (seekIndex && (seekIndex.built || seekIndex.failed)) break;
        await sleep(250);
    }
    for (let i = 0; i < 8; ++i) {
        await sleep(250);
        largest = Math.max(largest, rendererRssMb(browser));
    }
    const afterIndex = await musicState(page);
    const indexed = afterIndex.state.indexedFrames;
    // Every request for the soundtrack, the sound's and the frame index's, asks for a piece.
    const asked = soundtrackRequests(logged);
    const largestAsk = Math.max(...asked.map((r) => {
        const range = rangeOf(r);
        return range ? range[1] - range[0] + 1 : Infinity;
    }));
    check(asked.length > 1 && largestAsk <= pieceBytes,
          `no request for the soundtrack asks for more than ${pieceBytes} bytes ` +
              `(${asked.length} requests, the largest for ${largestAsk})`);
    const counted = afterIndex.state.requests + afterIndex.state.indexRequests;
    check(asked.length === counted && afterIndex.state.opens === 1 &&
              !afterIndex.state.rangeIgnored,
          `the page counts them (${counted} requests counted, ${asked.length} made), the ` +
              `sound's in one read of the file (${afterIndex.state.opens})`);
    console.log(`renderer resident memory at most ${largest.toFixed(0)} MB over 8 s of playback, ` +
                `the frame index (${indexed} frames) and the seek index ` +
                `(${seekIndex ? seekIndex.snapshots : 0} snapshots, ` +
                `${seekIndex ? (seekIndex.bytes / 1048576).toFixed(1) : 0} MB)`);
    // The goal, with the soundtrack streamed, its frames indexed and the seek index built beside
    // the show (the soundtrack decoded whole took 513 MB, 813 MB while decoding).
    const memoryGoalMb = 250;
    check(largest > 0 && largest <= memoryGoalMb && indexed > 34000 && seekIndex &&
              seekIndex.built,
          `the renderer's memory stays at most ${memoryGoalMb} MB while the show plays, the ` +
              `soundtrack's frames are indexed and the seek index is built ` +
              `(${largest.toFixed(0)} MB)`);
    check(s.audioState === 'running', `the audio context runs (${s.audioState})`);
    const heard = m.position - began.position;
    check(Math.abs(heard - elapsed) < 400,
          `the music played on in real time (${heard} ms heard in ${elapsed} ms)`);
    // The show's ticks (71 a second) against where the music is, read together (the closest
    // of three readings: a frame drawn late on a busy machine is not the clock's fault).
    let apart = Infinity;
    let reading = null;
    for (let i = 0; i < 3; ++i) {
        const r = await page.evaluate(() => ({
            ticks: window.demoPage.ticks,
            music: window.demoPage.music.positionMs() * 71 / 1000,
        }));
        if (Math.abs(r.ticks - r.music) < apart) {
            apart = Math.abs(r.ticks - r.music);
            reading = r;
        }
        await sleep(100);
    }
    check(apart <= 8, `the show's ticks follow the samples played (${reading.ticks} ticks, ` +
                          `music at ${reading.music.toFixed(0)} ticks)`);
    check(m.state.bytesRead < 4000000,
          `the soundtrack is read only a little ahead (${m.state.bytesRead} bytes in 8 s)`);
    const clock = await page.evaluate(() => window.clockReadings);
    check(clock.count > 500 && clock.back === 0,
          `the clock never went back in ${clock.count} readings (${clock.back} times)`);

    // Paused: the music and the clock stand; resumed: both go on from there.
    await page.evaluate(() => window.demoPage.music.pause());
    await sleep(300);
    const paused = await musicState(page);
    await sleep(1000);
    const still = await musicState(page);
    check(still.position === paused.position && still.report.consumed === paused.report.consumed,
          `pause holds the music at its sample (${paused.report.consumed} then ` +
          `${still.report.consumed})`);
    check(still.clock === paused.clock, `and the clock stands (${paused.clock} then ${still.clock})`);
    const framesPaused = (await state(page)).frames;
    // The music's own time against the time between the two calls that bound it: within 10 %.
    const near = (moved, ms) => moved > 0.9 * ms - 50 && moved < ms + 50;
    let since = Date.now();
    await page.evaluate(() => window.demoPage.music.resume());
    await sleep(1000);
    const resumed = await musicState(page);
    const resumedMs = Date.now() - since;
    const moved = resumed.position - still.position;
    check(near(moved, resumedMs), `resumed, the music goes on (${moved} ms in ${resumedMs} ms)`);
    check((await state(page)).frames > framesPaused + 15, 'and the show with it');

    // Muted, the samples still count: the music and the clock go on.
    since = Date.now();
    await page.evaluate(() => window.demoPage.music.setMuted(true));
    await sleep(1000);
    const muted = await musicState(page);
    const mutedMs = Date.now() - since;
    await page.evaluate(() => window.demoPage.music.setMuted(false));
    const mutedMoved = muted.position - resumed.position;
    check(near(mutedMoved, mutedMs) && near(muted.clock - resumed.clock, mutedMs),
          `muted, the music and the clock go on (${mutedMoved} ms in ${mutedMs} ms)`);
    await page.close();
}

// Seeks, once the file's frames are indexed: a range request from right before the frame
// sought, or the whole file read up to there when the server ignores ranges. The music goes on
// from the point sought.
async function seeking(browser, ranges) {
    honourRanges = ranges;
    const how = ranges ? 'with ranges' : 'without ranges';
    const page = await openPage(browser, '', link);
    await clickToFirstFrame(page);
    await sleep(1000);
    // The whole file's frames are indexed in the background a little after the start.
    await page.waitForFunction(() => window.demoPage.music.state.indexedFrames > 34000,
                               {timeout: 30000, polling: 100});
    for (const target of [30000, 10000, 840000]) {
        const before = requests.length;
        const opens = (await musicState(page)).state.opens;
        await page.evaluate((ms) => window.demoPage.music.seek(ms), target);
        const began = Date.now();
        await page.waitForFunction(() => {
            const r = window.demoPage.music.report;
            return r && r.flowing && r.consumed > 0;
        }, {timeout: 20000, polling: 10});
        const waited = Date.now() - began;
        await sleep(1000);
        const m = await musicState(page);
        // The sound's requests (the frame index has read the whole file by now): a piece from
        // where the seek reads, and at most the next one (a second of sound reads 16 kB).
        const asked = soundtrackRequests(before);
        const pieces = asked.map(rangeOf);
        console.log(`seek to ${target} ms ${how}: sound after ${waited} ms; requests: ` +
                    JSON.stringify(asked));
        const reads = m.state.opens - opens;
        // 128 kbit/s: 16 bytes a millisecond; the frame index steps about 1.6 s (26 kB), so
        // the request starts within 3 s before the point.
        const from = pieces.length > 0 && pieces[0] ? pieces[0][0] : -1;
        const inPieces = pieces.every((p, i) => p && p[1] - p[0] < pieceBytes &&
                                                (i === 0 || p[0] === pieces[i - 1][1] + 1));
        if (ranges)
            check(reads === 1 && asked.length >= 1 && asked.length <= 2 && inPieces &&
                      from <= target * 16 && from > target * 16 - 50000 && waited < 1000 &&
                      !m.state.rangeIgnored,
                  `a seek to ${target} ms asks for a piece of the file from right before there ` +
                      `(byte ${from}) and sounds within a second (${waited} ms)`);
        else
            check(reads === 1 && asked.length === 1 && m.state.rangeIgnored,
                  `a seek to ${target} ms on a server that ignores ranges reads the file up to ` +
                      `there (${waited} ms)`);
        check(m.position >= target + 700 && m.position <= target + 1600,
              `${how}, the music goes on from the point sought (${m.position} ms, 1 s after ` +
                  `${target} ms began)`);
    }
    honourRanges = true;
    await page.close();
}

// A server that answers a range with less than was asked (40,000 bytes, 2.5 s of sound): the
// page asks on from where each answer ended, and the music plays on across them.
async function shortAnswers(browser) {
    const limit = 40000;
    rangeLimit = limit;
    const logged = requests.length;
    const page = await openPage(browser, '', link);
    await clickToFirstFrame(page);
    await sleep(1000); // the worklet's reports under way: the position read is the one played
    const began = await musicState(page);
    const wall = Date.now();
    await sleep(8000); // from 1 s to 9 s: three answers' ends
    const m = await musicState(page);
    const elapsed = Date.now() - wall;
    await page.close();
    rangeLimit = 0;
    const heard = m.position - began.position;
    check(m.state.error === null && m.state.opens === 1 && Math.abs(heard - elapsed) < 400,
          `answers of 2.5 s of sound: the music plays on across them (${heard} ms heard in ` +
              `${elapsed} ms, ${m.state.requests} requests; ${m.state.error})`);
    const starts = soundtrackRequests(logged).map((r) => (rangeOf(r) || [-1])[0]);
    check(starts.length > 4 && starts.every((start) => start >= 0 && start % limit === 0),
          `each request asks for the file from where an answer ended ` +
              `(${starts.length} requests, from ${JSON.stringify(starts.slice(0, 6))} ...)`);
}

// The loading line. A viewer who clicks at once on a 2 Mbit/s link waits for the module and
// the pack (the line shows after 300 ms, and goes with the first frame); then the link drops
// to 96 kbit/s with 400 ms latency, below the soundtrack's 128 kbit/s: a seek back waits for a
// new request (it shows again), and then the sound runs dry (again).
async function loadingLine(browser) {
    const page = await openPage(browser, '', {kbps: 2000, latency: 400}, null, true);
    const slow = {kbps: 96, latency: 400};
    await page.click('#start');
    await page.waitForFunction(() => window.demoPage.frames > 0, {timeout: 60000, polling: 10});
    await page.network.send('Network.emulateNetworkConditions', {
        offline: false,
        latency: slow.latency,
        downloadThroughput: slow.kbps * 1000 / 8,
        uploadThroughput: slow.kbps * 1000 / 8,
    });
    await sleep(3000);
    const seekAt = await page.evaluate(() => {
        window.demoPage.music.seek(500);
        return performance.now();
    });
    await page.waitForFunction(
        (after) => {
            const changes = window.demoPage.loading.filter((c) => c.at > after);
            return changes.filter((c) => c.shown).length >= 2;
        },
        {timeout: 60000, polling: 50}, seekAt);
    const s = await state(page);
    const first = s.loading[0];
    const startWait = first ? first.at - s.clickedAt : -1;
    check(first && first.shown && first.reason === 'start' && startWait >= 290 && startWait < 600,
          `the loading line shows once the start has waited 300 ms (${startWait.toFixed(0)} ms; ` +
              `first frame after ${(s.firstFrameAt - s.clickedAt).toFixed(0)} ms)`);
    check(s.loading[1] && !s.loading[1].shown && s.loading[1].at <= s.firstFrameAt + 50,
          'it goes when the first frame is there');
    const afterSeek = s.loading.filter((c) => c.at > seekAt);
    const seekWait = afterSeek[0] ? afterSeek[0].at - seekAt : -1;
    check(afterSeek[0] && afterSeek[0].shown && seekWait >= 290 && seekWait < 600,
          `a seek that waits for the file shows it after 300 ms (${seekWait.toFixed(0)} ms)`);
    check(afterSeek.length >= 3 && !afterSeek[1].shown && afterSeek[2].shown,
          `it goes when the sound comes, and shows again when the sound runs dry ` +
              `(${JSON.stringify(afterSeek.map((c) => c.shown))})`);
    const visible = await page.$eval('#loading', (e) => !e.classList.contains('hidden') &&
                                                        e.getBoundingClientRect().width > 0);
    check(visible, 'the line is on the page');
    await page.close();
}

// A chosen file that is no MP3, or none on the server: the reason on the page, "Sorry." and
// the credits, as the program; one cut short: the show goes on after its last sound.
async function badSoundtracks(browser) {
    const junk = path.join(os.tmpdir(), `junk-${process.pid}.mp3`);
    fs.writeFileSync(junk, crypto.randomBytes(200000));
    let page = await openPage(browser, '', null, async (p) => {
        await (await p.$('#files')).uploadFile(junk);
    });
    await page.click('#start');
    await page.waitForFunction(() => window.demoPage.phase === 'ended', {timeout: 30000});
    let s = await state(page);
    check(s.messages.length === 3 && /soundtrack/.test(s.messages[0]) &&
              s.messages[0].includes(`${path.basename(junk)}: libmpg123: `),
          `random bytes as the soundtrack: the reason on the page (${JSON.stringify(s.messages[0])})`);
    check(s.messages[1] === 'Sorry.' && s.credits.includes('created by'),
          'then "Sorry." and the credits, as the program does');
    check(s.frames === 0, `and no frame (${s.frames})`);
    await page.close();
    fs.unlinkSync(junk);

    hideSoundtrack = true;
    page = await openPage(browser, '');
    await page.click('#start');
    await page.waitForFunction(() => window.demoPage.phase === 'ended', {timeout: 30000});
    hideSoundtrack = false;
    s = await state(page);
    check(s.messages.length === 3 && s.messages[0].includes('velmorin.mp3: the server answered 404') &&
              s.messages[1] === 'Sorry.',
          `no soundtrack on the server: the reason, "Sorry." and the credits (${JSON.stringify(s.messages[0])})`);
    await page.close();

    const cut = path.join(os.tmpdir(), `cut-${process.pid}.mp3`);
    fs.writeFileSync(cut, fs.readFileSync(path.join(site, 'velmorin.mp3')).subarray(0, 40000));
    page = await openPage(browser, '?end=500', null, async (p) => {
        await (await p.$('#files')).uploadFile(cut);
    });
    await page.click('#start');
    await page.waitForFunction(() => window.demoPage.phase === 'ended', {timeout: 30000});
    s = await state(page);
    check(s.ticks >= 470 && s.credits !== null && s.credits.includes('created by'),
          `a soundtrack of 2.5 s: the show plays on in real time to end=500 and the credits ` +
              `(last frame at ${s.ticks} ticks)`);
    check(s.messages.length === 1, `with no other message (${s.messages.length})`);
    await page.close();
    fs.unlinkSync(cut);
}

(async () => {
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    baseUrl = `http://127.0.0.1:${server.address().port}`;
    // Without puppeteer's own network events: their DevTools session would keep each response
    // body of up to 10 MB in the renderer (every piece of the soundtrack), as no visitor's does.
    const browser = await puppeteer.launch({
        executablePath: chromium,
        headless: true,
        networkEnabled: false,
        args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
    });
    try {
        const cases = {
            firstFrame: () => firstFrame(browser),
            playback: () => playback(browser),
            seeking: async () => {
                await seeking(browser, true);
                await seeking(browser, false);
            },
            shortAnswers: () => shortAnswers(browser),
            loadingLine: () => loadingLine(browser),
            badSoundtracks: () => badSoundtracks(browser),
        };
        for (const [name, run] of Object.entries(cases))
            if (only === name || (!only && (!firstFrameOnly || name === 'firstFrame'))) await run();
    } catch (error) {
        check(false, `the page audio test ran to its end (${error.message})`);
    } finally {
        await browser.close();
        server.close();
    }
    console.log(failures === 0 ? 'page audio tests passed' : `${failures} page audio checks FAILED`);
    process.exit(failures === 0 ? 0 : 1);
})();
