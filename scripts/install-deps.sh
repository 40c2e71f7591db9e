#!/bin/sh
# Installs the Debian packages that building, running and testing Vennrick need, and any further packages
# named as arguments (the benchmark scripts name theirs).
# Idempotent: when every package is already installed it only checks and returns.
set -eu

# Building and running: the toolkit, the table readers' libraries, the report's JSON library, the figures' fonts.
packages="g++ cmake make pkg-config qt6-base-dev qt6-svg-dev libhts-dev libisal-dev zlib1g-dev libzstd-dev liblzma-dev
libbz2-dev libboost-math-dev nlohmann-json3-dev libgtest-dev fonts-crosextra-carlito fonts-dejavu-core gzip $*"
# The tests (VENNRICK_TESTS=1, as scripts/test.sh sets it) drive real parts:
# - chromium, chromium-driver and python3-selenium the report page in a real browser; nodejs checks its script;
# - plink1.9 computes r2 to compare with, on a panel bgzipped and indexed with tabix;
# - python3-jsonschema checks the run reports; snakemake runs the workflow for many tables, and a one-node Slurm
#   (slurmctld, slurmd, slurm-client, munge) runs it as cluster jobs;
# - dpkg-dev and file compute the Debian package's dependencies; debootstrap makes the fresh root it is installed in;
#   mandoc and groff-base lint the manual page.
if [ "${VENNRICK_TESTS:-0}" = 1 ]; then
    packages="$packages chromium chromium-driver python3-selenium nodejs plink1.9 tabix python3 python3-jsonschema
snakemake slurmctld slurmd slurm-client munge dpkg-dev file debootstrap mandoc groff-base"
fi
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
