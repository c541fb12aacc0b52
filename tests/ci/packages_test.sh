#!/usr/bin/env bash
# The decisions of .ci/packages.sh, without the network: a stand-in apt-get,
# first on PATH, that fails an index, fails the install of some packages, or
# succeeds, as each case sets it up. Each case runs a small step in a shell
# of its own and checks its exit status and what it printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
# FAKE_APT_FAILING_UPDATES: how many updates fail an index (default 0);
# FAKE_APT_BROKEN: packages whose install fails as apt fails them.
echo "$*" >>"$FAKE_APT_LOG"
case "$1" in
  update)
    done=$(grep -c '^update' "$FAKE_APT_LOG")
    echo "Hit:1 http://deb.debian.org/debian bookworm InRelease"
    if [ "$done" -le "${FAKE_APT_FAILING_UPDATES:-0}" ]; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 151.101.2.132 80]"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi
    echo "Reading package lists..."
    ;;
  install)
    for package in "$@"; do
      for broken in ${FAKE_APT_BROKEN:-}; do
        if [ "$package" = "$broken" ]; then
          echo "Some packages could not be installed."
          echo "The following packages have unmet dependencies:"
          echo " $broken : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
          echo "E: Unable to correct problems, you have held broken packages."
          exit 100
        fi
      done
    done
    echo "Setting up $*"
    ;;
esac
FAKE
chmod +x "$work/bin/apt-get"

# run_case NAME UPDATES BROKEN STRICT SCRIPT: runs SCRIPT (a step) after
# sourcing the routine; sets status and out.
run_case() {
  local name=$1
  : >"$work/$name.apt"
  mkdir -p "$work/$name.state"
  status=0
  out=$(cd "$root" && PATH="$work/bin:$PATH" FAKE_APT_LOG="$work/$name.apt" \
    FAKE_APT_FAILING_UPDATES=$2 FAKE_APT_BROKEN=$3 XEMIDI_CI_STRICT=$4 \
    XEMIDI_CI_STATE="$work/$name.state" XEMIDI_CI_INSTALL=1 XEMIDI_CI_RETRY_SECONDS=0 \
    bash -c "set -euo pipefail; source .ci/packages.sh; $5" 2>&1) || status=$?
  current=$name
}
expect() {  # expect DESCRIPTION CONDITION...
  local what=$1
  shift
  if ! "$@"; then
    echo "FAIL [$current] $what"
    echo "$out" | sed 's/^/    | /'
    failures=$((failures + 1))
  fi
}
says() { grep -qF -- "$1" <<<"$out"; }
updates() { grep -c '^update' "$work/$current.apt" || true; }

step='packages_require cmake
if packages_want "readers: libsmf reads" libsmf-dev timidity; then echo RAN-READERS; fi
if packages_want "windows: 32-bit Wine runs" wine32:i386; then echo RAN-WINE32; fi
packages_summary'

run_case healthy 0 "" 0 "$step"
expect "a healthy registry passes" test "$status" = 0
expect "every check runs" says RAN-WINE32
expect "and the readers too" says RAN-READERS
expect "nothing is called skipped" bash -c "! grep -q SKIPPED <<<\"\$0\"" "$out"
expect "one update for the run" test "$(updates)" = 1

run_case index-fails 99 "wine32:i386" 0 "$step"
expect "a failed index with a skippable package passes" test "$status" = 0
expect "the update is tried three times" test "$(updates)" = 3
expect "apt's line of the failed index is shown" says "binary-i386/Packages.xz  File has unexpected size"
expect "the check that installs still runs" says RAN-READERS
expect "the check whose package fails is not run" bash -c "! grep -q RAN-WINE32 <<<\"\$0\"" "$out"
expect "the skip names the check" says "SKIPPED: windows: 32-bit Wine runs"
expect "the skip names the package" says "cannot install: wine32:i386"
expect "the skip gives apt's reason" says "apt's reason: wine32:i386 : Depends: libwine:i386"
expect "the summary says the run is not a full one" says "NOT A FULL RUN"
expect "the summary names the failed index" says "failed index: E: Failed to fetch"

run_case index-fails-required 99 "cmake" 0 "$step"
expect "a package the step needs fails it, whatever the index" test "$status" != 0
expect "and says so" says "FAILED: cannot install cmake"

run_case clean-update-broken 0 "wine32:i386" 0 "$step"
expect "with every index in, a failed install fails the step" test "$status" != 0
expect "and names the package" says "FAILED: cannot install wine32:i386"
expect "nothing is skipped" bash -c "! grep -q SKIPPED <<<\"\$0\"" "$out"

run_case strict 99 "wine32:i386" 1 "$step"
expect "XEMIDI_CI_STRICT=1 fails a skip" test "$status" != 0
expect "and says why" says "XEMIDI_CI_STRICT=1 allows no skipped check"
run_case strict-summary 99 "wine32:i386" 1 "(packages_want w wine32:i386) || true; packages_summary"
expect "the summary names what strict mode failed" says "XEMIDI_CI_STRICT=1: failed"
expect "and claims no full run" bash -c "! grep -q 'no check was skipped' <<<\"\$0\"" "$out"

run_case retried 1 "wine32:i386" 0 "$step"
expect "an index that comes on the second try is not a failed one" test "$status" != 0
expect "the update is tried twice" test "$(updates)" = 2

run_case once-per-run 0 "" 0 "packages_require cmake; bash -c 'source .ci/packages.sh; packages_require g++'; packages_want x zip"
expect "steps of one run share one update" test "$(updates)" = 1
expect "and pass" test "$status" = 0

run_case not-root 0 "cmake" 0 "XEMIDI_CI_INSTALL=0; packages_require cmake && echo ASSUMED"
expect "without root nothing is installed" test "$(wc -l <"$work/not-root.apt")" = 0
expect "and what is there is assumed" says ASSUMED

if [ "$failures" != 0 ]; then
  echo "$failures checks of .ci/packages.sh failed"
  exit 1
fi
echo "every case of .ci/packages.sh behaves"
