// The page's controls in headless Chromium, served from 127.0.0.1: keys, the timeline, frame
// steps and links to a moment land on video mode's frames (the canvas read back equals
// demo-render's frame there); the bar's coming and going; a phone's layout and taps; the
// poster and favicon.
//
//   node page-controls-test.js BASE_URL EXPECTED
//
// BASE_URL serves the site (the page, its poster and favicon, a pack); EXPECTED is demo-render's
// --sha256 output for that pack over the whole show. Needs puppeteer-core (NODE_PATH) and
// CHROMIUM (the browser).
'use strict';
const fs = require('fs');
const puppeteer = require('puppeteer-core');

const [baseUrl, expectedFile] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const lengthTicks = 63900;
let failures = 0;

function check(condition, what) {
    console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
    if (!condition) failures += 1;
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// demo-render's lines "index ticks digest": the digest of each frame, and the frame drawn at
// each tick (frame k is drawn at the ticks listed after frame k - 1).
const digests = [];
const frameDrawnAt = new Map();
for (const line of fs.readFileSync(expectedFile, 'utf8').split('\n')) {
    const [index, ticks, digest] = line.split(' ');
    if (!digest) continue;
    digests[Number(index)] = digest;
    frameDrawnAt.set(Number(ticks), Number(index) + 1);
}

async function openPage(browser, query, viewport) {
    const page = await browser.newPage();
    await page.setViewport(viewport || {width: 1400, height: 1000});
    page.on('pageerror', (e) => console.log(`  [page error] ${e.message}`));
    await page.goto(`${baseUrl}/index.html${query}`, {waitUntil: 'load'});
    return page;
}
const pageState = (page) => page.evaluate(() => ({
    phase: demoPage.phase, ticks: demoPage.ticks, frames: demoPage.frames,
    timeline: demoControls.state.timeline,
}));
// The canvas as the 24-bit frame demo-render digests (blue, green, red), its SHA-256.
const canvasDigest = (page) => page.evaluate(async () => {
    const canvas = document.getElementById('screen');
    const rgba = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const bgr = new Uint8Array(canvas.width * canvas.height * 3);
    for (let i = 0, o = 0; i < rgba.length; i += 4, o += 3) {
        bgr[o] = rgba[i + 2];
        bgr[o + 1] = rgba[i + 1];
        bgr[o + 2] = rgba[i];
    }
    const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bgr));
    return Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('');
});
// Waits until the page reports a position other than `ticks` (a seek or step was carried out).
async function movedFrom(page, ticks) {
    await page.waitForFunction((t) => demoControls.state.timeline.ticks !== t, {timeout: 60000},
                               ticks);
    await sleep(100); // the frame after it is on the canvas
    return pageState(page);
}
// Checks that the picture now is demo-render's frame at the position shown: a seek lands on
// video mode's frame grid.
async function onGrid(page, what) {
    const s = await pageState(page);
    const frame = frameDrawnAt.get(s.timeline.ticks);
    check(frame !== undefined, `${what}: tick ${s.timeline.ticks} is a video frame's tick`);
    if (frame === undefined) return s;
    check(await canvasDigest(page) === digests[frame],
          `${what}: the canvas equals demo-render's frame ${frame} (tick ${s.timeline.ticks})`);
    return s;
}
async function startPlaying(page) {
    await page.click('#start');
    await page.waitForFunction(() => demoPage.phase === 'running' && demoControls.state.timeline,
                               {timeout: 60000});
}

// Space (which also starts the show from the poster), Right, . and , a number key, j, Page Down,
// Home, k and Escape.
async function keys(browser) {
    const page = await openPage(browser, '?noaudio');
    await page.keyboard.press('Space');
    await page.waitForFunction(() => demoPage.phase === 'running' && demoControls.state.timeline,
                               {timeout: 60000});
    check(true, 'Space on the poster starts the show');
    await sleep(1000);
    await page.keyboard.press('Space');
    await page.waitForFunction(() => demoControls.state.timeline.paused, {timeout: 10000});
    const paused = await pageState(page);
    const pausedDigest = await canvasDigest(page);
    await sleep(1000);
    const later = await pageState(page);
    check(later.ticks === paused.ticks && later.frames === paused.frames,
          `Space pauses: the ticks hold over 1 s (${paused.ticks}, then ${later.ticks})`);
    check(await canvasDigest(page) === pausedDigest, 'Space pauses: the canvas holds over 1 s');
    check(await page.$eval('#play', (b) => b.getAttribute('aria-label').startsWith('Play')),
          'the play button offers to play while paused');

    await page.keyboard.press('ArrowRight');
    const right = await movedFrom(page, paused.timeline.ticks);
    const moved = right.timeline.ticks - paused.timeline.ticks;
    check(moved >= 355 && moved <= 358, `Right moves 5 s onto the frame grid (${moved} ticks)`);
    await onGrid(page, 'Right');

    await page.keyboard.press('.');
    const step = await movedFrom(page, right.timeline.ticks);
    check(frameDrawnAt.get(step.timeline.ticks) === frameDrawnAt.get(right.timeline.ticks) + 1,
          `. moves one frame on (tick ${right.timeline.ticks} to ${step.timeline.ticks})`);
    await onGrid(page, '.');
    await page.keyboard.press(',');
    const back = await movedFrom(page, step.timeline.ticks);
    check(back.timeline.ticks === right.timeline.ticks,
          `, moves one frame back (tick ${back.timeline.ticks})`);
    await onGrid(page, ',');

    await page.keyboard.press('1');
    const tenth = await movedFrom(page, back.timeline.ticks);
    check(tenth.timeline.ticks >= 6390 && tenth.timeline.ticks <= 6393,
          `1 goes to a tenth of the show, tick 6,390 (${tenth.timeline.ticks})`);
    await onGrid(page, '1');
    const time = await page.$eval('#time', (e) => e.textContent);
    check(time === '1:30 / 15:00', `the time reads 1:30 / 15:00 (${time})`);

    await page.keyboard.press('j');
    const j = await movedFrom(page, tenth.timeline.ticks);
    const backBy = tenth.timeline.ticks - j.timeline.ticks;
    check(backBy >= 707 && backBy <= 710, `j moves 10 s back (${backBy} ticks)`);
    await onGrid(page, 'j');
    check(j.timeline.paused, 'the show stays paused through the seeks');

    await page.keyboard.press('PageDown');
    const scene = await movedFrom(page, j.timeline.ticks);
    check(scene.timeline.scene === 2 && scene.timeline.ticks >= 12500 && scene.timeline.ticks <= 12505,
          `Page Down goes to the second scene's first frame (scene ${scene.timeline.scene}, tick ${scene.timeline.ticks})`);
    await onGrid(page, 'Page Down');
    await page.keyboard.press('Home');
    const home = await movedFrom(page, scene.timeline.ticks);
    check(home.timeline.ticks === 0, `Home goes to the start (tick ${home.timeline.ticks})`);

    const pressedAt = Date.now();
    await page.keyboard.press('k');
    await page.waitForFunction(() => !demoControls.state.timeline.paused, {timeout: 10000});
    await sleep(1000);
    const playing = await pageState(page);
    // In real time: at least 85 % of the second slept, at most the whole time since the key.
    const played = playing.ticks - home.ticks, playedMs = Date.now() - pressedAt;
    check(played >= 0.85 * 71 && played <= 71 * playedMs / 1000 + 5,
          `k plays on from there in real time (${played} ticks in ${playedMs} ms)`);
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => demoPage.phase === 'ended', {timeout: 10000});
    const credits = await page.evaluate(() => demoPage.credits);
    check(credits !== null && credits.includes('created by'), 'Escape ends with the credits');
    const left = await page.waitForFunction(
        () => document.getElementById('controls').classList.contains('hidden'), {timeout: 2000})
        .then(() => true, () => false);
    check(left, 'the bar leaves with the show');
    await page.close();
}

// The timeline: nine scene marks, hover tells the time and scene, a click and a drag seek there
// (and land on demo-render's frame), the bar fades after 2 s without movement.
async function timeline(browser) {
    const page = await openPage(browser, '?noaudio');
    await startPlaying(page);
    await page.mouse.move(700, 500);
    await page.mouse.move(705, 505);
    const marks = await page.$$eval('#timeline-marks .mark', (m) => m.length);
    check(marks === 8, `a mark at each scene's start after the first (${marks})`);
    const box = await (await page.$('#timeline')).boundingBox();
    const y = box.y + box.height / 2;
    const xAt = (ticks) => Math.round(box.x + box.width * ticks / lengthTicks);
    // The tick the page takes a pointer at x for, as a check of where a click lands.
    const ticksAt = (x) => Math.round(Math.min(1, Math.max(0, (x - box.x) / box.width)) * lengthTicks);

    await page.mouse.move(xAt(13000), y);
    const tip = await page.$eval('#timeline-tip', (e) => e.classList.contains('hidden') ? '' : e.textContent);
    const hovered = ticksAt(xAt(13000));
    const tipWanted = `${Math.floor(hovered / 71 / 60)}:${String(Math.floor(hovered / 71) % 60).padStart(2, '0')} · scene 2`;
    check(tip === tipWanted, `hovering the timeline in scene 2 shows "${tipWanted}" ("${tip}")`);

    await page.keyboard.press('k');
    await page.waitForFunction(() => demoControls.state.timeline.paused, {timeout: 10000});
    const before = (await pageState(page)).timeline.ticks;
    const x = xAt(3000);
    await page.mouse.click(x, y);
    const clicked = await movedFrom(page, before);
    const wanted = ticksAt(x);
    check(clicked.timeline.ticks >= wanted && clicked.timeline.ticks <= wanted + 3,
          `a click on the timeline lands at its tick, ${wanted} (${clicked.timeline.ticks})`);
    await onGrid(page, 'a click on the timeline');

    const from = xAt(1000), to = xAt(2000);
    await page.mouse.move(from, y);
    await page.mouse.down();
    await page.mouse.move((from + to) / 2, y, {steps: 4});
    await page.mouse.move(to, y, {steps: 4});
    const dragging = await page.$eval('#time', (e) => e.textContent);
    check(dragging.startsWith(`0:${String(Math.floor(ticksAt(to) / 71)).padStart(2, '0')}`),
          `while dragging the time shows where the pointer is (${dragging})`);
    await page.mouse.up();
    const dragged = await movedFrom(page, clicked.timeline.ticks);
    check(dragged.timeline.ticks >= ticksAt(to) && dragged.timeline.ticks <= ticksAt(to) + 3,
          `a drag lands where it was let go, ${ticksAt(to)} (${dragged.timeline.ticks})`);
    await onGrid(page, 'a drag on the timeline');

    // Commands the module cannot take are skipped; a huge seek is bounded; the last seek of a
    // batch wins.
    await page.evaluate(() => demoControls.state.queued.push(
        ['nonsense', 1], 'seekTo', null, ['seekTo', 'x'], ['seekBy', Infinity], ['step'],
        ['seekBy', -1e12], ['seekTo', 1420]));
    const junk = await movedFrom(page, dragged.timeline.ticks);
    check(junk.phase === 'running' && junk.timeline.ticks >= 1420 && junk.timeline.ticks <= 1423,
          `after commands the module cannot take, a seek still lands (tick ${junk.timeline.ticks})`);
    await onGrid(page, 'a seek after junk');

    await page.keyboard.press('k');
    await page.waitForFunction(() => !demoControls.state.timeline.paused, {timeout: 10000});
    await page.mouse.move(600, 300);
    await sleep(1000);
    check(await page.evaluate(() => !document.body.classList.contains('idle')),
          'the bar shows 1 s after the pointer moved');
    await sleep(2100);
    check(await page.evaluate(() => document.body.classList.contains('idle')),
          'the bar fades 2 s after the pointer stopped');
    await page.mouse.move(620, 320);
    check(await page.evaluate(() => !document.body.classList.contains('idle')),
          'and comes back when it moves');
    await page.close();
}

// ?t=, #t= and the link to a moment: each starts at that second's tick.
async function moments(browser) {
    for (const [query, seconds] of [['?t=20&noaudio', 20], ['?noaudio#t=1m5s', 65]]) {
        const page = await openPage(browser, query);
        await page.click('#start');
        await page.waitForFunction(() => demoPage.phase === 'running', {timeout: 60000, polling: 10});
        const first = await pageState(page);
        check(first.ticks >= seconds * 71 && first.ticks < seconds * 71 + 20,
              `${query} starts at tick ${seconds * 71} (${first.ticks})`);
        await page.close();
    }
    const page = await openPage(browser, '?noaudio&t=12');
    await startPlaying(page);
    await page.keyboard.press('k');
    await page.waitForFunction(() => demoControls.state.timeline.paused, {timeout: 10000});
    const ticks = (await pageState(page)).timeline.ticks;
    await page.mouse.move(700, 500);
    await page.mouse.move(705, 505);
    await page.click('#copy-link');
    await page.waitForFunction(() => demoControls.state.linkCopied !== null, {timeout: 5000});
    const link = await page.evaluate(() => demoControls.state.lastLink);
    const second = Math.floor(ticks / 71);
    check(link === `${baseUrl}/index.html?t=${second}`, `the link at this moment is ?t=${second} (${link})`);
    const shown = await page.$eval('#link-text', (e) => e.value);
    check(shown === link, 'the link is shown under the bar as well');
    await page.close();
    const again = await openPage(browser, `${new URL(link).search}&noaudio`);
    await again.click('#start');
    await again.waitForFunction(() => demoPage.phase === 'running', {timeout: 60000, polling: 10});
    const opened = await pageState(again);
    check(opened.ticks >= second * 71 && opened.ticks < second * 71 + 20,
          `the copied link starts at tick ${second * 71} (${opened.ticks})`);
    await again.close();
}

// With the music: m reaches the run's music and back; f takes the whole screen with the
// whole-number enlargement kept, and gives it back; the system's media controls know the show.
async function muteAndFullScreen(browser) {
    const page = await openPage(browser, '');
    const notes = [];
    page.on('console', (m) => notes.push(m.text()));
    await startPlaying(page);
    check(await page.$eval('#mute', (b) => !b.classList.contains('hidden')),
          'the mute button is there with the music');
    await page.keyboard.press('m');
    await page.waitForFunction(() => document.getElementById('mute').getAttribute('aria-label')
                                         .startsWith('Sound on'), {timeout: 5000});
    await sleep(300);
    check(notes.includes('sound muted'), 'm mutes the run\'s music');
    await page.click('#mute');
    await sleep(300);
    check(notes.includes('sound on'), 'the mute button lets it be heard again');

    await page.keyboard.press('f');
    // The button follows the change event, which comes after the element is set.
    await page.waitForFunction(() => document.fullscreenElement !== null &&
                                     document.getElementById('fullscreen').getAttribute('aria-label')
                                         .startsWith('Leave'), {timeout: 5000})
        .catch(() => {});
    const full = await page.evaluate(() => ({
        on: document.fullscreenElement !== null,
        width: parseFloat(document.getElementById('screen').style.width),
        label: document.getElementById('fullscreen').getAttribute('aria-label'),
    }));
    check(full.on && full.label.startsWith('Leave'), 'f takes the whole screen');
    check(full.width > 0 && full.width % 640 === 0,
          `full screen keeps the whole-number enlargement (${full.width} px wide)`);
    await page.keyboard.press('f');
    await page.waitForFunction(() => document.fullscreenElement === null, {timeout: 5000})
        .catch(() => {});
    check(await page.evaluate(() => document.fullscreenElement === null), 'f again gives it back');

    const session = await page.evaluate(() => ({
        title: navigator.mediaSession.metadata && navigator.mediaSession.metadata.title,
        state: navigator.mediaSession.playbackState,
    }));
    check(session.title === 'demo' && session.state === 'playing',
          `the Media Session names the show and says it plays (${JSON.stringify(session)})`);
    await page.keyboard.press('k');
    await page.waitForFunction(() => navigator.mediaSession.playbackState === 'paused',
                               {timeout: 5000}).catch(() => {});
    check(await page.evaluate(() => navigator.mediaSession.playbackState) === 'paused',
          'and that it is paused');
    await page.close();
}

// A phone: the picture fits the width, a tap starts the show, a tap shows the bar.
async function phone(browser) {
    const page = await openPage(browser, '?noaudio',
                                {width: 390, height: 844, isMobile: true, hasTouch: true,
                                 deviceScaleFactor: 3});
    const canvas = await (await page.$('#screen')).boundingBox();
    check(canvas.width >= 385 && canvas.width <= 390 && Math.abs(canvas.height - canvas.width * 0.75) < 1,
          `the picture fits the 390 px width at 4:3 (${canvas.width} x ${canvas.height})`);
    const poster = await (await page.$('#start')).boundingBox();
    check(Math.abs(poster.width - canvas.width) < 1 && Math.abs(poster.y - canvas.y) < 1,
          'the poster lies over the picture');
    await page.tap('#start');
    await page.waitForFunction(() => demoPage.phase === 'running' && demoControls.state.timeline,
                               {timeout: 60000});
    await sleep(3000);
    check(await page.evaluate(() => document.body.classList.contains('idle')),
          'the bar fades by itself on a phone');
    await page.tap('#screen');
    check(await page.evaluate(() => !document.body.classList.contains('idle')),
          'a tap on the picture shows the bar');
    const bar = await (await page.$('#bar')).boundingBox();
    const buttons = await page.$$eval('#bar button:not(.hidden)', (b) => b.map((e) => {
        const r = e.getBoundingClientRect();
        return r.right;
    }));
    check(bar.x >= 0 && bar.x + bar.width <= 390 && Math.max(...buttons) <= 390,
          `the bar and its buttons fit the width (${Math.max(...buttons).toFixed(0)} px)`);
    await page.tap('#screen');
    check(await page.evaluate(() => document.body.classList.contains('idle')),
          'another tap hides it');
    await page.close();
}

// The poster and the favicon are there, nothing the page asks for is missing.
async function siteFiles(browser) {
    const page = await browser.newPage();
    const missing = [];
    page.on('response', (r) => { if (r.status() >= 400) missing.push(`${r.status()} ${r.url()}`); });
    await page.goto(`${baseUrl}/`, {waitUntil: 'networkidle0'});
    const poster = await page.$eval('#poster', (img) => [img.complete, img.naturalWidth, img.naturalHeight]);
    check(poster[0] && poster[1] === 640 && poster[2] === 480, `the poster is a 640 x 480 picture (${poster})`);
    const icon = await page.evaluate(async () => {
        const link = document.querySelector('link[rel="icon"]');
        const response = await fetch(link.href);
        const bytes = new Uint8Array(await response.arrayBuffer());
        return [response.status, bytes[0], bytes[1], bytes[2], bytes[3]];
    });
    check(icon[0] === 200 && icon.slice(1).join() === '0,0,1,0', `the favicon is an icon file (${icon})`);
    const head = await page.evaluate(() => ({
        title: document.title,
        description: document.querySelector('meta[name="description"]')?.content,
        image: document.querySelector('meta[property="og:image"]')?.content,
    }));
    check(head.title.length > 10 && head.description && head.description.length > 40,
          `a title and a description (${JSON.stringify(head.title)})`);
    check(/poster\.jpg$/.test(head.image || ''), `the Open Graph image is the poster (${head.image})`);
    check(missing.length === 0, `no request of the page fails (${missing.join(', ') || 'none'})`);
    await page.close();
}

(async () => {
    const browser = await puppeteer.launch({
        executablePath: chromium,
        headless: true,
        args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
    });
    try {
        await siteFiles(browser);
        await keys(browser);
        await timeline(browser);
        await moments(browser);
        await muteAndFullScreen(browser);
        await phone(browser);
    } catch (error) {
        check(false, `the controls test ran to its end (${error.message})`);
    } finally {
        await browser.close();
    }
    console.log(failures === 0 ? 'page controls tests passed' : `${failures} page controls checks FAILED`);
    process.exit(failures === 0 ? 0 : 1);
})();
