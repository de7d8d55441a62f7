#!/usr/bin/env bash
# Installs what the Windows cross build and its tests under Wine need, on top
# of scripts/setup.sh, and makes the Debian source packages of libpng and
# libjpeg reachable (Debian ships no mingw builds of them; build-windows.sh
# builds them from source). Idempotent: quick when everything is there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine64 wine dpkg-dev
)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# A deb-src entry for every archive apt takes binary packages from, so that
# 'apt-get source' fetches the same versions.
SRC_LIST=/etc/apt/sources.list.d/ksqx-deb-src.sources
need_update=0
if [ ! -f "$SRC_LIST" ] && ! grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Only stanzas of Debian's own archives.
    awk -v RS= -v ORS='\n\n' '/URIs:[^\n]*debian/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$tmp"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb [^#]*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$tmp.list" || true
    [ -s "$tmp.list" ] && $SUDO cp "$tmp.list" /etc/apt/sources.list.d/ksqx-deb-src.list
    rm -f "$tmp.list"
  fi
  if [ -s "$tmp" ]; then
    $SUDO cp "$tmp" "$SRC_LIST"
    $SUDO chmod 644 "$SRC_LIST"
  fi
  rm -f "$tmp"
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  echo "setup-windows: installing ${missing[*]:-source lists}"
  $SUDO apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
fi
