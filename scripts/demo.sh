#!/usr/bin/env bash
# The demo: installs what is missing, builds what is needed, starts the TDS test server with the
# demo database (demo/demo_database.xml) and the gold-standard test service with its gold
# standard (demo/demo_gold.json), runs quillon-cli compare against them, prints the report and
# writes the HTML report. With --gui it then opens the main window against the same servers.
# Both servers are stopped however the script ends (Ctrl+C included).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

GUI=0
for argument in "$@"; do
  case "$argument" in
    --gui) GUI=1 ;;
    -h|--help) echo "usage: bash scripts/demo.sh [--gui]"; exit 0 ;;
    *) echo "demo: unknown argument $argument (usage: bash scripts/demo.sh [--gui])" >&2; exit 2 ;;
  esac
done

DEMO_LOGIN=demo
DEMO_PASSWORD=demo-pass-2026
DEMO_DATABASE=Harbourline
BUILD_DIR=${BUILD_DIR:-build}
REPORT="$ROOT/$BUILD_DIR/demo-report.html"

bash scripts/setup.sh
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
targets=(quillon-cli)
if ((GUI)); then targets+=(quillon); fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target "${targets[@]}"

WORK=$(mktemp -d)
SERVER_PIDS=()
UDL="$ROOT/$BUILD_DIR/Tellwick.UDL"
UDL_BACKUP=""
source scripts/test-servers.sh
cleanup() {
  stop_test_servers
  if [ -n "$UDL_BACKUP" ]; then mv -f "$UDL_BACKUP" "$UDL"; elif ((GUI)); then rm -f "$UDL"; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'echo "demo: interrupted" >&2; exit 130' INT TERM

start_test_server 3 tds tests/servers/tds_server.py demo/demo_database.xml >"$WORK/tds.port"
start_test_server 4 gold tests/servers/gold_service.py --fixture demo/demo_gold.json >"$WORK/gold.port"
TDS_PORT=$(cat "$WORK/tds.port")
GOLD_PORT=$(cat "$WORK/gold.port")
SERVICE="http://127.0.0.1:$GOLD_PORT"
echo "demo: database $DEMO_DATABASE on 127.0.0.1,$TDS_PORT (login $DEMO_LOGIN), gold standard at $SERVICE"

CLI=("$BUILD_DIR/src/quillon-cli" compare "Server=127.0.0.1,$TDS_PORT" "Database=$DEMO_DATABASE"
     "User=$DEMO_LOGIN" "Service=$SERVICE")
export QUILLON_PASSWORD=$DEMO_PASSWORD
echo
echo "\$ quillon-cli compare Server=127.0.0.1,$TDS_PORT Database=$DEMO_DATABASE User=$DEMO_LOGIN Service=$SERVICE --report text:- --report html:$REPORT"
# One run writes both reports: the service records each anomaly once.
status=0
"${CLI[@]}" --report text:- --report "html:$REPORT" || status=$?
if ((status > 1)); then
  echo "demo: the compare run failed (exit code $status)" >&2
  exit "$status"
fi
echo
echo "demo: exit code $status (0 = no anomaly, 1 = anomalies, 2 = error)"
echo "demo: HTML report written to $REPORT"

if ((GUI)); then
  if [ -f "$UDL" ]; then
    UDL_BACKUP="$WORK/Tellwick.UDL.saved"
    cp "$UDL" "$UDL_BACKUP"
  fi
  # The program reads the data-link file from the folder above its own when the command line
  # names no server and database; the login dialog asks for the password.
  printf '[oledb]\r\n; Everything after this line is an OLE DB initstring\r\nProvider=SQLOLEDB.1;Persist Security Info=False;User ID=%s;Initial Catalog=%s;Data Source=127.0.0.1,%s\r\n' \
    "$DEMO_LOGIN" "$DEMO_DATABASE" "$TDS_PORT" >"$UDL"
  echo "demo: opening the main window; log in as $DEMO_LOGIN with the password $DEMO_PASSWORD"
  echo "demo: close the window to stop the servers"
  "$BUILD_DIR/src/quillon" "Service=$SERVICE" || echo "demo: the main window ended with exit code $?" >&2
fi
