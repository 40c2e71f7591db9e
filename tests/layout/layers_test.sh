#!/bin/sh
# The folders of src/ are layers: a file may include headers of its own folder and of the folders below it,
# never of a folder on its own floor or above. The floors are those of the README's map of the folders (its
# Development section), so the map and the code cannot drift apart. Prints every include that breaks this and
# fails when one does.
#   tests/layout/layers_test.sh [SRC_DIR [README]]
set -eu
src="${1:-$(dirname "$0")/../../src}"
readme="${2:-$src/../README.md}"
# "folder floor" for every src/ folder of the map's rows "| FLOOR | `src/a/`, `src/b/` | ...".
floors=$(sed -n 's/^| \([0-9][0-9]*\) | \([^|]*\) |.*/\1 \2/p' "$readme" |
    while read -r number folders; do
        for f in $(printf '%s\n' "$folders" | grep -o 'src/[a-z_]*/' | sed 's|src/||; s|/||'); do echo "$f $number"; done
    done)
[ -n "$floors" ] || { echo "$readme: no map of the folders (rows '| FLOOR | \`src/FOLDER/\` | ...')"; exit 1; }
floor() {
    want=$1
    set -- $floors
    while [ $# -ge 2 ]; do
        [ "$1" = "$want" ] && { echo "$2"; return; }
        shift 2
    done
    echo 0
}
bad=0
for file in $(cd "$src" && find . -mindepth 2 -name '*.h' -o -mindepth 2 -name '*.cpp' | sort); do
    file="${file#./}"
    from="${file%%/*}"
    [ "$(floor "$from")" -gt 0 ] || { echo "$file: folder '$from' is not on the README's map of the folders"; bad=1; continue; }
    for to in $(sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z_]*\)/.*|\1|p' "$src/$file"); do
        [ "$to" = "$from" ] && continue
        # The regional plots share the paper style's look (its lengths, fonts and axis steps), nothing else of paper/.
        [ "$from" = region ] && [ "$to" = paper ] &&
            ! grep '^[[:space:]]*#[[:space:]]*include[[:space:]]*"paper/' "$src/$file" | grep -qv '"paper/paper_style.h"' &&
            continue
        if [ "$(floor "$to")" -eq 0 ] || [ "$(floor "$to")" -ge "$(floor "$from")" ]; then
            echo "$file includes a header of $to/, which is not below $from/"
            bad=1
        fi
    done
    if grep -q '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]*"' "$src/$file"; then
        echo "$file includes a header without its folder"
        bad=1
    fi
done
[ $bad = 0 ] && echo "layers: every include of src/ points to its own folder or one below"
exit $bad
