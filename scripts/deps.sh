#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those that are missing.
# Quiet when everything is already there. Extra package names may be passed as arguments.
set -euo pipefail

packages=(make cmake ninja-build g++ pkg-config
          qt6-base-dev libgl-dev libsimpleini-dev libcli11-dev libstb-dev fonts-dejavu-core
          libgdal-dev gdal-bin libgtest-dev libgmock-dev
          pybind11-dev python3-dev python3-numpy python3-pytest "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run this as root, or install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "scripts/deps.sh: installing the missing Debian packages with apt-get: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=900 update -qq
before=$(dpkg-query -W -f='${Status}\n' | grep -c 'install ok installed' || true)
apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
after=$(dpkg-query -W -f='${Status}\n' | grep -c 'install ok installed' || true)
echo "scripts/deps.sh: done, $((after - before)) packages installed, counting what they depend on"
