#!/bin/sh
# Installs what the build needs, builds Vennrick and plots the bundled example table.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

build/vennrick -M manhattan -file examples/example.tsv -names yes -style paper -image png \
    -size 2400x1600 -dpi 288 -labels 10 -out examples/example.paper
echo "Hit file: examples/example.paper   Figure: examples/example.paper.png"
# The classic style: the documented picture, kept for the scripts that depend on it.
build/vennrick -M manhattan -file examples/example.tsv -header yes \
    -column 4 -idcolumn 2 -poscolumn 3 -chr "1-22;X" -out examples/example.tsv.out
echo "Hit file: examples/example.tsv.out   Plot: examples/example.tsv.out.jpg"
