#!/usr/bin/env bash
# Installs every system package Quillon needs to build, run and test on Debian 12.
# Idempotent and non-interactive; quick when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git time
  qt6-base-dev qt6-base-dev-tools libqt6xml6 libqt6svg6 qt6-qpa-plugins
  libqscintilla2-qt6-dev
  libpcre2-dev
  unixodbc unixodbc-dev tdsodbc freetds-bin
  libcurl4-openssl-dev curl
  libgtest-dev libgmock-dev googletest
  python3 python3-jsonschema openssl
  libxml2-utils diffutils hyperfine
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core imagemagick
  dpkg-dev file desktop-file-utils lintian man-db procps
)

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The FreeTDS ODBC driver must be registered under the name the program asks for.
if ! odbcinst -q -d 2>/dev/null | grep -qi '^\[FreeTDS\]'; then
  driver=$(find /usr/lib -name libtdsodbc.so -print -quit)
  setup_lib=$(find /usr/lib -name libtdsS.so -print -quit || true)
  template=$(mktemp)
  {
    echo "[FreeTDS]"
    echo "Description=FreeTDS ODBC driver"
    echo "Driver=$driver"
    if [ -n "$setup_lib" ]; then echo "Setup=$setup_lib"; fi
  } > "$template"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO odbcinst -i -d -f "$template" >/dev/null
  rm -f "$template"
fi
# node and tedious, the TDS client the TDS test server is held against. Debian's node and npm
# come only when the commands are missing: a node from elsewhere brings its own npm.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "setup: installing nodejs npm"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends nodejs npm
fi
# tedious at the versions the lock file pins, into .cache/node beside the sources (where the test
# looks for it), not globally; installed again only when the lock file changes.
sources=$(cd "$(dirname "$0")/.." && pwd)
node_folder="$sources/.cache/node"
if ! cmp -s "$sources/tests/servers/package-lock.json" "$node_folder/package-lock.json" \
    || [ ! -f "$node_folder/node_modules/tedious/package.json" ]; then
  echo "setup: installing tedious into $node_folder"
  mkdir -p "$node_folder"
  cp "$sources/tests/servers/package.json" "$sources/tests/servers/package-lock.json" "$node_folder/"
  npm ci --prefix "$node_folder" --no-audit --no-fund --loglevel=error
fi
echo "setup: all packages present"
