// The page's controls, as visitors know them from video sites: the poster's play button, then a
// bar over the bottom of the picture (play and pause, the time, the timeline with a mark at each
// scene, mute, a link to this moment, full screen) that fades after 2 s without the pointer
// moving, the keys, touch, and the system's media keys (Media Session).
//
// The run does the work: the controls queue commands that the module takes before every frame
// (Module.takeCommands, as [kind, value] pairs) and draw what the module reports
// (Module.showTimeline). Seeks land on video mode's frame grid, so the frame after one is the
// frame demo-render draws there. page.js passes `hooks` to the module.
//
// Keys: Space and k pause and play; Left and Right 5 s; j and l 10 s; 0 to 9 tenths of the
// show; Home the start; Page Up and Page Down the scene before and after; . and , a frame
// forward and back while paused; f full screen; m mute; Escape ends the show (page.js). window.demoControls.state holds what tests look at.
'use strict';
(function () {
const params = new URLSearchParams(location.search);
const check = params.get('check') === '1';
const soundOff = check || params.has('noaudio');
const ticksPerSecond = 71;
const hideAfterMs = 2000;

const $ = (id) => document.getElementById(id);
const player = $('player');
const canvas = $('screen');
const controls = $('controls');
const timeline = $('timeline');
const fill = $('timeline-fill');
const knob = $('timeline-knob');
const marks = $('timeline-marks');
const tip = $('timeline-tip');
const playButton = $('play');
const muteButton = $('mute');
const fullscreenButton = $('fullscreen');
const timeText = $('time');
const linkNote = $('link-note');
const poster = $('poster'); // null on a site built without a pack

const icons = {
    play: '<svg viewBox="0 0 24 24"><path d="M8 5v14l11-7z"/></svg>',
    pause: '<svg viewBox="0 0 24 24"><path d="M6 5h4v14H6zm8 0h4v14h-4z"/></svg>',
    sound: '<svg viewBox="0 0 24 24"><path d="M3 9v6h4l5 5V4L7 9zm13.5 3A4.5 4.5 0 0 0 14 8v8a4.5 4.5 0 0 0 2.5-4z"/></svg>',
    muted: '<svg viewBox="0 0 24 24"><path d="M3 9v6h4l5 5V4L7 9zm18.3-.7-1.4-1.4L17.5 9.3 15.1 6.9l-1.4 1.4 2.4 2.4-2.4 2.4 1.4 1.4 2.4-2.4 2.4 2.4 1.4-1.4-2.4-2.4z"/></svg>',
    enter: '<svg viewBox="0 0 24 24"><path d="M5 5h5v2H7v3H5zm9 0h5v5h-2V7h-3zM5 14h2v3h3v2H5zm12 0h2v5h-5v-2h3z"/></svg>',
    leave: '<svg viewBox="0 0 24 24"><path d="M8 5h2v5H5V8h3zm6 0h2v3h3v2h-5zM5 14h5v5H8v-3H5zm9 0h5v2h-3v3h-2z"/></svg>',
};

const state = {
    timeline: null,   // the module's last report
    queued: [],       // commands not yet taken by the module
    muted: false,     // as the viewer last asked
    visible: false,   // whether the bar shows
    lastLink: null,   // the last link at a moment made
    linkCopied: null, // true: on the clipboard; false: shown to copy by hand
};

// "m:ss" (or "h:mm:ss") of a tick count.
function clockText(ticks) {
    const total = Math.max(0, Math.floor(ticks / ticksPerSecond));
    const s = String(total % 60).padStart(2, '0');
    const m = Math.floor(total / 60);
    return m >= 60 ? `${Math.floor(m / 60)}:${String(m % 60).padStart(2, '0')}:${s}` : `${m}:${s}`;
}

// The scene (1 ... 9) running at a tick.
function sceneAt(ticks, starts) {
    let scene = 1;
    while (scene < starts.length && ticks >= starts[scene]) scene += 1;
    return scene;
}

const running = () => window.demoPage && window.demoPage.phase === 'running';

function send(kind, value) {
    if (!running()) return;
    state.queued.push([kind, value || 0]);
    reveal();
}

// [SECTION] the bar: shown on movement, faded 2 s after the last (not while paused or dragging)
let hideTimer = 0;
function reveal() {
    if (check || state.timeline === null) return; // nothing to show before the first report
    controls.classList.remove('hidden');
    document.body.classList.remove('idle');
    state.visible = true;
    clearTimeout(hideTimer);
    hideTimer = setTimeout(fade, hideAfterMs);
}
function hide() {
    clearTimeout(hideTimer);
    document.body.classList.add('idle');
    state.visible = false;
    linkNote.classList.add('hidden');
}
function fade() {
    const paused = state.timeline && state.timeline.paused;
    if (!paused && !dragging && running()) hide();
}
// A mouse's movement (a touch screen's taps would come as movements too).
addEventListener('pointermove', (event) => { if (event.pointerType === 'mouse') reveal(); });

// [SECTION] what the module reports
let shownSecond = -1, shownPaused = null, lastPositionState = 0;
function showTimeline(report) {
    const first = state.timeline === null;
    state.timeline = report;
    if (first && report.lengthTicks > 0) {
        timeline.setAttribute('aria-valuemin', '0');
        timeline.setAttribute('aria-valuemax', String(Math.floor(report.lengthTicks / ticksPerSecond)));
        marks.replaceChildren(...report.sceneStarts.map((ticks, i) => {
            const mark = document.createElement('div');
            mark.className = 'mark';
            mark.style.left = `${100 * ticks / report.lengthTicks}%`;
            mark.title = `scene ${i + 1}`;
            return mark;
        }).slice(1)); // the first scene starts at the beginning: no mark there
    }
    if (first) {
        muteButton.classList.toggle('hidden', soundOff);
        reveal();
    }
    if (report.reveal) reveal();
    if (!dragging) showPosition(report.ticks);
    if (report.paused !== shownPaused) {
        shownPaused = report.paused;
        playButton.innerHTML = report.paused ? icons.play : icons.pause;
        playButton.setAttribute('aria-label', report.paused ? 'Play (k)' : 'Pause (k)');
        if (report.paused) reveal();
    }
    updateMediaSession(report);
}
function showPosition(ticks) {
    const report = state.timeline;
    if (!report || report.lengthTicks <= 0) return;
    const share = `${Math.min(100, Math.max(0, 100 * ticks / report.lengthTicks))}%`;
    fill.style.width = share;
    knob.style.left = share;
    const second = Math.floor(ticks / ticksPerSecond);
    if (second !== shownSecond) {
        shownSecond = second;
        timeText.textContent = `${clockText(ticks)} / ${clockText(report.lengthTicks)}`;
        timeline.setAttribute('aria-valuenow', String(second));
        timeline.setAttribute('aria-valuetext', clockText(ticks));
    }
}

// [SECTION] the timeline: hover shows the time and scene; a click or a drag seeks on release
let dragging = false;
function ticksAtPointer(event) {
    const box = timeline.getBoundingClientRect();
    const share = Math.min(1, Math.max(0, (event.clientX - box.left) / Math.max(1, box.width)));
    return Math.round(share * state.timeline.lengthTicks);
}
function showTip(event) {
    if (!state.timeline) return;
    const ticks = ticksAtPointer(event);
    const box = timeline.getBoundingClientRect();
    tip.textContent = `${clockText(ticks)} · scene ${sceneAt(ticks, state.timeline.sceneStarts)}`;
    tip.style.left = `${Math.min(box.width - 40, Math.max(40, event.clientX - box.left))}px`;
    tip.classList.remove('hidden');
}
timeline.addEventListener('pointermove', (event) => {
    showTip(event);
    if (dragging) showPosition(ticksAtPointer(event));
});
timeline.addEventListener('pointerleave', () => { if (!dragging) tip.classList.add('hidden'); });
timeline.addEventListener('pointerdown', (event) => {
    if (!state.timeline || !running() || event.button !== 0) return;
    dragging = true;
    timeline.classList.add('dragging');
    timeline.setPointerCapture(event.pointerId);
    showTip(event);
    showPosition(ticksAtPointer(event));
    event.preventDefault();
});
function endDrag(event, seek) {
    if (!dragging) return;
    dragging = false;
    timeline.classList.remove('dragging');
    tip.classList.add('hidden');
    if (seek) send('seekTo', ticksAtPointer(event));
    else showPosition(state.timeline.ticks);
}
timeline.addEventListener('pointerup', (event) => endDrag(event, true));
timeline.addEventListener('pointercancel', (event) => endDrag(event, false));

// [SECTION] buttons
playButton.addEventListener('click', () => send('pause'));
function toggleMute() {
    if (soundOff || !running()) return;
    state.muted = !state.muted;
    send('mute');
    showMute();
}
function showMute() {
    muteButton.innerHTML = state.muted ? icons.muted : icons.sound;
    muteButton.setAttribute('aria-label', state.muted ? 'Sound on (m)' : 'Mute (m)');
}
muteButton.addEventListener('click', toggleMute);
showMute();

function toggleFullscreen() {
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
    else if (document.documentElement.requestFullscreen)
        document.documentElement.requestFullscreen().catch((error) => console.error(`full screen: ${error}`));
}
function showFullscreen() {
    const on = document.fullscreenElement !== null && document.fullscreenElement !== undefined;
    fullscreenButton.innerHTML = on ? icons.leave : icons.enter;
    fullscreenButton.setAttribute('aria-label', on ? 'Leave full screen (f)' : 'Full screen (f)');
}
fullscreenButton.addEventListener('click', toggleFullscreen);
document.addEventListener('fullscreenchange', showFullscreen);
showFullscreen();

// A link to this moment (whole seconds), onto the clipboard, or shown to be copied by hand when
// the browser refuses.
function linkAtMoment() {
    const ticks = state.timeline ? state.timeline.ticks : 0;
    return `${location.origin}${location.pathname}?t=${Math.floor(ticks / ticksPerSecond)}`;
}
$('copy-link').addEventListener('click', async () => {
    const link = state.lastLink = linkAtMoment();
    let copied = false;
    try {
        await navigator.clipboard.writeText(link);
        copied = true;
    } catch (error) {
        console.log(`the clipboard was refused (${error.message || error}): the link is shown`);
    }
    state.linkCopied = copied;
    $('link-note-text').textContent = copied ? 'Link copied:' : 'Copy this link:';
    const text = $('link-text');
    text.value = link;
    linkNote.classList.remove('hidden');
    if (!copied) text.select();
    reveal();
});

// [SECTION] the picture: a click pauses, a double click toggles full screen; a tap (touch) shows
// or hides the bar
canvas.addEventListener('pointerup', (event) => {
    if (!running()) return;
    if (event.pointerType === 'mouse') {
        send('pause');
    } else if (state.visible) {
        hide(); // even while paused: the viewer asked
    } else {
        reveal();
    }
});
canvas.addEventListener('dblclick', toggleFullscreen);

// [SECTION] keys
const seekKeys = {ArrowLeft: -5, ArrowRight: 5, j: -10, l: 10};
let spaceHandled = false;
addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey || check) return;
    if (event.target instanceof HTMLInputElement) return;
    const key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
    const phase = window.demoPage ? window.demoPage.phase : 'waiting';
    let handled = true;
    if (phase === 'waiting' && (key === ' ' || key === 'k' || key === 'Enter')) {
        $('start').click(); // a key is a gesture too: the show and its sound start
    } else if (key === 'f') {
        toggleFullscreen();
    } else if (!running()) {
        handled = false;
    } else if (key === ' ' || key === 'k') {
        send('pause');
    } else if (key in seekKeys) {
        send('seekBy', seekKeys[key]);
    } else if (/^[0-9]$/.test(key) && state.timeline) {
        send('seekTo', Math.round(state.timeline.lengthTicks * Number(key) / 10));
    } else if (key === 'Home') {
        send('seekTo', 0);
    } else if (key === 'PageUp' || key === 'PageDown') {
        send('sceneBy', key === 'PageUp' ? -1 : 1);
    } else if (key === '.' || key === ',') {
        send('step', key === '.' ? 1 : -1);
    } else if (key === 'm') {
        toggleMute();
    } else {
        handled = false;
    }
    if (handled) {
        event.preventDefault();
        spaceHandled = key === ' ';
    }
});
// A focused button would take a handled Space as a click as well.
addEventListener('keyup', (event) => {
    if (event.key === ' ' && spaceHandled) event.preventDefault();
});

// [SECTION] the system's play, pause and seek keys
const session = navigator.mediaSession;
let sessionStarted = false;
function updateMediaSession(report) {
    if (!session) return;
    if (!sessionStarted) {
        sessionStarted = true;
        if (window.MediaMetadata)
            session.metadata = new MediaMetadata({
                title: 'demo', artist: '~north of nowhere~', album: 'velmorin',
                artwork: poster ? [{src: poster.src, sizes: '640x480', type: 'image/jpeg'}] : [],
            });
        const handlers = {
            play: () => { if (state.timeline && state.timeline.paused) send('pause'); },
            pause: () => { if (state.timeline && !state.timeline.paused) send('pause'); },
            seekbackward: (details) => send('seekBy', -Math.round(details.seekOffset || 10)),
            seekforward: (details) => send('seekBy', Math.round(details.seekOffset || 10)),
            seekto: (details) => send('seekTo', Math.round(details.seekTime * ticksPerSecond)),
        };
        for (const [action, handler] of Object.entries(handlers)) {
            try {
                session.setActionHandler(action, handler);
            } catch (error) {
                // an action this browser does not know
            }
        }
    }
    session.playbackState = report.paused ? 'paused' : 'playing';
    const now = performance.now();
    if ((report.reveal || now - lastPositionState > 1000) && session.setPositionState &&
        report.lengthTicks > 0) {
        lastPositionState = now;
        try {
            session.setPositionState({
                duration: report.lengthTicks / ticksPerSecond, playbackRate: 1,
                position: Math.min(report.ticks, report.lengthTicks) / ticksPerSecond,
            });
        } catch (error) {
            // a position outside the duration
        }
    }
}

// The bar leaves with the show (the credits come).
const watchEnd = setInterval(() => {
    if (window.demoPage && window.demoPage.phase === 'ended') {
        controls.classList.add('hidden');
        document.body.classList.remove('idle');
        state.visible = false;
        clearInterval(watchEnd);
    }
}, 250);

// The poster is optional: a site built without a pack has none (and no element for it).
if (poster) poster.addEventListener('error', () => poster.classList.add('hidden'));

window.demoControls = {
    state,
    hooks: {
        takeCommands: () => state.queued.splice(0),
        showTimeline,
    },
};
})();
