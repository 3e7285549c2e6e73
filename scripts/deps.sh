#!/usr/bin/env bash
# Installs the Debian packages the build needs, running apt-get update once and only when one is missing:
# as root, or through sudo (scripts/as-root.sh) when the caller is a normal user. Without either it stops
# with the command that installs what is missing.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libudev-dev libinih-dev nlohmann-json3-dev libcli11-dev
  qt6-base-dev
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]})) || exit 0

source "$(dirname "${BASH_SOURCE[0]}")/as-root.sh"
if ! root_access "to install ${missing[*]}"; then
  echo "Missing Debian packages: ${missing[*]}; $root_refusal. As root:" \
    "apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
if [ "$(id -u)" = 0 ]; then
  echo "Installing: ${missing[*]}"
else
  echo "Installing through sudo the Debian packages this build needs and lacks: ${missing[*]}"
fi
as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
