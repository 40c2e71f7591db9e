#!/bin/sh
# The folders of src/ are layers: a file may include headers of its own folder and of the folders below it,
# never of a folder on its own floor or above. Prints every include that breaks this and fails when one does.
#   tests/layout/layers_test.sh [SRC_DIR]
set -eu
src="${1:-$(dirname "$0")/../../src}"
# Floors from the ground up; folders on one floor may not include each other.
floor() {
    case "$1" in
        base) echo 1 ;; settings) echo 2 ;; reading) echo 3 ;; analysis) echo 4 ;; figure) echo 5 ;;
        classic | paper | region) echo 6 ;; output) echo 7 ;; page | report) echo 8 ;; run) echo 9 ;;
        *) echo 0 ;;
    esac
}
bad=0
for file in $(cd "$src" && find . -mindepth 2 -name '*.h' -o -mindepth 2 -name '*.cpp' | sort); do
    file="${file#./}"
    from="${file%%/*}"
    [ "$(floor "$from")" -gt 0 ] || { echo "$file: folder '$from' has no floor"; bad=1; continue; }
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
