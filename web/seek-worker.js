// The seek index, built beside the show: this worker runs the same module as the page, opens
// the pack the page sends ({pack: ArrayBuffer, transferred; spacingMs: the ms of stepping
// between snapshots; maxSnapshots: at most this many; code: the page's compiled
// WebAssembly.Module, shared}), steps the show from its first frame to its last without drawing and
// posts each snapshot as it is made:
//   {kind: 'snapshot', bytes, size}   the snapshot's first `size` bytes of `bytes` (an
//                               ArrayBuffer, transferred) for the page's webSeekIndexAdd, in
//                               the order made: a buffer shared with the snapshot before is
//                               marked, not sent again
//   {kind: 'built' | 'failed', figures}   the end: seconds (from the pack's coming),
//                               openSeconds (of them, the module's start and the pictures'
//                               loading), snapshots, storedBytes (compressed, each buffer once),
//                               framesStepped, heapBytes (this module's memory)
// The page hands each ArrayBuffer back once it has the bytes ({spare: ArrayBuffer}), and the
// next snapshot travels in it: the page makes no garbage of the index's size. The page ends
// the worker once it has the last message; nothing is kept here meanwhile.
'use strict';
importScripts('demo.js');

async function build(pack, spacingMs, maxSnapshots, code) {
    const started = performance.now();
    const module = await createDemo({
        print: (text) => console.log(`seek index: ${text}`),
        printErr: (text) => console.log(`seek index: ${text}`),
        // The page's compiled code when it sends it, else demo.wasm fetched and compiled here.
        instantiateWasm: code && ((imports, receive) => {
            WebAssembly.instantiate(code, imports).then((instance) => receive(instance, code),
                (error) => {
                    console.log(`seek index: ${error}`);
                    postMessage({kind: 'failed', figures: {}});
                });
            return {};
        }),
    });
    module.FS.writeFile('_.dat', new Uint8Array(pack));
    const builder = module._webIndexBuilderOpen(spacingMs, maxSnapshots);
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
    // Building, posting each snapshot as it comes, with a pause for the page's spare buffers.
    for (;;) {
        const size = module._webIndexBuild(builder, 1000);
        if (size > 0) {
            const at = module._webIndexRecord(builder);
            const spare = spares.findIndex((buffer) => buffer.byteLength >= size);
            const bytes = spare >= 0 ? spares.splice(spare, 1)[0]
                                     : new ArrayBuffer(Math.max(size, 1 << 20));
            new Uint8Array(bytes, 0, size).set(module.HEAPU8.subarray(at, at + size));
            postMessage({kind: 'snapshot', bytes, size}, [bytes]);
            snapshots += 1;
            await new Promise((resolve) => setTimeout(resolve, 0));
        } else if (size < 0) {
            end(size === -1 ? 'built' : 'failed');
            return;
        }
    }
}

const spares = []; // ArrayBuffers the page has handed back
let building = false;
onmessage = (event) => {
    if (event.data.spare) {
        spares.push(event.data.spare);
        return;
    }
    if (building) return; // one pack per worker
    building = true;
    build(event.data.pack, event.data.spacingMs, event.data.maxSnapshots || 0, event.data.code)
        .catch((error) => {
        console.log(`seek index: ${error}`);
        postMessage({kind: 'failed', figures: {}});
    });
};
