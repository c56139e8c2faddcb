#!/usr/bin/env bash
# The main program's folder is the top of the tree: nothing outside app/
# (tests included) may include a header from it, so that the other programs,
# components and benchmarks build without the main program.
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
echo "ok: $count sources outside app/ include nothing of it"
