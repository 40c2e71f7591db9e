#!/bin/sh
# Installs the Debian packages that building, running and testing Vennrick need, and any further packages
# named as arguments (the benchmark scripts name theirs).
# Idempotent: when every package is already installed it only checks and returns.
# chromium, chromium-driver and python3-selenium drive the report page in a real browser; nodejs checks its script.
set -eu

packages="g++ cmake make pkg-config qt6-base-dev qt6-svg-dev libhts-dev libisal-dev zlib1g-dev libzstd-dev liblzma-dev libbz2-dev libgtest-dev
libboost-math-dev fonts-crosextra-carlito fonts-dejavu-core gzip
chromium chromium-driver python3-selenium nodejs $*"
# The regional plot test compares r2 with an independent program's on a bgzipped, indexed panel.
packages="$packages plink1.9 tabix python3"
# The run report is made with nlohmann-json; the workflow for many tables runs on snakemake, and its tests check
# the reports with python3-jsonschema and start a one-node Slurm (slurmctld, slurmd, munge).
packages="$packages nlohmann-json3-dev python3-jsonschema snakemake slurmctld slurmd slurm-client munge"
# dpkg-dev computes the Debian package's dependencies (dpkg-shlibdeps); debootstrap makes the fresh root
# the package test installs it in; mandoc and groff-base lint the manual page.
packages="$packages dpkg-dev debootstrap mandoc groff-base"
# The fuzz targets are built with clang's libFuzzer.
if [ "${VENNRICK_FUZZ:-0}" = 1 ]; then
    packages="$packages clang libclang-rt-14-dev"
fi

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing" >&2
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# --no-install-recommends keeps the GUI toolkit from pulling in desktop and GPU stacks.
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
