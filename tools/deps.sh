#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those that are missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  # the module catalogue: Qt SQL's drivers, and a PostgreSQL server for its tests' private clusters
  libqt6sql6-sqlite libqt6sql6-psql postgresql
  qt6-translations-l10n
  xvfb xauth fonts-dejavu-core
  # the package: its build, the desktop's validators and lintian
  dpkg-dev file desktop-file-utils appstream shared-mime-info lintian
)
# --windows: what the cross-build for Windows and its tests under wine need as well.
if [ "${1:-}" = "--windows" ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine64 zip nsis)
fi
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
