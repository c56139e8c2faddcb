#!/usr/bin/env bash
# The main program's folder is the top of the tree: nothing outside app/
# (tests included) may include a header from it, so that the other programs,
# components and benchmarks build without the main program. Inside it the
# layers depend only downwards: core/ includes neither forms/ nor main/, and
# forms/ does not include main/.
#   check_includes.sh SOURCE_DIR
set -uo pipefail
SOURCE=$1

# Every top folder but app/, hidden ones and build folders (any folder with
# a CMake cache, wherever the build was configured).
folders=()
for dir in "$SOURCE"/*/; do
  dir=${dir%/}
  case ${dir##*/} in app) continue ;; esac
  [[ -e "$dir/CMakeCache.txt" ]] && continue
  folders+=("$dir")
done
sources=(--include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' --include='*.c')

# Nothing to look at means the wrong folder, not a clean tree.
count=$(grep -rl "${sources[@]}" -e '#include' "${folders[@]}" | wc -l)
((count > 50)) || { echo "FAIL: only $count sources found under $SOURCE" >&2; exit 1; }

if grep -rnE "${sources[@]}" '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](\.\./)*app/' "${folders[@]}"; then
  echo "FAIL: the files above include headers of app/, the main program" >&2
  exit 1
fi

# Within the main program: a layer includes nothing of the layers above it.
layer_fault=0
check_layer() { # folder, pattern of the folders above it
  if grep -rnE "${sources[@]}" "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]app/($2)/" "$SOURCE/app/$1"; then
    echo "FAIL: app/$1 includes the layer above it (app/$2)" >&2
    layer_fault=1
  fi
}
check_layer core 'forms|main|bench'
check_layer forms 'main|bench'
((layer_fault == 0)) || exit 1
echo "ok: $count sources outside app/ include nothing of it; app/core < app/forms < app/main"
