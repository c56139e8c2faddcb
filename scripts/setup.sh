#!/usr/bin/env bash
# The set-up shared by ./run and ./test: installs the Debian packages that are
# missing (those of scripts/packages.txt), builds the tree into build/ and
# registers every component library into the user's registry hive. Quick when
# nothing changed. "setup.sh --packages" only prints the package list.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

# The Debian packages, one list for everything (see the file).
mapfile -t PACKAGES < <(sed -e 's/#.*//' "$ROOT/scripts/packages.txt" | tr -s ' \t' '\n\n' | grep -v '^$')
if [[ "${1:-}" == --packages ]]; then
  printf '%s\n' "${PACKAGES[@]}"
  exit 0
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Whether apt has package lists at all (a fresh machine or container has none,
# and every install would fail until they are fetched).
lists_empty() {
  local LISTS=/var/lib/apt/lists/
  eval "$(apt-config shell LISTS Dir::State::lists/d 2>/dev/null)" || true
  ! compgen -G "${LISTS%/}/*_Packages*" >/dev/null
}

if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    APT=(env DEBIAN_FRONTEND=noninteractive apt-get)
  elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    APT=(sudo env DEBIAN_FRONTEND=noninteractive apt-get)
  else
    echo "setup: these Debian packages are missing: ${missing[*]}" >&2
    echo "setup: run as root, or with password-less sudo, or install them yourself:" >&2
    echo "       sudo apt-get update && sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  echo "setup: (a first set-up downloads about 420 MB and needs about 1.8 GB of disk; it takes several minutes)"
  if lists_empty; then
    "${APT[@]}" update -q
    "${APT[@]}" install -y -q --no-install-recommends "${missing[@]}"
  elif ! "${APT[@]}" install -y -q --no-install-recommends "${missing[@]}"; then
    # Lists that are out of date name versions the mirror no longer has.
    "${APT[@]}" update -q
    "${APT[@]}" install -y -q --no-install-recommends "${missing[@]}"
  fi
fi

if [[ ! -f "$BUILD/build.ninja" ]]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD" -- -j"$(nproc)"

# Register the component libraries of this build into the user's hive
# ($VESPER_REGISTRY, else ~/.config/vesper/registry.sqlite).
if [[ -s "$BUILD/components.txt" ]]; then
  mapfile -t components < <(grep -v '^$' "$BUILD/components.txt")
  if ((${#components[@]})); then
    "$BUILD/bin/regsvr" register "${components[@]}" >/dev/null
  fi
fi
