// xemidi for JavaScript: Standard MIDI Files built by the xemidi library,
// compiled to WebAssembly, in Node.js 18 and later and in browsers.
//
//   import { loadXemidi } from 'xemidi';
//   const xemidi = await loadXemidi();
//   const smf = new xemidi.Smf(480);          // 480 ticks per quarter note
//   smf.note(0, 0, 60, 100, 480);             // tick 0, channel 0, key 60
//   const file = smf.data();                  // the file, as a Uint8Array
//   smf.delete();
//   const read = xemidi.read(file);           // a file read into a new object
//   for (const [tick, bytes] of read.events()) ...
//
// loadXemidi() compiles the module once per page or process (xemidi.wasm,
// beside this file) and gives a new instance of it, with its own memory and
// its own objects, on every call.
import { XemidiError } from './arguments.js';
import { fileFunctions } from './files.js';
import { smfClass } from './smf.js';

export { XemidiError };

const WASM_URL = new URL('./xemidi.wasm', import.meta.url);
const PAGE = 65536;
const INITIAL_PAGES = 16; // the module's initial memory (cmake/Wasm.cmake): 1 MiB
const MAXIMUM_PAGES = 32768; // 2 GiB, the module's limit
const SCRATCH = 4096; // bytes kept for the arguments of one call

let packageModule = null; // the compiled module of xemidi.wasm, once asked for

const inNode = () => typeof process === 'object' && typeof process.versions?.node === 'string';

async function readFileUrl(url) {
  const { readFile } = await import('node:fs/promises');
  return readFile(url);
}

// A module from what the caller gave: nothing (the package's own file), a
// WebAssembly.Module, its bytes, a URL or its text, or a fetch Response.
async function compile(source) {
  if (source instanceof WebAssembly.Module) return source;
  if (source instanceof ArrayBuffer || ArrayBuffer.isView(source)) return WebAssembly.compile(source);
  if (source instanceof URL || typeof source === 'string') {
    // Node reads its files itself: its fetch() takes no file URL (and
    // loading it costs more than the module's compilation).
    const url = new URL(source, typeof location === 'object' ? location.href : WASM_URL);
    if (url.protocol === 'file:' && inNode()) return WebAssembly.compile(await readFileUrl(url));
    return compile(fetch(url));
  }
  const response = await source;
  if (!response.ok) throw new Error(`xemidi: ${response.url} answered ${response.status}`);
  const copy = response.clone();
  try {
    return await WebAssembly.compileStreaming(response);
  } catch {
    return WebAssembly.compile(await copy.arrayBuffer()); // served without application/wasm
  }
}

// The memory helpers that the class of one instance uses.
function moduleOf(instance, memory) {
  const x = instance.exports;
  let heap = new Uint8Array(memory.buffer);
  const bytes = () => (heap.byteLength === 0 ? (heap = new Uint8Array(memory.buffer)) : heap);
  let scratch = 0;
  let scratchUsed = false;
  const module = {
    exports: x,
    // Memory for size bytes (at least one), aligned for any value.
    allocate(size) {
      if (!scratchUsed && size <= SCRATCH) {
        scratchUsed = true;
        return scratch;
      }
      const at = x.malloc(Math.max(size, 1)) >>> 0;
      if (at === 0) {
        throw new XemidiError(`the module's memory ran out (${size} bytes asked for)`, {
          method: null, reason: 'memory ran out', code: 'ERR_XEMIDI_MEMORY',
        });
      }
      return at;
    },
    release(at) {
      if (at === scratch) scratchUsed = false;
      else x.free(at);
    },
    // A copy of data in the module's memory, with zero bytes after it.
    put(data, zeros = 0) {
      const at = module.allocate(data.length + zeros);
      const heapNow = bytes();
      heapNow.set(data, at);
      heapNow.fill(0, at + data.length, at + data.length + zeros);
      return at;
    },
    // data copied into the memory kept for one call's arguments, when it is
    // free; 0 otherwise.
    scratchSize: SCRATCH,
    scratchFor(data) {
      if (scratchUsed) return 0;
      bytes().set(data, scratch);
      return scratch;
    },
    u8: (at, length) => bytes().subarray(at, at + length),
    u32: (at, length) => new Uint32Array(bytes().buffer, at, length),
  };
  scratch = x.malloc(SCRATCH) >>> 0;
  return module;
}

// A new instance of the module. options.wasm: where the module comes from
// (see compile; the package's xemidi.wasm by default); options.maximumMemory:
// the most memory in bytes the instance may grow to (at most and by default
// 2 GiB): an insertion that needs more is refused, and nothing is lost.
export async function loadXemidi(options = {}) {
  let module;
  if (options.wasm === undefined) {
    packageModule ??= compile(WASM_URL).catch((error) => {
      packageModule = null;
      throw error;
    });
    module = await packageModule;
  } else {
    module = await compile(options.wasm);
  }
  const maximum = Math.min(MAXIMUM_PAGES, Math.ceil((options.maximumMemory ?? MAXIMUM_PAGES * PAGE) / PAGE));
  const memory = new WebAssembly.Memory({ initial: INITIAL_PAGES, maximum: Math.max(maximum, INITIAL_PAGES) });
  const instance = await WebAssembly.instantiate(module, {
    env: { memory, emscripten_notify_memory_growth() {} },
    wasi_snapshot_preview1: {
      proc_exit(code) {
        throw new WebAssembly.RuntimeError(`xemidi: the module stopped (exit code ${code})`);
      },
    },
  });
  instance.exports._initialize();
  const helpers = moduleOf(instance, memory);
  const objects = smfClass(helpers);
  const { read, readTracks, tracksData } = fileFunctions(helpers, objects);
  return Object.freeze({ Smf: objects.Smf, XemidiError, read, readTracks, tracksData });
}

export default loadXemidi;
