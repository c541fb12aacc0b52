#!/usr/bin/env bash
# The JavaScript package (js/): the WebAssembly build with Debian's
# emscripten, and its tests (label js): every method, the differential tests
# against the dev build's library (through the Python binding, with mido),
# the package installed from its npm pack tarball, and the example page in
# headless chromium, driven by puppeteer-core from tests/js's lock file.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ "$(id -u)" = 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q --no-install-recommends emscripten chromium python3-mido
  # Node.js and npm: Debian's, unless the machine has its own (which
  # conflicts with Debian's npm package).
  command -v npm >/dev/null || apt-get install -y -q --no-install-recommends nodejs npm
fi
export NODE_PATH=/usr/share/nodejs  # emcc's acorn

cmake --preset dev >/dev/null
cmake --build --preset dev
npm ci --prefix tests/js --no-audit --no-fund
cmake --workflow --preset wasm

# The sizes of the package's files for one runtime, for the record.
wc -c build/wasm/package/xemidi.wasm build/wasm/package/{xemidi,smf,arguments,rules}.js | tail -1
