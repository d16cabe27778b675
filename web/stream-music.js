// The soundtrack in the page, streamed: velmorin.mp3 is read as it arrives (by HTTP range
// requests of a megabyte each, or a chosen file by slices), decoded by the module's libmpg123
// (mp3* functions of web/StreamDecoder.cpp) a couple of seconds ahead of what is heard, and
// played by an audio worklet (music-worklet.js) from blocks posted to it. Seeking asks the
// decoder where in the file to read from and reads from there (a server that ignores ranges
// sends the whole file, whose bytes before that point are skipped).
//
// The show's clock is the count of samples played: clockMs() follows the worklet's reports,
// smoothed by the audio context's time since the last one, and never goes back. Once the sound
// has ended or failed, the clock goes on in real time.
//
//   const music = StreamMusic.create({url, loading, onError});
//   music.preload();                     // before the click: the file's first piece
//   music.unlock();                      // in the click's handler: the audio context
//   await music.prepare(module, file);   // then: the worklet, the first 0.3 s decoded
//   music.hooks                          // Module.startMusic ... for the show's run
//
// window.StreamMusic.LoadingLine shows a line whenever one of its waits passes 300 ms.
'use strict';
(function () {
const rate = 44100;               // the decoder's output: 16-bit stereo at 44,100 Hz
const aheadSeconds = 2;           // decoded ahead of what is heard
const startSeconds = 0.3;         // queued before the sound starts, and again after it ran dry
const sliceBytes = 64 * 1024;     // a chosen file is read this much at a time
// The file on the server is asked for this much at a time. A piece holds 65 s of the 128 kbit/s
// sound and comes in 0.4 s on a 25 Mbit/s link with 40 ms latency: the next one, asked for half
// a piece (32 s) ahead, is there long before it is needed even on a link of a few hundred
// kbit/s, and the frame index's reading (at most 3 MB/s) makes 14 requests. Smaller pieces cost
// a request's latency more often; larger ones are held whole by the browser.
const pieceBytes = 1024 * 1024;
const feedBytes = 64 * 1024;      // bytes handed to the decoder per call
const decodeBytes = 4096 * 4;     // decoded samples per call (4,096 stereo frames)
const indexDelayMs = 2000;        // the whole file's frames are indexed this long after the start,
const indexPauseMs = 20;          // a pause after each piece read for it (at most 3 MB/s)
const status = {more: 0, needsInput: 1, ended: 2, failed: 3, reposition: 4};

// [SECTION] the loading line
class LoadingLine {
    constructor(element, log) {
        this.element = element;
        this.log = log; // {shown, reason, at} per change, for tests
        this.waits = new Map();
        this.timer = null;
    }
    begin(reason) {
        if (!this.waits.has(reason)) this.waits.set(reason, performance.now());
        this.update();
    }
    end(reason) {
        if (this.waits.delete(reason)) this.update();
    }
    update() {
        const now = performance.now();
        let due = Infinity;
        let shown = null;
        for (const [reason, since] of this.waits) {
            if (now - since >= 300) shown = shown || reason;
            else due = Math.min(due, since + 300 - now);
        }
        const visible = !this.element.classList.contains('hidden');
        if ((shown !== null) !== visible) {
            this.element.classList.toggle('hidden', shown === null);
            if (this.log) this.log.push({shown: shown !== null, reason: shown, at: now});
        }
        clearTimeout(this.timer);
        if (due !== Infinity) this.timer = setTimeout(() => this.update(), due + 1);
    }
}

// [SECTION] where the bytes come from
// Reads `url` from byte `offset` on, a piece of pieceBytes at a time (HTTP range requests; the
// next piece is asked for once half of the one before is read, when that one has most likely
// come whole and the two do not share the link): the browser takes in a response's whole body
// as fast as the network brings it, whoever reads it, so it holds at most a piece and a half.
// A server that ignores ranges sends the whole file to the first request; that one response is
// read, its bytes before `offset` skipped.
//   first     the first piece's response, asked for already (preload), or null
//   reuse     > 0: chunks are read into one buffer of that size, over and over (a byte stream's
//             own reader, where the browser has one), each chunk to be used before the next read
//   asked()   told of each request made; ignored() of a server that ignored the range
// read() gives chunks of Uint8Array, null at the end.
async function openUrl(url, offset, options) {
    const abort = new AbortController();
    const ask = (from) => {
        if (options.asked) options.asked();
        const asking = fetch(url, {headers: {Range: `bytes=${from}-${from + pieceBytes - 1}`},
                                   signal: abort.signal});
        asking.catch(() => {}); // a piece asked for ahead and never read is no error
        return asking;
    };
    let buffer = options.reuse > 0 ? new ArrayBuffer(options.reuse) : null;
    let reader = null;
    let total = 0;
    let skip = 0;       // bytes of the response before `offset` (ranges ignored)
    let next = -1;      // the file's byte the next piece starts at; -1: no piece after this one
    let ahead = null;   // the next piece's response, once asked for
    let unread = 0;     // bytes of this piece to read before the next one is asked for
    let cancelled = false;

    // The response to a request for bytes from `from` on: its body becomes the one read.
    function take(response, from) {
        if (response.status === 416) { // nothing from there on: the end of the file
            reader = null;
            next = -1;
            return;
        }
        if (!response.ok) throw new Error(`the server answered ${response.status}`);
        next = -1;
        if (response.status === 206) {
            const range = /^bytes ([0-9]+)-([0-9]+)\/([0-9]+|\*)$/.exec(
                response.headers.get('Content-Range') || '');
            if (!range || Number(range[1]) !== from)
                throw new Error(`the server sent ${range ? `bytes from ${range[1]}` : 'a piece'} ` +
                                `for bytes from ${from}`);
            if (range[3] !== '*') total = Number(range[3]);
            if (range[3] === '*' || Number(range[2]) + 1 < total) next = Number(range[2]) + 1;
            unread = Math.ceil((Number(range[2]) + 1 - from) / 2);
        } else {
            if (options.ignored) options.ignored(); // and read to its end: no piece after it
            total = Number(response.headers.get('Content-Length')) || 0;
            skip = from;
        }
        reader = null;
        if (buffer) {
            try {
                reader = response.body.getReader({mode: 'byob'});
            } catch (error) {
                buffer = null;
            }
        }
        if (!reader) reader = response.body.getReader();
        ahead = null;
    }

    take(await (options.first || ask(offset)), offset);
    return {
        total,
        async read() {
            try {
                while (reader && !cancelled) {
                    const {value, done} = buffer ? await reader.read(new Uint8Array(buffer))
                                                 : await reader.read();
                    if (buffer && value) buffer = value.buffer;
                    if (cancelled) break;
                    if (done) {
                        reader = null;
                        if (next >= 0) take(await (ahead || ask(next)), next);
                        continue;
                    }
                    unread -= value.length;
                    if (unread <= 0 && next >= 0 && !ahead) ahead = ask(next);
                    if (skip >= value.length) {
                        skip -= value.length;
                        continue;
                    }
                    const chunk = skip > 0 ? value.subarray(skip) : value;
                    skip = 0;
                    return chunk;
                }
            } catch (error) {
                if (!cancelled) throw error;
            }
            return null;
        },
        cancel() {
            cancelled = true;
            if (reader) reader.cancel().catch(() => {});
            abort.abort();
        },
    };
}

function openFile(file, offset) {
    let at = offset;
    return {
        total: file.size,
        async read() {
            if (at >= file.size) return null;
            const slice = file.slice(at, Math.min(file.size, at + sliceBytes));
            at += sliceBytes;
            return new Uint8Array(await slice.arrayBuffer());
        },
        cancel() {
            at = file.size;
        },
    };
}

// [SECTION] the module's decoder
class Decoder {
    constructor(module, totalBytes) {
        this.module = module;
        this.handle = module._mp3Open(totalBytes);
        this.input = module._malloc(feedBytes);
        this.output = module._malloc(decodeBytes);
        if (!this.handle || !this.input || !this.output) throw new Error('no memory for the decoder');
    }
    feed(bytes) {
        const m = this.module;
        for (let at = 0; at < bytes.length; at += feedBytes) {
            const part = bytes.subarray(at, Math.min(bytes.length, at + feedBytes));
            m.HEAPU8.set(part, this.input);
            if (m._mp3Feed(this.handle, this.input, part.length) !== 0) return false;
        }
        return true;
    }
    // The next decoded samples (a copy), or null when the decoder has none now.
    read() {
        const m = this.module;
        const bytes = m._mp3Read(this.handle, this.output, decodeBytes);
        if (bytes === 0) return null;
        return new Int16Array(m.HEAPU8.slice(this.output, this.output + bytes).buffer);
    }
    status() {
        return this.module._mp3Status(this.handle);
    }
    endOfInput() {
        this.module._mp3EndOfInput(this.handle);
    }
    seek(sample) {
        return this.module._mp3Seek(this.handle, sample);
    }
    inputOffset() {
        return this.module._mp3InputOffset(this.handle);
    }
    error() {
        return this.module.UTF8ToString(this.module._mp3Error(this.handle));
    }
    close() {
        const m = this.module;
        m._mp3Close(this.handle);
        m._free(this.input);
        m._free(this.output);
        this.handle = 0;
    }
}

// [SECTION] the player
class StreamMusic {
    constructor(options) {
        this.url = options.url;
        this.loading = options.loading || null;
        this.onError = options.onError || null; // (why): the soundtrack gave no sound at all
        this.state = {
            decoded: 0,      // samples decoded in this segment
            bytesRead: 0,    // bytes of the file read so far (all segments)
            opens: 0,        // reads of the file begun (the first and one per seek that needs one)
            requests: 0,     // requests for the file made by them (a piece each, on a server
                             // that honours ranges)
            indexRequests: 0, // requests made by the frame index's reading
            rangeIgnored: false, // a request for a piece was answered with the whole file
            error: null,     // why there is no sound, when there is none
            ended: false,    // the decoder reached the end of the file
            indexedFrames: 0, // frames of the file whose positions are known to seeks
        };
        this.audio = null;
        this.resumed = null;    // the audio context's resume()
        this.node = null;
        this.pending = null;    // messages for the worklet before it is there
        this.module = null;
        this.file = null;
        this.decoder = null;
        this.source = null;
        this.reading = null;    // the source's read under way
        this.leftover = null;   // bytes read and not yet fed
        this.indexer = null;    // the frame indexer (mp3Index*), once the show has started
        this.indexSource = null;
        this.indexTimer = null;
        this.everDecoded = false;
        this.sourceOffset = -1; // the file's byte the source gives next
        this.prefetched = null;
        this.generation = 0;    // a seek or stop makes a new one; older pumps stop
        this.segment = 0;
        this.segmentStart = 0;  // the sample the segment starts at
        this.sent = 0;          // samples posted in this segment
        this.report = null;     // the worklet's last report of this segment
        this.played = 0;        // samples played, from the last report of any segment
        this.waiters = [];
        this.playing = false;   // started and not paused
        this.started = false;
        this.muted = false;
        this.lastClock = 0;
        this.wallBase = null;   // the clock in real time (after the end or a failure)
        this.sampleBase = 0;    // ms added to the samples' ms
        this.hooks = {
            startMusic: () => this.start(),
            seekMusic: (seconds) => this.seek(seconds * 1000),
            stopMusic: () => this.stop(),
            pauseMusic: () => this.pause(),
            resumeMusic: () => this.resume(),
            setMusicMuted: (muted) => this.setMuted(muted),
            musicPositionMs: () => this.positionMs(),
            musicError: () => this.state.error || '',
            clockMs: () => this.clockMs(),
        };
    }

    // Asks for the file's first piece before the viewer clicks: it waits in the browser.
    preload() {
        if (this.prefetched || !this.url) return;
        this.state.requests += 1;
        const range = `bytes=0-${pieceBytes - 1}`;
        this.prefetched = fetch(this.url, {headers: {Range: range}}).catch((error) => {
            console.error(`${this.url}: ${error}`);
            return null;
        });
    }

    // In the click's own handler (some browsers start sound only there): the audio context.
    unlock() {
        if (this.audio) return;
        this.audio = new AudioContext({sampleRate: rate, latencyHint: 'interactive'});
        this.resumed = this.audio.resume();
    }

    // After the click: the worklet, the file from its start; resolved once startSeconds are
    // decoded (or there is no sound).
    async prepare(module, file) {
        this.unlock();
        this.module = module;
        this.file = file || null;
        if (this.file && this.prefetched) {
            this.prefetched.then((r) => r && r.body && r.body.cancel().catch(() => {}));
            this.prefetched = null;
        }
        const resumed = this.resumed;
        const streaming = this.restart(0);
        await this.audio.audioWorklet.addModule('music-worklet.js');
        this.node = new AudioWorkletNode(this.audio, 'music-player', {
            numberOfInputs: 0,
            numberOfOutputs: 1,
            outputChannelCount: [2],
            processorOptions: {startSeconds},
        });
        this.node.port.onmessage = (event) => this.take(event.data);
        this.node.connect(this.audio.destination);
        this.post({type: 'flush', segment: this.segment});
        for (const message of this.pending || []) this.post(message);
        this.pending = null;
        await resumed;
        await Promise.race([streaming.ready, new Promise((r) => setTimeout(r, 15000))]);
    }

    post(message, transfer) {
        if (this.node) this.node.port.postMessage(message, transfer || []);
        else (this.pending = this.pending || []).push(message);
    }

    // Reports from the worklet.
    take(report) {
        this.played = Math.max(this.played, report.played);
        if (report.segment === this.segment) {
            this.report = report;
            if (this.playing) {
                if (report.starving) this.loading && this.loading.begin('music');
                else this.loading && this.loading.end('music');
            }
            if (report.finished && this.wallBase === null) this.toWallClock();
            else if (report.flowing && this.wallBase !== null) this.toSampleClock();
        }
        const waiters = this.waiters;
        this.waiters = [];
        for (const resolve of waiters) resolve();
    }
    nextReport() {
        return new Promise((resolve) => {
            this.waiters.push(resolve);
            setTimeout(resolve, 250); // a suspended context sends none
        });
    }

    // Decodes ahead from where the decoder stands (a new decoder reading the file from its start
    // when none is open, going to `sample`); the source is kept when keepSource is set (it
    // reads on from where the decoder wants its next bytes). ready resolves once startSeconds
    // are decoded or there will be none.
    restart(sample, keepSource) {
        const generation = ++this.generation;
        if (!keepSource) this.dropSource();
        let readyResolve;
        const ready = new Promise((resolve) => { readyResolve = resolve; });
        this.readyResolve = readyResolve;
        this.pump(generation, sample).catch((error) => this.fail(generation, error));
        return {ready};
    }

    dropSource() {
        if (this.source) this.source.cancel();
        this.source = null;
        this.reading = null;
        this.leftover = null;
    }

    // The source's next bytes into the decoder (one read at a time, whichever pump asks), at
    // most feedBytes at a time: the rest of a large chunk waits here, not in the decoder.
    fill() {
        const source = this.source;
        const decoder = this.decoder;
        if (!this.reading) {
            const next = this.leftover ? Promise.resolve(this.leftover) : source.read();
            this.leftover = null;
            this.reading = next.then((bytes) => {
                if (source !== this.source || decoder !== this.decoder) return;
                this.reading = null;
                if (bytes === null) {
                    decoder.endOfInput();
                    return;
                }
                const part = bytes.length > feedBytes ? bytes.subarray(0, feedBytes) : bytes;
                if (part !== bytes) this.leftover = bytes.subarray(feedBytes);
                this.state.bytesRead += part.length;
                this.sourceOffset += part.length;
                if (!decoder.feed(part)) throw new Error(decoder.error());
            });
        }
        return this.reading;
    }

    fail(generation, error) {
        if (generation !== this.generation) return;
        const reason = error && error.message ? error.message : String(error);
        const text = `${this.file ? this.file.name : this.url}: ${reason}`;
        this.state.error = text;
        console.error(text);
        this.post({type: 'end', segment: this.segment});
        this.loading && this.loading.end('music');
        if (this.readyResolve) this.readyResolve();
        if (this.started) this.toWallClock();
    }

    async openSource(offset) {
        this.state.opens += 1;
        let source;
        if (this.file) {
            source = openFile(this.file, offset);
        } else {
            const first = offset === 0 && this.prefetched ? await this.prefetched : null;
            this.prefetched = null;
            source = await openUrl(this.url, offset, {
                first,
                reuse: feedBytes, // a chunk at a time into the decoder
                asked: () => { this.state.requests += 1; },
                ignored: () => { this.state.rangeIgnored = true; },
            });
        }
        this.sourceOffset = offset;
        return source;
    }

    async pump(generation, sample) {
        const current = () => generation === this.generation;
        if (!this.decoder) {
            const source = await this.openSource(0);
            if (!current()) return source.cancel();
            this.source = source;
            this.reading = null;
            this.decoder = new Decoder(this.module, source.total);
            if (this.indexer) this.module._mp3UseIndex(this.decoder.handle, this.indexer);
            if (sample > 0) this.decoder.seek(sample);
        }
        const decoder = this.decoder;
        let lastYield = performance.now();
        for (;;) {
            if (!current()) return;
            const queued = this.sent - (this.report ? this.report.consumed : 0);
            if (queued >= startSeconds * rate && this.readyResolve) {
                this.readyResolve();
                this.readyResolve = null;
            }
            if (queued >= aheadSeconds * rate) {
                await this.nextReport();
                continue;
            }
            const samples = decoder.read();
            if (samples) {
                this.everDecoded = true;
                this.sent += samples.length / 2;
                this.state.decoded = this.sent;
                this.post({type: 'pcm', segment: this.segment, samples}, [samples.buffer]);
            }
            const now = decoder.status();
            if (now === status.failed) throw new Error(decoder.error());
            if (now === status.ended) {
                this.state.ended = true;
                if (this.sent === 0) throw new Error('libmpg123 found no MPEG audio frame in it');
                this.post({type: 'end', segment: this.segment});
                if (this.readyResolve) this.readyResolve();
                this.readyResolve = null;
                return;
            }
            if (now === status.reposition || (now === status.needsInput && !this.source)) {
                this.dropSource();
                const source = await this.openSource(decoder.inputOffset());
                if (!current()) return source.cancel();
                this.source = source;
                continue;
            }
            if (now === status.needsInput) {
                await this.fill();
                continue;
            }
            // Decoding goes on; the page gets a turn now and then.
            if (performance.now() - lastYield > 8) {
                await new Promise((resolve) => setTimeout(resolve, 0));
                lastYield = performance.now();
            }
        }
    }

    // [SECTION] the run's music player
    // False when the file gave no sound at all (musicError says why, and onError is told).
    start() {
        if (this.state.error !== null && !this.everDecoded) {
            if (this.onError) this.onError(this.state.error);
            return false;
        }
        this.started = true;
        this.playing = true;
        this.post({type: 'play'});
        if (!this.indexTimer) this.indexTimer = setTimeout(() => this.buildIndex(), indexDelayMs);
        return true;
    }

    // Reads the whole file once more, beside the sound, for the positions of all its frames:
    // a seek then asks for the file from right before its frame, wherever that is.
    async buildIndex() {
        const m = this.module;
        if (this.indexer || !m) return;
        const indexer = m._mp3IndexOpen();
        const buffer = m._malloc(feedBytes);
        if (!indexer || !buffer) return;
        this.indexer = indexer;
        if (this.decoder) m._mp3UseIndex(this.decoder.handle, indexer);
        try {
            const source = this.file ? openFile(this.file, 0) : await openUrl(this.url, 0, {
                reuse: feedBytes,
                asked: () => { this.state.indexRequests += 1; },
            });
            this.indexSource = source;
            for (let bytes; this.indexer === indexer && (bytes = await source.read()) !== null;) {
                for (let at = 0; at < bytes.length && this.indexer === indexer; at += feedBytes) {
                    const part = bytes.subarray(at, Math.min(bytes.length, at + feedBytes));
                    m.HEAPU8.set(part, buffer);
                    if (m._mp3IndexFeed(indexer, buffer, part.length) !== 0) return;
                }
                this.state.indexedFrames = m._mp3IndexFrames(indexer);
                await new Promise((resolve) => setTimeout(resolve, indexPauseMs));
            }
        } catch (error) {
            console.error(`frame index of ${this.file ? this.file.name : this.url}: ${error}`);
        } finally {
            m._free(buffer);
            this.indexSource = null;
        }
    }

    seek(ms) {
        const sample = Math.floor(Math.max(0, ms) * rate / 1000);
        this.segment += 1;
        this.segmentStart = sample;
        this.sent = 0;
        this.report = null;
        this.state.ended = false;
        this.post({type: 'flush', segment: this.segment});
        if (this.state.error !== null) return;
        if (this.playing) this.loading && this.loading.begin('music');
        if (!this.decoder) {
            this.restart(sample);
            return;
        }
        const generation = this.generation + 1;
        const offset = this.decoder.seek(sample);
        if (offset < 0) {
            this.generation = generation;
            this.fail(generation, new Error(this.decoder.error()));
            return;
        }
        // The source reads on when it is where the decoder wants its next bytes.
        this.restart(sample, offset === this.sourceOffset);
    }

    pause() {
        if (!this.started || !this.playing) return;
        this.playing = false;
        this.post({type: 'pause'});
        this.loading && this.loading.end('music');
    }

    resume() {
        if (!this.started || this.playing) return;
        this.playing = true;
        this.post({type: 'play'});
    }

    setMuted(muted) {
        this.muted = !!muted;
        this.post({type: 'mute', muted: this.muted});
    }

    positionMs() {
        if (!this.started && !this.decoder) return -1;
        const consumed = this.report ? this.report.consumed : 0;
        return Math.floor((this.segmentStart + consumed) * 1000 / rate);
    }

    stop() {
        this.generation += 1;
        this.playing = false;
        this.started = false;
        this.dropSource();
        clearTimeout(this.indexTimer);
        if (this.indexSource) this.indexSource.cancel();
        if (this.decoder) this.module._mp3UseIndex(this.decoder.handle, 0);
        if (this.indexer) this.module._mp3IndexClose(this.indexer);
        this.indexer = null;
        if (this.decoder) this.decoder.close();
        this.decoder = null;
        this.loading && this.loading.end('music');
        if (this.audio && this.audio.state !== 'closed') this.audio.close().catch(() => {});
    }

    // [SECTION] the clock
    toWallClock() {
        this.wallBase = this.lastClock - performance.now();
    }
    toSampleClock() {
        this.wallBase = null;
        this.sampleBase = this.lastClock - this.played * 1000 / rate;
    }
    clockMs() {
        let ms;
        if (this.wallBase !== null) {
            ms = this.wallBase + performance.now();
        } else {
            ms = this.sampleBase + this.played * 1000 / rate;
            const r = this.report;
            if (r && this.playing && r.flowing && this.audio) {
                // The context's time since the report, up to what was queued then.
                const since = (this.audio.currentTime - r.time) * 1000;
                ms += Math.max(0, Math.min(since, r.queued * 1000 / rate, 100));
            }
        }
        this.lastClock = Math.max(this.lastClock, ms);
        return this.lastClock;
    }
}

window.StreamMusic = {
    create: (options) => new StreamMusic(options),
    LoadingLine,
};
})();
