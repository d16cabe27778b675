// The page around the show: the start screen, the canvas, the music streamed through Web Audio
// (stream-music.js), message boxes and credits on the page, and the address words:
//   ?end=N      ends the show at tick N (as the program's end=N)
//   ?start=N    skips to tick N before the music starts (as the player's start=N)
//   ?t=SECONDS  (or #t=SECONDS) the same from that second, as video sites' links (90, 90.5,
//               1m30s); start= wins when both are given
//   ?check=1    video mode's fixed 31-frames-per-second schedule, silent, as fast as the
//               browser allows (one frame per callback); ?capture=I,J,... digests the canvas
//               after those frames (SHA-256 of the 640 x 480 blue-green-red bytes)
//   ?noaudio    no music; the clock is the page's own
// window.demoPage holds the page's state for tests and the curious.
'use strict';
(function () {
const params = new URLSearchParams(location.search);
const check = params.get('check') === '1';
const soundOff = check || params.has('noaudio');
const width = 640, height = 480;

// The address's tick words as the program's words, for the show's own reader to judge (digits
// only, each given once); a value with a blank in it would make two words and is left out.
function tickWords(name) {
    return params.getAll(name).filter((value) => {
        if (!/\s/.test(value)) return true;
        console.error(`${name}=${value} is not a tick count; ignored`);
        return false;
    }).map((value) => `${name}=${value}`);
}
// ?t= or #t= as start= at that second's tick (71 a second): 90, 90.5, 1m30s, 1h2m3s.
function momentWords() {
    const value = params.get('t') ?? new URLSearchParams(location.hash.slice(1)).get('t');
    if (value === null || params.has('start')) return [];
    let seconds = NaN;
    const parts = /^(?:(\d+)h)?(?:(\d+)m)?(?:(\d+(?:\.\d+)?)s?)?$/.exec(value);
    if (value !== '' && parts)
        seconds = Number(parts[1] || 0) * 3600 + Number(parts[2] || 0) * 60 + Number(parts[3] || 0);
    if (!Number.isFinite(seconds)) {
        console.error(`t=${value} is not a time in seconds; ignored`);
        return [];
    }
    const ticks = Math.round(seconds * 71);
    return ticks > 0 ? [`start=${ticks}`] : [];
}
const captures = new Set((params.get('capture') || '').split(',').filter((s) => /^[0-9]+$/.test(s))
                             .map(Number));

const canvas = document.getElementById('screen');
const context = canvas.getContext('2d');
const image = context.createImageData(width, height);
const startPanel = document.getElementById('start');
const messagePanel = document.getElementById('message');
const messageText = document.getElementById('message-text');

// The module and the run, for tests that drive the run as the page's controls do.
window.demoRun = () => ({module, run});

const page = window.demoPage = {
    phase: 'waiting', // waiting, loading, skipping (start=), running, ended
    frames: 0,
    ticks: 0, // the show's clock after the last frame
    seconds: 0,
    framesPerSecond: 0,
    audioState: null,
    messages: [],
    credits: null,
    canvasDigests: {},
    pendingDigests: 0,
    clickedAt: null,    // performance.now() at the click that started the show
    firstFrameAt: null, // and at its first frame
    loading: [],        // the loading line's changes: {shown, reason, at}
    preloaded: false,   // the pack and the module are here (fetched before the click)
    seekIndex: null, // snapshots and bytes kept, refused, built, failed, the worker's figures
};
// A line that says the page is waiting (the start, a seek, sound running dry), once a wait
// has lasted 300 ms.
const loading = new StreamMusic.LoadingLine(document.getElementById('loading'), page.loading);

// The largest whole multiple of 640 x 480 device pixels the window holds; a window smaller than
// 640 x 480 of its own pixels (a phone) gets the fitted size. (The root's client size: a phone
// widens innerWidth to whatever overflows.)
function fitCanvas() {
    const ratio = window.devicePixelRatio || 1;
    const w = document.documentElement.clientWidth, h = document.documentElement.clientHeight;
    const small = w < width || h < height;
    const fit = Math.min(w * ratio / width, h * ratio / height);
    const k = fit >= 1 && !small ? Math.floor(fit) : fit;
    canvas.style.width = `${width * k / ratio}px`;
    canvas.style.height = `${height * k / ratio}px`;
    canvas.classList.toggle('fitted', k !== Math.floor(k));
}
addEventListener('resize', fitCanvas);
fitCanvas();

// [SECTION] files: beside the page, or chosen by the viewer
const chosen = {pack: null, music: null};
function choose(files) {
    for (const file of files) {
        if (/\.mp3$/i.test(file.name) || file.type === 'audio/mpeg') chosen.music = file;
        else chosen.pack = file;
    }
    const names = [chosen.pack, chosen.music].filter(Boolean).map((f) => f.name);
    document.getElementById('chosen').textContent = names.length ? `chosen: ${names.join(', ')}` : '';
}
document.getElementById('files').addEventListener('change', (e) => choose(e.target.files));
addEventListener('dragover', (e) => {
    e.preventDefault();
    document.body.classList.add('dragging');
});
addEventListener('dragleave', () => document.body.classList.remove('dragging'));
addEventListener('drop', (e) => {
    e.preventDefault();
    document.body.classList.remove('dragging');
    choose(e.dataTransfer.files);
});

// The bytes of a chosen file or of NAME beside the page; null when there are none.
async function load(file, name) {
    try {
        if (file) return new Uint8Array(await file.arrayBuffer());
        const response = await fetch(name);
        return response.ok ? new Uint8Array(await response.arrayBuffer()) : null;
    } catch (error) {
        console.error(`${name}: ${error}`);
        return null;
    }
}

// [SECTION] music and clock
// The soundtrack is asked for at once, the pack and the module too: after the click only the
// sound's first bytes stand between the viewer and the first frame.
const music = soundOff ? null : StreamMusic.create({
    url: 'velmorin.mp3',
    loading,
    onError: (why) => showMessage(why, "Couldn't play the soundtrack"),
});
// For tests and the curious: demoPage.music (not copied with demoPage's state).
Object.defineProperty(page, 'music', {value: music, enumerable: false});
if (music) music.preload();
// The show's clock: the samples played, or the page's own without sound.
function clockMs() {
    return music ? music.clockMs() : performance.now();
}

// [SECTION] display and messages
let module = null;
let run = 0; // the show's run in the module
let quit = false;
addEventListener('keydown', (e) => {
    if (e.key === 'Escape') quit = true;
});
function showFrame(pixels) {
    // Words 0x00RRGGBB, little-endian: blue, green, red, 0.
    const from = module.HEAPU8;
    const to = image.data;
    for (let i = 0, p = pixels; i < width * height * 4; i += 4, p += 4) {
        to[i] = from[p + 2];
        to[i + 1] = from[p + 1];
        to[i + 2] = from[p];
        to[i + 3] = 255;
    }
    context.putImageData(image, 0, 0);
}
function showMessage(text, caption) {
    const shown = caption ? `${caption}\n\n${text}` : text;
    page.messages.push(shown);
    messageText.textContent = page.messages.slice(-2).join('\n').replace(/^\n+/, '');
    messagePanel.classList.remove('hidden');
}

// The canvas read back as the 24-bit frame demo-render digests.
async function digestCanvas(index) {
    page.pendingDigests += 1;
    const rgba = context.getImageData(0, 0, width, height).data;
    const bgr = new Uint8Array(width * height * 3);
    for (let i = 0, o = 0; i < rgba.length; i += 4, o += 3) {
        bgr[o] = rgba[i + 2];
        bgr[o + 1] = rgba[i + 1];
        bgr[o + 2] = rgba[i];
    }
    const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bgr));
    page.canvasDigests[index] = Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('');
    page.pendingDigests -= 1;
}

// [SECTION] seek index: built beside the show by a worker running the same module; each
// snapshot it sends is kept by the module, which seeks from them. A seek restores the nearest
// snapshot before its frame and steps on from there: the spacing (ms of stepping between
// snapshots) bounds that stepping, and the index's size grows as it shrinks.
const seekIndexSpacingMs = 150;
// The snapshots' number is bounded, so that the page's memory does not grow on a slower or
// busier machine, where the spacing alone would give more of them (about 0.6 MB each).
const seekIndexMaxSnapshots = 42;
let stopSeekIndex = () => {};
function buildSeekIndex(pack) {
    const index = page.seekIndex = {snapshots: 0, bytes: 0, refused: 0, built: false, failed: false,
                                    worker: null};
    const worker = new Worker('seek-worker.js');
    const end = (failed, figures) => {
        worker.terminate(); // its memory goes with it
        stopSeekIndex = () => {};
        Object.assign(index, {built: !failed, failed, worker: figures});
    };
    stopSeekIndex = () => end(true, {});
    worker.onmessage = (event) => {
        const message = event.data;
        if (message.kind !== 'snapshot') {
            end(message.kind !== 'built', message.figures);
            return;
        }
        // Into the module's memory, where it is kept (the buffer goes back to the worker for
        // the next one, unless it is one of the few large ones, the first above all: kept as a
        // spare, it would hold its memory until the index is built); each snapshot names
        // buffers of the one before, so the first one refused ends the index.
        const bytes = new Uint8Array(message.bytes, 0, message.size);
        const at = module._malloc(bytes.length);
        if (at) module.HEAPU8.set(bytes, at);
        const kept = at && module._webSeekIndexAdd(at, bytes.length);
        module._free(at);
        if (message.bytes.byteLength <= 2 << 20)
            worker.postMessage({spare: message.bytes}, [message.bytes]);
        index.snapshots = module._webSeekIndexSnapshots();
        index.bytes = module._webSeekIndexBytes();
        if (!kept) {
            index.refused += 1;
            end(true, {});
        }
    };
    worker.onerror = (event) => {
        console.error(`seek index: ${event.message}`);
        end(true, {});
    };
    moduleCode.then((code) => worker.postMessage({pack: pack.buffer, spacingMs: seekIndexSpacingMs,
                                                  maxSnapshots: seekIndexMaxSnapshots, code},
                                                 [pack.buffer]),
                    () => end(true, {}));
}

// [SECTION] the show's loop: one frame per browser callback
let started = 0;
function finish() {
    page.phase = 'ended';
    page.credits = page.messages.length ? page.messages[page.messages.length - 1] : null;
    page.seconds = started ? (performance.now() - started) / 1000 : 0;
    page.framesPerSecond = page.seconds > 0 ? page.frames / page.seconds : 0;
    loading.end('start');
    if (music) {
        music.stop();
        page.audioState = music.audio ? music.audio.state : null;
    }
    stopSeekIndex();
}
function step() {
    const result = module._webFrame(run);
    if (result === 0) {
        finish();
        return;
    }
    page.phase = module._webSkipping(run) ? 'skipping' : 'running';
    page.ticks = module._webTicks(run);
    if (result === 1) {
        if (page.frames === 0) {
            page.firstFrameAt = performance.now();
            loading.end('start');
        }
        page.frames += 1;
        if (captures.has(page.frames - 1)) digestCanvas(page.frames - 1);
    }
    schedule();
}
// Check mode runs as fast as the page can (a message per frame); playback once per display
// refresh, the show's clock deciding what each frame shows.
const channel = new MessageChannel();
channel.port1.onmessage = step;
function schedule() {
    if (check) channel.port2.postMessage(0);
    else requestAnimationFrame(step);
}

// The pack and the module, fetched while the start screen is up.
const packLoad = load(null, '_.dat');
// The controls (controls.js, loaded after this script) take the viewer's commands and show the
// timeline; they are looked up when the run asks.
const controls = () => (window.demoControls ? window.demoControls.hooks : null);
// The module's code is compiled once: the page makes its instance of it, and the seek index's
// worker gets the compiled code itself (no second download, compilation or copy of the code).
const moduleCode = (() => {
    const compile = () => fetch('demo.wasm').then((response) => {
        if (!response.ok) throw new Error(`demo.wasm: the server answered ${response.status}`);
        return response.arrayBuffer();
    }).then((bytes) => WebAssembly.compile(bytes));
    // Streaming needs the server to send application/wasm; without it, the bytes, then compiled.
    return WebAssembly.compileStreaming
        ? WebAssembly.compileStreaming(fetch('demo.wasm')).catch(compile) : compile();
})();
let moduleFailed = null;
const moduleLoad = Promise.race([
    createDemo(Object.assign({
        showFrame, showMessage, clockMs,
        quitRequested: () => quit,
        takeCommands: () => (controls() ? controls().takeCommands() : []),
        showTimeline: (state) => { if (controls()) controls().showTimeline(state); },
        instantiateWasm: (imports, receive) => {
            moduleCode.then((code) => WebAssembly.instantiate(code, imports)
                .then((instance) => receive(instance, code))).catch((error) => moduleFailed(error));
            return {};
        },
    }, music ? music.hooks : {})),
    new Promise((resolve, reject) => { moduleFailed = reject; }),
]);
Promise.all([packLoad, moduleLoad]).then(() => { page.preloaded = true; }, () => {});

async function begin() {
    page.phase = 'loading';
    page.clickedAt = performance.now();
    loading.begin('start');
    startPanel.classList.add('hidden');
    if (music) music.unlock();
    module = await moduleLoad;
    if (music) {
        await music.prepare(module, chosen.music);
        page.audioState = music.audio.state;
        music.audio.onstatechange = () => { page.audioState = music.audio.state; };
    }
    const pack = chosen.pack ? await load(chosen.pack, '_.dat') : await packLoad;
    if (pack) module.FS.writeFile('_.dat', pack);
    const words = [check ? 'video' : '', soundOff ? 'noaudio' : '', ...tickWords('end'),
                   ...(check ? [] : [...tickWords('start'), ...momentWords()])].filter(Boolean).join(' ');
    started = performance.now();
    run = module.ccall('webOpen', 'number', ['string'], [words]);
    if (!run) {
        finish();
        return;
    }
    page.phase = module._webSkipping(run) ? 'skipping' : 'running';
    schedule();
    if (!check && pack && typeof Worker !== 'undefined') buildSeekIndex(pack);
}

// Browsers start sound only after a gesture: the first click anywhere but the file chooser.
addEventListener('click', (e) => {
    if (e.target.id !== 'files' && page.phase === 'waiting') {
        begin().catch((error) => {
            console.error(error);
            showMessage(`The show could not be loaded here (${error.message || error}).`, 'Sorry');
            finish();
        });
    }
});
})();
