#!/usr/bin/env bash
# Installs the Debian packages that building and testing Fetchwick need,
# skipping everything that is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-qpa-plugins libqt6svg6 libx11-dev
  shared-mime-info adwaita-icon-theme fonts-dejavu-core
  xvfb xdotool dbus at-spi2-core python3-pyatspi gir1.2-atspi-2.0
  desktop-file-utils appstream
  libcurl4-openssl-dev ca-certificates
  libcpp-httplib-dev
  libgtest-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
