#!/usr/bin/env bash
# Builds the Debian package from a built tree and tests it the way a user meets it: installs it
# with apt-get, then, as an unprivileged user with an empty home folder, runs quillon-cli against
# the test servers and starts quillon offscreen; checks where every file landed, that nothing
# was written under /usr, that the desktop entry and manual pages are valid, that an install
# into a prefix with spaces lays out the same files, and that the package removes cleanly.
# Needs root (it installs a package and creates a user), as CI runs it.
#   bash scripts/package-test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=$(cd "${1:-${BUILD_DIR:-build}}" && pwd)

if [ "$(id -u)" -ne 0 ]; then
  echo "package-test: needs root (installs the package and creates a user)" >&2
  exit 2
fi
if dpkg-query -W -f='${Status}' quillon 2>/dev/null | grep -q "install ok installed"; then
  echo "package-test: the quillon package is installed already; remove it first" >&2
  exit 2
fi

DEMO_LOGIN=demo
DEMO_PASSWORD=demo-pass-2026
DEMO_DATABASE=Harbourline
TEST_USER=quillon-pkgtest
ODBC_DIR=""
WORK=$(mktemp -d)
chmod 755 "$WORK"
SERVER_PIDS=()
source scripts/test-servers.sh
cleanup() {
  stop_test_servers
  if dpkg-query -W -f='${Status}' quillon 2>/dev/null | grep -q "install ok"; then
    env ${ODBC_DIR:+ODBCSYSINI="$ODBC_DIR"} apt-get remove -y -qq quillon >/dev/null 2>&1 || true
  fi
  if id "$TEST_USER" >/dev/null 2>&1; then userdel "$TEST_USER" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
  echo "package-test: FAILED: $*" >&2
  exit 1
}
step() { echo "package-test: $*"; }

step "building the package"
(cd "$BUILD_DIR" && cpack -G DEB -B "$WORK/package" >"$WORK/cpack.log" 2>&1) || { cat "$WORK/cpack.log" >&2; fail "cpack"; }
DEB=$(find "$WORK/package" -maxdepth 1 -name 'quillon_*_amd64.deb' -print -quit)
[ -n "$DEB" ] || fail "no quillon_<version>_amd64.deb in $WORK/package"
step "built $(basename "$DEB")"
dpkg-deb -f "$DEB" Depends | grep -q tdsodbc || fail "the package does not depend on tdsodbc"

step "lintian (errors fail the test; the warnings follow)"
lintian --fail-on error "$DEB" || fail "lintian reports errors"

step "installing into a prefix with spaces"
PREFIX="$WORK/prefix with spaces"
cmake --install "$BUILD_DIR" --prefix "$PREFIX" >/dev/null
for file in bin/quillon bin/quillon-cli share/applications/quillon.desktop \
            share/icons/hicolor/scalable/apps/quillon.svg share/icons/hicolor/48x48/apps/quillon.png \
            share/man/man1/quillon.1.gz share/man/man1/quillon-cli.1.gz \
            share/bash-completion/completions/quillon-cli share/doc/quillon/quillon.ini.sample; do
  [ -f "$PREFIX/$file" ] || fail "cmake --install did not install $file"
done
"$PREFIX/bin/quillon-cli" --version >/dev/null || fail "quillon-cli in a prefix with spaces does not run"

step "installing the package with apt-get"
# The maintainer scripts see an empty driver list of their own (unixODBC reads ODBCSYSINI), so
# the registration and its undoing are tested without touching the machine's drivers, which
# the programs below still use.
ODBC_DIR="$WORK/odbc"
mkdir "$ODBC_DIR"
: >"$ODBC_DIR/odbcinst.ini"
ODBCSYSINI=$ODBC_DIR apt-get install -y -qq "$DEB" >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log" >&2; fail "apt-get install"; }
ODBCSYSINI=$ODBC_DIR odbcinst -q -d -n FreeTDS >/dev/null 2>&1 || fail "the package did not register the FreeTDS driver"
desktop-file-validate /usr/share/applications/quillon.desktop || fail "desktop-file-validate"
for page in quillon quillon-cli; do
  warnings=$(MANWIDTH=80 man --warnings -l "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
completions=$(bash -c '
  source /usr/share/bash-completion/completions/quillon-cli
  complete -p quillon-cli >/dev/null || exit 1
  offer() { COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _quillon_cli; echo "${COMPREPLY[*]}"; }
  offer quillon-cli ""
  offer quillon-cli compare --f
  offer quillon-cli compare --format j
  offer quillon-cli compare --kinds views,r
  offer quillon-cli publish Se') || fail "the bash completion does not load"
expected=$'compare snapshot publish drift repair help\n--format --fail-on --force --fleet\njson junit\nviews,routines\nServer= Service='
[ "$completions" = "$expected" ] || fail "the bash completion offers"$'\n'"$completions"$'\n'"instead of"$'\n'"$expected"

start_test_server 3 tds tests/servers/tds_server.py demo/demo_database.xml >"$WORK/tds.port"
start_test_server 4 gold tests/servers/gold_service.py --fixture demo/demo_gold.json >"$WORK/gold.port"
TDS_PORT=$(cat "$WORK/tds.port")
SERVICE="http://127.0.0.1:$(cat "$WORK/gold.port")"

step "running as $TEST_USER with an empty home folder"
HOME_DIR="$WORK/home"
useradd --home-dir "$HOME_DIR" --create-home --skel /dev/null --shell /bin/sh "$TEST_USER"
[ -z "$(ls -A "$HOME_DIR")" ] || fail "the test user's home folder is not empty"
STAMP="$WORK/stamp"
touch "$STAMP"
as_user() {
  runuser -u "$TEST_USER" -- env -i HOME="$HOME_DIR" USER="$TEST_USER" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
}
as_user mkdir "$HOME_DIR/work"
as_user sh -c 'cd "$HOME/work" && quillon-cli --version' | grep -q '^quillon-cli ' || fail "quillon-cli --version"
status=0
as_user QUILLON_PASSWORD="$DEMO_PASSWORD" sh -c 'cd "$HOME/work" && exec quillon-cli compare "$@"' quillon-cli \
  "Server=127.0.0.1,$TDS_PORT" "Database=$DEMO_DATABASE" "User=$DEMO_LOGIN" "Service=$SERVICE" \
  >"$WORK/compare.out" 2>"$WORK/compare.err" || status=$?
((status <= 1)) || { cat "$WORK/compare.out" "$WORK/compare.err" >&2; fail "quillon-cli compare ended with $status"; }
# Named after the server's own name, the database and its version.
ls "$HOME_DIR/work"/*."$DEMO_DATABASE".*.xml >/dev/null 2>&1 ||
  fail "the snapshot is not in the current folder: $(ls -A "$HOME_DIR/work")"
[ -f "$HOME_DIR/.local/state/quillon/quillon-cli-$TEST_USER.sil" ] || fail "no log in ~/.local/state/quillon"
[ -f "$HOME_DIR/.config/quillon/$TEST_USER.ini" ] || fail "no user settings in ~/.config/quillon"

step "running quillon-cli with a home folder it cannot write"
LOCKED_HOME="$WORK/locked-home"
mkdir -m 755 "$LOCKED_HOME"
status=0
runuser -u "$TEST_USER" -- env -i HOME="$LOCKED_HOME" USER="$TEST_USER" PATH=/usr/bin:/bin LANG=C.UTF-8 \
  QUILLON_PASSWORD="$DEMO_PASSWORD" sh -c 'cd "$0" && exec quillon-cli compare "$@"' "$HOME_DIR/work" \
  "Server=127.0.0.1,$TDS_PORT" "Database=$DEMO_DATABASE" "User=$DEMO_LOGIN" "Service=$SERVICE" \
  >"$WORK/locked.out" 2>"$WORK/locked.err" || status=$?
((status <= 1)) || { cat "$WORK/locked.err" >&2; fail "quillon-cli with a locked home ended with $status"; }
for expected in "cannot create the folder $LOCKED_HOME/.config/quillon/ for the user's settings: Permission denied" \
                "cannot create the folder $LOCKED_HOME/.local/state/quillon/ for the log and the publish checksums: Permission denied"; do
  grep -qF "$expected" "$WORK/locked.err" || { cat "$WORK/locked.err" >&2; fail "no message: $expected"; }
done
without_times() { sed -E 's/[0-9]+\.[0-9]+s\b/_s/g' "$1"; }
[ "$(without_times "$WORK/compare.out")" = "$(without_times "$WORK/locked.out")" ] ||
  fail "the report differs when the home folder cannot be written"

step "starting quillon offscreen with the data-link file in the user's config folder"
printf '[oledb]\r\n; Everything after this line is an OLE DB initstring\r\nProvider=SQLOLEDB.1;Persist Security Info=False;User ID=%s;Initial Catalog=%s;Data Source=127.0.0.1,%s\r\n' \
  "$DEMO_LOGIN" "$DEMO_DATABASE" "$TDS_PORT" >"$WORK/Tellwick.UDL"
install -o "$TEST_USER" -m 600 "$WORK/Tellwick.UDL" "$HOME_DIR/.config/quillon/Tellwick.UDL"
as_user QT_QPA_PLATFORM=offscreen quillon "Service=$SERVICE" >"$WORK/gui.out" 2>&1 &
RUNNER_PID=$!
# The window asks for the password before it connects, so the login waits for a person: the
# program must still be running a while after it has started. SIGTERM then ends it in order,
# and its log (written at exit) tells that it read the data-link file from the config folder
# and stopped for the login.
GUI_PID=""
for _ in $(seq 300); do
  GUI_PID=$(pgrep -u "$TEST_USER" -x quillon || true)
  if [ -n "$GUI_PID" ] && grep -Eq '^SigCgt:\s*[0-9a-f]*[4-7c-f][0-9a-f]{3}$' "/proc/$GUI_PID/status" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
[ -n "$GUI_PID" ] || { cat "$WORK/gui.out" >&2; fail "quillon did not start"; }
sleep 5
kill -0 "$GUI_PID" 2>/dev/null || { cat "$WORK/gui.out" >&2; fail "quillon ended without waiting for the login"; }
kill -TERM "$GUI_PID"
status=0
wait "$RUNNER_PID" || status=$?
GUI_LOG="$HOME_DIR/.local/state/quillon/quillon-$TEST_USER.sil"
[ -f "$GUI_LOG" ] || { cat "$WORK/gui.out" >&2; fail "quillon ended with $status and wrote no log to ~/.local/state/quillon"; }
grep -q "TSimpleDatabase.Connect: Login needed (.*Data Source=127.0.0.1,$TDS_PORT)" "$GUI_LOG" ||
  { cat "$GUI_LOG" >&2; fail "quillon did not ask for the login of the data-link file in ~/.config/quillon"; }
! grep -q '  Error  ' "$GUI_LOG" || { cat "$GUI_LOG" >&2; fail "quillon logged an error"; }
((status == 0)) || fail "quillon ended with $status on SIGTERM"

step "checking that nothing was written under /usr or /etc/quillon"
written=$(find /usr /etc/quillon -newer "$STAMP" -not -path '*/__pycache__*' 2>/dev/null || true)
[ -z "$written" ] || fail "written under the install prefix: $written"

step "removing the package"
ODBCSYSINI=$ODBC_DIR apt-get remove -y -qq quillon >"$WORK/remove.log" 2>&1 || { cat "$WORK/remove.log" >&2; fail "apt-get remove"; }
! ODBCSYSINI=$ODBC_DIR odbcinst -q -d -n FreeTDS >/dev/null 2>&1 || fail "the FreeTDS driver the package registered is still registered"
odbcinst -q -d -n FreeTDS >/dev/null 2>&1 || fail "removing the package unregistered a FreeTDS driver it had not registered"
left=$(dpkg -L quillon 2>/dev/null | grep -v '^/\.$' | while read -r path; do [ -f "$path" ] && echo "$path"; done || true)
[ -z "$left" ] || fail "files left after removal: $left"
[ ! -e /usr/bin/quillon ] && [ ! -e /usr/bin/quillon-cli ] || fail "the programs are still installed after removal"
step "passed"
