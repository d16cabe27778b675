// The soundtrack's player on the audio thread: plays the 16-bit stereo blocks the page posts
// (stream-music.js), in order, and tells the page how many samples it has played. The show's
// clock is that count, so the picture follows what is heard.
//
// Messages from the page:
//   {type: 'pcm', segment, samples}  interleaved Int16Array, left and right
//   {type: 'end', segment}           no more blocks follow in this segment
//   {type: 'flush', segment}         drops what is queued; later blocks belong to `segment`
//   {type: 'play' | 'pause'}         pause holds the next sample until play
//   {type: 'mute', muted}            silence, the samples still counted
// Reports to the page, every few blocks and at every change of state:
//   {segment, consumed (samples of the segment played), played (samples played since the
//    player was made), queued, time (the context's time at the end of the block), flowing
//    (sound is being played), starving (waiting for blocks), finished (the segment's end)}
'use strict';

class MusicPlayer extends AudioWorkletProcessor {
    constructor(options) {
        super();
        const settings = (options && options.processorOptions) || {};
        this.startFrames = Math.round((settings.startSeconds || 0.3) * sampleRate);
        this.blocks = [];
        this.head = 0; // frames of blocks[0] already played
        this.queued = 0;
        this.segment = 0;
        this.consumed = 0;
        this.played = 0;
        this.playing = false;
        this.muted = false;
        this.ended = false;
        this.filling = true; // waits for startFrames (or the end) before playing
        this.sinceReport = 0;
        this.port.onmessage = (event) => this.take(event.data);
    }

    take(message) {
        switch (message.type) {
        case 'pcm':
            if (message.segment !== this.segment) return;
            this.blocks.push(message.samples);
            this.queued += message.samples.length / 2;
            break;
        case 'end':
            if (message.segment === this.segment) this.ended = true;
            break;
        case 'flush':
            this.segment = message.segment;
            this.blocks = [];
            this.head = 0;
            this.queued = 0;
            this.consumed = 0;
            this.ended = false;
            this.filling = true;
            break;
        case 'play':
            this.playing = true;
            break;
        case 'pause':
            this.playing = false;
            break;
        case 'mute':
            this.muted = !!message.muted;
            break;
        }
        this.report(currentTime);
    }

    // time: the context's time at which the samples counted so far have been played.
    report(time) {
        this.sinceReport = 0;
        this.port.postMessage({
            segment: this.segment,
            consumed: this.consumed,
            played: this.played,
            queued: this.queued,
            time,
            flowing: this.playing && !this.filling && this.queued > 0,
            starving: this.playing && this.filling && !this.ended,
            finished: this.ended && this.queued === 0,
        });
    }

    process(inputs, outputs) {
        const out = outputs[0];
        const left = out[0];
        const right = out.length > 1 ? out[1] : null;
        const frames = left.length;
        let done = 0;
        const wasFilling = this.filling;
        if (this.playing && this.filling && (this.queued >= this.startFrames || this.ended))
            this.filling = false;
        if (this.playing && !this.filling) {
            while (done < frames && this.blocks.length > 0) {
                const block = this.blocks[0];
                const count = Math.min(frames - done, block.length / 2 - this.head);
                for (let i = 0; i < count; ++i) {
                    const at = (this.head + i) * 2;
                    left[done + i] = this.muted ? 0 : block[at] / 32768;
                    if (right) right[done + i] = this.muted ? 0 : block[at + 1] / 32768;
                }
                done += count;
                this.head += count;
                if (this.head * 2 >= block.length) {
                    this.blocks.shift();
                    this.head = 0;
                }
            }
            this.queued -= done;
            // Run dry before the end: wait for a fresh start's worth again.
            if (done < frames && !this.ended) this.filling = true;
        }
        for (let i = done; i < frames; ++i) {
            left[i] = 0;
            if (right) right[i] = 0;
        }
        this.consumed += done;
        this.played += done;
        this.sinceReport += frames;
        if (this.filling !== wasFilling || (this.ended && this.queued === 0 && done > 0) ||
            this.sinceReport >= 1024)
            this.report(currentTime + frames / sampleRate);
        return true;
    }
}

registerProcessor('music-player', MusicPlayer);
