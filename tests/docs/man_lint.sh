#!/bin/sh
# The manual page made at build time (the first argument) lints clean: not a message from mandoc -T lint,
# not a warning from groff -ww; and man renders it with its sections.
set -eu
page=${1:?usage: man_lint.sh PAGE}
for tool in mandoc groff; do
    command -v $tool >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed"; exit 0; }
done
status=0
lint=$(timeout 60 mandoc -T lint "$page" 2>&1) || true
[ -z "$lint" ] || { echo "mandoc -T lint:"; echo "$lint"; status=1; }
warnings=$(timeout 60 groff -ww -man -Tutf8 -z "$page" 2>&1) || { echo "groff failed"; status=1; }
[ -z "$warnings" ] || { echo "groff -ww:"; echo "$warnings"; status=1; }
# the rendered text without its overstrikes (bold and underline as character, backspace, character)
text=$(timeout 60 mandoc -T ascii "$page" 2>/dev/null | sed 's/.\x08//g')
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES "EXIT STATUS" EXAMPLES; do
    printf '%s\n' "$text" | grep -q "^$section\$" || { echo "no $section section"; status=1; }
done
[ $status -eq 0 ] && echo "manual page lints clean: $page"
exit $status
