#!/usr/bin/env bash
# The JavaScript package (js/): the WebAssembly build with Debian's
# emscripten, and its tests (label js): every method, the differential tests
# against the dev build's library (through the Python binding, with mido),
# the package installed from its npm pack tarball, and the example page in
# headless chromium, driven by puppeteer-core from tests/js's lock file.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/packages.sh

# Node.js and npm: Debian's, unless the machine has an npm of its own (the
# NodeSource nodejs, which conflicts with Debian's npm package).
wanted=(emscripten chromium python3-mido)
command -v npm >/dev/null || wanted+=(nodejs npm)
if ! packages_want "js: the WebAssembly build and the JavaScript package's tests" "${wanted[@]}"; then
  exit 0
fi
export NODE_PATH=/usr/share/nodejs  # emcc's acorn

cmake --preset dev >/dev/null
cmake --build --preset dev
npm ci --prefix tests/js --no-audit --no-fund
cmake --workflow --preset wasm

# The size of the package's files for one runtime, for the record.
wc -c build/wasm/package/xemidi.wasm build/wasm/package/{xemidi,smf,files,arguments,rules}.js | tail -1
