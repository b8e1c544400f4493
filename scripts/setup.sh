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
echo "setup: all packages present"
