// The page in headless Chromium, served from 127.0.0.1: check mode's frames against
// demo-render's, real-time playback with the audio context running, steady frame slots at 60
// callbacks a second, the credits after end=.
//
//   node page-test.js BASE_URL EXPECTED SCREENSHOT
//
// BASE_URL serves the page with a pack and soundtrack; EXPECTED is demo-render's --sha256
// output for the same pack (at least frames 0 ... 9600); SCREENSHOT is where the picture of the
// page mid-show is written. Needs puppeteer-core (NODE_PATH) and CHROMIUM (the browser).
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [baseUrl, expectedFile, screenshotFile] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
let failures = 0;

function check(condition, what) {
    console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
    if (!condition) failures += 1;
}

// The page at QUERY, started with a click; beforeClick(page) may choose files first.
async function openPage(browser, query, beforeClick) {
    const page = await browser.newPage();
    await page.setViewport({width: 1400, height: 1000});
    page.notes = []; // the console's lines from the start (the show may open at the click)
    page.on('console', (m) => {
        page.notes.push(m.text());
        console.log(`  [page] ${m.text()}`);
    });
    page.on('pageerror', (e) => console.log(`  [page error] ${e.message}`));
    await page.goto(`${baseUrl}/index.html${query}`, {waitUntil: 'load'});
    if (beforeClick) await beforeClick(page);
    await page.click('#start'); // the gesture that may start sound
    return page;
}

const state = (page) => page.evaluate(() => window.demoPage);

const expected = {};
for (const line of fs.readFileSync(expectedFile, 'utf8').split('\n')) {
    const [index, , digest] = line.split(' ');
    if (digest) expected[index] = digest;
}

// Check mode: 300 frames on the fixed schedule; the canvas at chosen frames equals demo-render's.
async function checkMode(browser) {
    const chosen = [0, 1, 37, 150, 298, 299];
    const page = await openPage(browser, `?check=1&end=684&capture=${chosen.join(',')}`);
    await page.waitForFunction(() => demoPage.phase === 'ended' && demoPage.pendingDigests === 0,
                               {timeout: 120000});
    const s = await state(page);
    check(s.frames === 300, `check mode renders 300 frames up to end=684 (got ${s.frames})`);
    for (const index of chosen)
        check(s.canvasDigests[index] === expected[index],
              `canvas after frame ${index} equals demo-render's frame ${index}`);
    console.log(`check mode: ${s.frames} frames in ${s.seconds.toFixed(2)} s, ` +
                `${s.framesPerSecond.toFixed(1)} frames per second`);
    await page.close();
}

// Check mode into the third scene: frame 9,600 (tick 21,987) read back from the canvas, and a
// screenshot of the page taken on the way.
async function midShow(browser) {
    const frame = 9600;
    const page = await openPage(browser, `?check=1&end=22100&capture=${frame}`);
    await page.waitForFunction(() => demoPage.ticks >= 21000, {timeout: 180000, polling: 50});
    await page.screenshot({path: screenshotFile});
    await page.waitForFunction(() => demoPage.phase === 'ended' && demoPage.pendingDigests === 0,
                               {timeout: 180000});
    const s = await state(page);
    check(expected[frame] !== undefined, `demo-render gave frame ${frame} to compare with`);
    check(s.canvasDigests[frame] === expected[frame],
          `canvas after frame ${frame} equals demo-render's frame ${frame}`);
    console.log(`check mode to tick ${s.ticks}: ${s.frames} frames in ${s.seconds.toFixed(2)} s, ` +
                `${s.framesPerSecond.toFixed(1)} frames per second`);
    await page.close();
}

// Real time: 5 s with the music running, then Escape.
async function playback(browser) {
    const page = await openPage(browser, '');
    await page.waitForFunction(() => demoPage.phase === 'running', {timeout: 30000});
    await new Promise((resolve) => setTimeout(resolve, 5000));
    const s = await state(page);
    check(s.phase === 'running', `after 5 s the show is still running (${s.phase})`);
    check(s.audioState === 'running', `the audio context runs (${s.audioState})`);
    check(s.ticks >= 300 && s.ticks <= 420, `the show's clock ran about 5 s (${s.ticks} ticks)`);
    check(s.frames >= 5 * 20 && s.frames <= 5 * 42,
          `20 to 41 frames a second, paced by the frame slots (${s.frames} in 5 s)`);
    check(s.messages.length === 0, 'no message box during the show');
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => demoPage.phase === 'ended', {timeout: 10000});
    const after = await state(page);
    check(after.credits !== null && after.credits.includes('created by'),
          'Escape ends the show with the credits');
    await page.close();
}

// At a browser's 60 callbacks a second, 10 s of playback on the page's own clock and on the
// soundtrack's (the samples played): a steady 30 frames a second, one on every second callback.
async function steadyFrames(browser, query, what) {
    const page = await openPage(browser, query);
    await page.waitForFunction(() => demoPage.phase === 'running', {timeout: 30000});
    // One callback of the test's after each of the page's: the frames drawn so far, then.
    const looks = await page.evaluate(() => new Promise((resolve) => {
        const seen = [];
        const look = (now) => {
            seen.push([now, demoPage.frames]);
            if (seen.length > 1 && now - seen[0][0] >= 10000) resolve(seen);
            else requestAnimationFrame(look);
        };
        requestAnimationFrame(look);
    }));
    await page.close();
    const seconds = (looks[looks.length - 1][0] - looks[0][0]) / 1000;
    const callbacks = (looks.length - 1) / seconds;
    check(callbacks > 55 && callbacks < 65,
          `${what}: about 60 callbacks a second (${callbacks.toFixed(1)})`);
    const drawnAt = [];
    for (let i = 1; i < looks.length; ++i)
        if (looks[i][1] > looks[i - 1][1]) drawnAt.push(i);
    const perSecond = drawnAt.length / seconds;
    check(perSecond >= 29 && perSecond <= 31.25 + 0.3,
          `${what}: at least 29 frames a second, at most one per slot (${perSecond.toFixed(2)} ` +
          `over ${seconds.toFixed(1)} s)`);
    // Steady: a frame on every second callback, wherever the browser missed none in between
    // (a 32 ms grid shows two frames on consecutive callbacks twice a second; slots counted
    // from each frame's coarse clock reading wait for a third callback now and then).
    const interval = 1000 / callbacks;
    let even = 0, counted = 0;
    for (let i = 1; i < drawnAt.length; ++i) {
        let missed = false;
        for (let k = drawnAt[i - 1] + 1; k <= drawnAt[i]; ++k)
            if (looks[k][0] - looks[k - 1][0] > 1.5 * interval) missed = true;
        if (missed) continue;
        counted += 1;
        if (drawnAt[i] - drawnAt[i - 1] === 2) even += 1;
    }
    check(counted >= 200 && even >= 0.95 * counted,
          `${what}: a frame on every second callback (${even} of ${counted} frames without a ` +
          `missed callback before them)`);
}

// end=355: the show stops at its own pace after five seconds and the credits are on the page.
async function credits(browser) {
    const page = await openPage(browser, '?end=355');
    await page.waitForFunction(() => demoPage.phase === 'ended', {timeout: 30000});
    const s = await state(page);
    check(s.credits !== null && s.credits.includes('created by'), 'the credits are the last message');
    check(s.messages.length === 1, `the credits are the only message (${s.messages.length})`);
    const shown = await page.$eval('#message', (e) => !e.classList.contains('hidden') &&
                                                      e.textContent.includes('created by'));
    check(shown, 'the credits are shown on the page');
    check(s.seconds >= 4.5 && s.seconds < 15, `the show took about 5 s (${s.seconds.toFixed(1)} s)`);
    await page.close();
}

// start=8000 end=8355: black while the skip renders up to tick 8,000, then 5 s of playback
// with the music and the credits.
async function start(browser) {
    const page = await openPage(browser, '?start=8000&end=8355');
    await page.waitForFunction(() => demoPage.phase === 'skipping', {timeout: 30000, polling: 10});
    await page.waitForFunction(() => demoPage.phase === 'running', {timeout: 120000});
    const first = await state(page);
    check(first.ticks >= 7990 && first.ticks < 8100,
          `playback begins at the start tick, 8,000 (${first.ticks})`);
    await page.waitForFunction(() => demoPage.phase === 'ended', {timeout: 30000});
    const s = await state(page);
    check(s.credits !== null && s.credits.includes('created by'), 'the credits follow start= end=');
    check(first.audioState === 'running', `the audio context runs after the skip (${first.audioState})`);
    check(s.frames >= 5 * 20, `the five seconds were played, not skipped (${s.frames} frames)`);
    await page.close();
}

// start=64000 is past the show's last tick: the show's own reader refuses it, as the program
// does, and the show plays from its beginning; the page does not wait for a skip that never
// comes.
async function startPastTheEnd(browser) {
    const page = await openPage(browser, '?start=64000&end=142&noaudio');
    const notes = page.notes;
    await page.waitForFunction(() => demoPage.phase === 'ended', {timeout: 30000});
    const s = await state(page);
    check(s.frames >= 20, `the show played from its beginning (${s.frames} frames)`);
    check(s.ticks < 200, `up to end=142 (${s.ticks} ticks)`);
    check(notes.some((n) => n.includes('start=64000 is not a tick count before the show')),
          'the refused start= is reported on the console');
    check(s.messages.length === 1, `only the credits are shown (${s.messages.length} messages)`);
    await page.close();
}

// A pack of the viewer's choosing that is no pack: "Sorry." and the credits on the page.
async function badPack(browser) {
    const junk = path.join(os.tmpdir(), `junk-${process.pid}.dat`);
    fs.writeFileSync(junk, crypto.randomBytes(5000));
    const page = await openPage(browser, '?noaudio', async (p) => {
        const input = await p.$('#files');
        await input.uploadFile(junk);
    });
    await page.waitForFunction(() => demoPage.phase === 'ended', {timeout: 30000});
    const s = await state(page);
    fs.unlinkSync(junk);
    check(s.messages.length === 2 && s.messages[0].includes('Sorry.'),
          `a junk pack gives "Sorry." (${JSON.stringify(s.messages[0])})`);
    check(s.credits !== null && s.credits.includes('created by'), 'then the credits');
    check(s.frames === 0, 'and no frame');
    await page.close();
}

(async () => {
    const browser = await puppeteer.launch({
        executablePath: chromium,
        headless: true,
        args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
    });
    try {
        await checkMode(browser);
        await midShow(browser);
        await playback(browser);
        await steadyFrames(browser, '?noaudio&end=1400', 'the page\'s clock');
        await steadyFrames(browser, '?end=1400', 'the soundtrack\'s clock');
        await credits(browser);
        await start(browser);
        await startPastTheEnd(browser);
        await badPack(browser);
    } catch (error) {
        check(false, `the page test ran to its end (${error.message})`);
    } finally {
        await browser.close();
    }
    console.log(failures === 0 ? 'page tests passed' : `${failures} page checks FAILED`);
    process.exit(failures === 0 ? 0 : 1);
})();
