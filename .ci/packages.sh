# shellcheck shell=bash
# CI's one way of installing Debian packages, sourced by .ci/run and by every
# step that installs (bash only):
#
#   packages_update           apt-get update, once per CI run (three tries)
#   packages_require PKG...   install, or fail the step
#   packages_want CHECK PKG...
#                             install what the optional check CHECK needs;
#                             returns 1 when CHECK is to be skipped
#   packages_summary          what this run skipped, for CI's last lines
#
# A mirror caught mid-sync can fail one index (say the i386 list of the
# security suite) for an hour. CI then goes on with the indexes that came,
# naming the one that failed with apt's own line. A package that still
# installs is installed as usual; one that does not fails the step, unless
# an index failed in this run and the package is only an optional check's:
# that check is then skipped, loudly, and recorded for the summary.
# XEMIDI_CI_STRICT=1 turns every such skip into a failure.
#
# Packages are installed as root only (XEMIDI_CI_INSTALL=1 or 0 overrides
# that); otherwise the functions install nothing and assume what is there.
# XEMIDI_CI_STATE is the folder the steps of one run share (.ci/run makes
# it); a step run alone gets one of its own.

if [ -z "${XEMIDI_CI_STATE:-}" ]; then
  XEMIDI_CI_STATE=$(mktemp -d "${TMPDIR:-/tmp}/xemidi-ci.XXXXXX")
  export XEMIDI_CI_STATE
fi
: "${XEMIDI_CI_INSTALL:=$([ "$(id -u)" = 0 ] && echo 1 || echo 0)}"
: "${XEMIDI_CI_RETRY_SECONDS:=5}"
export DEBIAN_FRONTEND=noninteractive

_packages_say() { echo "packages: $*"; }

# apt's lines that name a failed index, from an update's output.
_packages_failed_indexes() {
  grep -E '^(E|W): Failed to fetch ' "$1" || true
}

# apt's reason for a failed install: its error lines, and the unmet
# dependencies it lists, on one line.
_packages_reason() {
  awk '/^E: / || /^ +[^ ].* : (Pre)?Depends: / || /^ +(Pre)?Depends: / {
         sub(/^ +/, ""); out = out (n++ ? "; " : "") $0; if (n == 12) exit
       }
       END { print (n ? out : "apt-get install failed") }' "$1"
}

# Updates the package lists once per run. An index that still fails after
# three tries is recorded and reported; CI goes on with the lists that came.
# "packages_update again" updates even if this run did (a new architecture).
packages_update() {
  [ "$XEMIDI_CI_INSTALL" = 1 ] || return 0
  [ "${1:-}" = again ] || [ ! -e "$XEMIDI_CI_STATE/updated" ] || return 0
  local try log=$XEMIDI_CI_STATE/update.log status=0
  for try in 1 2 3; do
    status=0
    apt-get update -q -o Acquire::Retries=3 -o DPkg::Lock::Timeout=300 >"$log" 2>&1 || status=$?
    cat "$log"
    if [ "$status" = 0 ] && [ -z "$(_packages_failed_indexes "$log")" ]; then
      : >"$XEMIDI_CI_STATE/updated"
      rm -f "$XEMIDI_CI_STATE/failed-indexes"
      return 0
    fi
    [ "$try" = 3 ] || sleep "$XEMIDI_CI_RETRY_SECONDS"
  done
  {
    _packages_failed_indexes "$log"
    # A failure that names no index (a lock, no network at all) still
    # leaves the lists as they were: its own lines say why.
    [ -n "$(_packages_failed_indexes "$log")" ] || grep -E '^E: ' "$log" || echo "E: apt-get update exited $status"
  } >"$XEMIDI_CI_STATE/failed-indexes"
  : >"$XEMIDI_CI_STATE/updated"
  _packages_say "apt-get update failed 3 times; going on with the indexes that came. apt said:"
  sed 's/^/packages:   /' "$XEMIDI_CI_STATE/failed-indexes"
}

# Installs the packages; 0 when they are installed, else apt's status, with
# its output in $XEMIDI_CI_STATE/install.log. Like the update, it waits up
# to five minutes for another apt (unattended upgrades at boot) to finish.
_packages_install() {
  local log=$XEMIDI_CI_STATE/install.log status=0
  apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 "$@" >"$log" 2>&1 || status=$?
  return "$status"
}

_packages_index_failed() { [ -s "$XEMIDI_CI_STATE/failed-indexes" ]; }

# Installs packages that the step cannot do without: a failure fails it.
packages_require() {
  [ "$XEMIDI_CI_INSTALL" = 1 ] || return 0
  packages_update
  if _packages_install "$@"; then
    _packages_say "installed $*"
    return 0
  fi
  tail -n 25 "$XEMIDI_CI_STATE/install.log"
  _packages_say "FAILED: cannot install $*: $(_packages_reason "$XEMIDI_CI_STATE/install.log")"
  if _packages_index_failed; then
    _packages_say "an index failed in this run: $(head -n 1 "$XEMIDI_CI_STATE/failed-indexes")"
  fi
  exit 1
}

# Installs what the optional check CHECK needs. Returns 0 when it is
# installed (or nothing is installed here), 1 when CHECK is skipped: its
# packages did not install while an index had failed in this run. Any other
# failure, or a skip under XEMIDI_CI_STRICT=1, fails the step.
packages_want() {
  local check=$1
  shift
  [ "$XEMIDI_CI_INSTALL" = 1 ] || return 0
  packages_update
  if _packages_install "$@"; then
    _packages_say "installed $* ($check)"
    return 0
  fi
  local reason index
  reason=$(_packages_reason "$XEMIDI_CI_STATE/install.log")
  if ! _packages_index_failed; then
    tail -n 25 "$XEMIDI_CI_STATE/install.log"
    _packages_say "FAILED: cannot install $* ($check): $reason"
    exit 1
  fi
  index=$(paste -sd ';' "$XEMIDI_CI_STATE/failed-indexes" | sed 's/;/; /g')
  if [ "${XEMIDI_CI_STRICT:-0}" = 1 ]; then
    _packages_say "FAILED: cannot install $* ($check): $reason; an index failed in this run: $index;" \
      "XEMIDI_CI_STRICT=1 allows no skipped check"
    printf '%s\n' "$check" >>"$XEMIDI_CI_STATE/strict-failed"
    exit 1
  fi
  printf '%s\t%s\t%s\t%s\n' "$check" "$*" "$reason" "$index" >>"$XEMIDI_CI_STATE/skipped"
  _packages_say "SKIPPED: $check"
  _packages_say "  cannot install: $*"
  _packages_say "  apt's reason: $reason"
  _packages_say "  the index that failed in this run: $index"
  return 1
}

# CI's last lines: every check skipped in this run, with its reasons, or
# that none was.
packages_summary() {
  if [ -s "$XEMIDI_CI_STATE/strict-failed" ]; then
    echo "== CI: XEMIDI_CI_STRICT=1: failed, as this check could not get its packages:"
    sed 's/^/==   /' "$XEMIDI_CI_STATE/strict-failed"
  fi
  if [ ! -s "$XEMIDI_CI_STATE/skipped" ]; then
    if _packages_index_failed && [ ! -s "$XEMIDI_CI_STATE/strict-failed" ]; then
      echo "== CI: an index failed to download, but no check was skipped for it"
    fi
    return 0
  fi
  local check packages reason index
  echo "== CI: NOT A FULL RUN: these checks were skipped, their packages not installable while an index had failed:"
  while IFS=$'\t' read -r check packages reason index; do
    echo "==   $check"
    echo "==     packages: $packages"
    echo "==     apt's reason: $reason"
    echo "==     failed index: $index"
  done <"$XEMIDI_CI_STATE/skipped"
  echo "== CI: run again once the mirror has synced (XEMIDI_CI_STRICT=1 fails such a run)"
}
