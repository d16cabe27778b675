// The seek index, built beside the show: this worker runs the same module as the page, opens
// the pack the page sends ({pack: ArrayBuffer, transferred; spacingMs: the ms of stepping
// between snapshots}), steps the show from its first frame to its last without drawing and
// posts each snapshot as it is made:
//   {kind: 'snapshot', bytes}   the snapshot's bytes (an ArrayBuffer, transferred) for the
//                               page's webSeekIndexAdd, in the order made: a buffer shared with
//                               the snapshot before is marked, not sent again
//   {kind: 'built' | 'failed', figures}   the end: seconds (from the pack's coming),
//                               openSeconds (of them, the module's start and the pictures'
//                               loading), snapshots, storedBytes (compressed, each buffer once),
//                               framesStepped, heapBytes (this module's memory)
// The page ends the worker once it has the last message; nothing is kept here meanwhile.
'use strict';
importScripts('demo.js');

async function build(pack, spacingMs) {
    const started = performance.now();
    const module = await createDemo({
        print: (text) => console.log(`seek index: ${text}`),
        printErr: (text) => console.log(`seek index: ${text}`),
    });
    module.FS.writeFile('_.dat', new Uint8Array(pack));
    const builder = module._webIndexBuilderOpen(spacingMs);
    const opened = performance.now();
    let snapshots = 0;
    const end = (kind) => {
        postMessage({kind, figures: {
            seconds: (performance.now() - started) / 1000,
            openSeconds: (opened - started) / 1000,
            snapshots,
            storedBytes: builder ? module._webIndexStoredBytes(builder) : 0,
            framesStepped: builder ? module._webIndexFramesStepped(builder) : 0,
            heapBytes: module.HEAPU8.length,
        }});
        if (builder) module._webIndexBuilderRelease(builder);
    };
    if (!builder) {
        end('failed');
        return;
    }
    // The worker does nothing else: it builds until the end, posting as it goes.
    for (;;) {
        const size = module._webIndexBuild(builder, 1000);
        if (size > 0) {
            const at = module._webIndexRecord(builder);
            const bytes = module.HEAPU8.slice(at, at + size);
            postMessage({kind: 'snapshot', bytes: bytes.buffer}, [bytes.buffer]);
            snapshots += 1;
        } else if (size < 0) {
            end(size === -1 ? 'built' : 'failed');
            return;
        }
    }
}

onmessage = (event) => {
    onmessage = null; // one pack per worker
    build(event.data.pack, event.data.spacingMs).catch((error) => {
        console.log(`seek index: ${error}`);
        postMessage({kind: 'failed', figures: {}});
    });
};
