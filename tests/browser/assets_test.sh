#!/bin/sh
# The report page's assets as the program embeds them: the script parses (node --check), neither the script nor
# the style can end the element that holds it, and the frame has each place the writer fills exactly once.
#   tests/browser/assets_test.sh src/page/assets
set -eu
dir="$1"
bad=0
if command -v node >/dev/null 2>&1; then
    node --check "$dir/report.js" || bad=1
else
    echo "SKIPPED: node is not installed: report.js is not parsed"
fi
if grep -qi '</script' "$dir/report.js"; then echo "report.js holds '</script'"; bad=1; fi
if grep -qi '</style' "$dir/report.css"; then echo "report.css holds '</style'"; bad=1; fi
for mark in '/\*@VENNRICK_STYLE@\*/' '@VENNRICK_DATA@' '/\*@VENNRICK_SCRIPT@\*/'; do
    n=$(grep -c "$mark" "$dir/report.html" || true)
    [ "$n" = 1 ] || { echo "report.html: '$mark' $n times instead of once"; bad=1; }
done
# The data place comes before the script place: the data's text is never inside the script.
awk '/@VENNRICK_DATA@/ { d = NR } /@VENNRICK_SCRIPT@/ { s = NR } END { exit !(d && s && d < s) }' "$dir/report.html" ||
    { echo "report.html: the data must come before the script"; bad=1; }
[ $bad = 0 ] && echo "assets: the script parses, and the frame holds each place once"
exit $bad
