#!/bin/sh
# The Debian package, installed for real: builds vennrick_<version>_amd64.deb from the build folder given
# as the first argument, installs it with apt in a fresh minimal Debian 12 root, plots the example from a
# folder outside the package, reads the manual page with man, and purges the package, after which no file
# of its file list may be left. Needs root and debootstrap (else "SKIPPED: ..." and exit 0) and the Debian
# archive. The pristine root and the downloaded packages are kept in $VENNRICK_TEST_CACHE (default
# /var/cache/vennrick-test) so that a run after the first takes well under a minute; every run unpacks
# its own copy of the pristine root and removes it at the end.
set -eu

# The whole test is bounded; on the time limit the trap below still unmounts and removes what it made.
if [ -z "${VENNRICK_PACKAGE_TEST_BOUNDED:-}" ]; then
    VENNRICK_PACKAGE_TEST_BOUNDED=1 exec timeout "${VENNRICK_PACKAGE_TEST_TIMEOUT:-1500}" sh "$0" "$@"
fi

build=$(cd "${1:?usage: package_test.sh BUILD_DIR}" && pwd)
cache=${VENNRICK_TEST_CACHE:-/var/cache/vennrick-test}
suite=bookworm

skip() { echo "SKIPPED: $*"; exit 0; }
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || skip "the package test needs root (debootstrap, chroot, mounts)"
command -v debootstrap >/dev/null 2>&1 || skip "debootstrap is not installed"
for tool in cpack dpkg-deb dpkg-shlibdeps chroot mount umount tar flock timeout; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done

# The host's Debian mirrors (one-line or deb822 sources), so the root sees the library versions the
# binary was built against; deb.debian.org when the host names none.
mirror_of() {  # $1: path part that tells the archive ("debian" or "debian-security")
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -Eo "(https?|file)://[^ ]*/$1/?( |\$)" | head -n 1 | tr -d ' ' | sed 's:/$::'
}
mirror=$(mirror_of debian); mirror=${mirror:-http://deb.debian.org/debian}
security=$(mirror_of debian-security); security=${security:-http://deb.debian.org/debian-security}

work=$(mktemp -d /var/tmp/vennrick-package.XXXXXX)
root="$work/root"
mounted=""
cleanup() {
    status=$?
    for m in $mounted; do
        umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
    done
    # Only a root with nothing mounted in it is removed; --one-file-system never follows a mount.
    if grep -q " $work/" /proc/self/mounts; then
        echo "package test: $work still has mounts, left in place" >&2
    elif [ -n "${VENNRICK_PACKAGE_TEST_KEEP:-}" ]; then
        echo "package test: kept $work" >&2
    else
        rm -rf --one-file-system "$work"
    fi
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The package, made in a folder of this run.
timeout 120 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$work/deb/vennrick_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in $(ls "$work/deb" | tr '\n' ' ')"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"

# The pristine root, made once (under a lock, for runs of two build folders at once) and kept as a tar.
mkdir -p "$cache/archives/partial" "$cache/lists/partial"
exec 9>"$cache/lock"
timeout 900 flock 9 || fail "the cache lock was held for 15 minutes"
pristine="$cache/$suite-minbase.tar"
if [ ! -f "$pristine" ]; then
    echo "package test: making a minimal $suite root from $mirror (once; kept in $pristine)"
    timeout 900 debootstrap --variant=minbase "$suite" "$work/pristine" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 20 "$work/debootstrap.log" >&2; rm -rf --one-file-system "$work/pristine";
          skip "debootstrap could not make a $suite root from $mirror (see above)"; }
    tar -C "$work/pristine" --numeric-owner -cf "$pristine.new" . && mv "$pristine.new" "$pristine"
    rm -rf --one-file-system "$work/pristine"
fi
mkdir "$root"
tar -C "$root" --numeric-owner -xpf "$pristine"

cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb $security $suite-security main
EOF
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount -t proc proc "$root/proc"; mounted="$root/proc $mounted"
# The downloaded packages and the archive's indexes are kept between runs, outside the root.
mount --bind "$cache/archives" "$root/var/cache/apt/archives"; mounted="$root/var/cache/apt/archives $mounted"
mount --bind "$cache/lists" "$root/var/lib/apt/lists"; mounted="$root/var/lib/apt/lists $mounted"

in_root() { timeout 300 chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"; }

in_root apt-get update -qq >"$work/update.log" 2>&1 ||
    { cat "$work/update.log" >&2; skip "apt-get update in the root failed: no Debian archive reachable?"; }
# man-db, to read the page as a user would; installed before the package so its trigger indexes the page.
in_root apt-get install -y -qq --no-install-recommends man-db >"$work/man-db.log" 2>&1 ||
    { cat "$work/man-db.log" >&2; fail "installing man-db in the root"; }

# Which paths of the package the root has before it is installed (folders such as /usr/bin).
dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | sed 's:/$::' | grep . >"$work/paths"
while read -r path; do [ -e "$root$path" ] && echo "$path"; done <"$work/paths" >"$work/before"

cp "$deb" "$root/tmp/"
# Without recommended packages: what the package depends on must be enough.
in_root apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")" >"$work/install.log" 2>&1 ||
    { tail -n 30 "$work/install.log" >&2; fail "apt-get install of the package"; }
in_root dpkg -L vennrick >"$work/filelist"
grep -qx /usr/bin/vennrick "$work/filelist" || fail "the package does not list /usr/bin/vennrick"

# The example, plotted from a folder of its own with nothing set in the environment (no display, no
# QT_QPA_PLATFORM): the hit file and the picture are those of the build's binary on the host (the title,
# by default the table's path, is set: the path seen from the host is another).
mkdir -p "$root/tmp/run" "$work/host"
example=/usr/share/doc/vennrick/examples/example.tsv
in_root sh -c "cd /tmp/run && vennrick -M manhattan -file $example -header yes -column 4 -idcolumn 2 \
    -poscolumn 3 -chr '1-22;X' -figuretitle example -out hits.txt" >"$work/run.out" 2>"$work/run.err" ||
    { cat "$work/run.out" "$work/run.err" >&2; fail "vennrick in the root did not plot the example"; }
(cd "$work/host" && env -u QT_QPA_PLATFORM "$build/vennrick" -M manhattan -file "$root$example" -header yes \
    -column 4 -idcolumn 2 -poscolumn 3 -chr '1-22;X' -figuretitle example -out hits.txt >/dev/null 2>&1) ||
    fail "the build's vennrick on the host"
cmp "$root/tmp/run/hits.txt" "$work/host/hits.txt" || fail "the hit file differs from the host's"
[ "$(wc -l <"$root/tmp/run/hits.txt")" -eq 57 ] || fail "the example's hit file has not 56 hits"
cmp "$root/tmp/run/hits.txt.jpg" "$work/host/hits.txt.jpg" ||
    fail "the plot differs from the host's (a font missing from the package's dependencies?)"
# The paper style's fonts (Carlito for Calibri) too.
in_root sh -c "cd /tmp/run && vennrick -M manhattan -file $example \
    -names yes -chr '1-22;X' -figuretitle example -style paper -image png -qq yes -labels 3 -out paper.txt" >/dev/null 2>&1 ||
    fail "vennrick in the root did not draw the paper style"
(cd "$work/host" && "$build/vennrick" -M manhattan -file "$root$example" \
    -names yes -chr '1-22;X' -figuretitle example -style paper -image png -qq yes -labels 3 -out paper.txt >/dev/null 2>&1) ||
    fail "the build's vennrick on the host, paper style"
for f in paper.txt.png paper.txt.qq.png; do
    cmp "$root/tmp/run/$f" "$work/host/$f" || fail "$f differs from the host's"
done

# The manual page, through man as a user reads it.
in_root sh -c 'man -P cat vennrick 2>&1' >"$work/man.txt" || { cat "$work/man.txt" >&2; fail "man vennrick"; }
grep -q "^SYNOPSIS" "$work/man.txt" && grep -q "EXIT STATUS" "$work/man.txt" || fail "man vennrick: $(head -c 300 "$work/man.txt")"
in_root vennrick --version >"$work/version.txt" 2>&1 && grep -q "^vennrick $version\$" "$work/version.txt" ||
    fail "vennrick --version in the root: $(cat "$work/version.txt")"
# The completion as bash loads it: the values of -style after the switch.
in_root bash -c '. /usr/share/bash-completion/completions/vennrick && COMP_WORDS=(vennrick -style "") &&
    COMP_CWORD=2 && _vennrick && echo "${COMPREPLY[*]}"' >"$work/complete.txt" 2>&1 &&
    grep -qx "classic paper" "$work/complete.txt" || fail "bash completion in the root: $(cat "$work/complete.txt")"

in_root apt-get purge -y vennrick >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "apt-get purge"; }
left=""
while read -r path; do
    [ -e "$root$path" ] || [ -L "$root$path" ] || continue
    grep -qxF "$path" "$work/before" || left="$left $path"
done <"$work/filelist"
[ -z "$left" ] || fail "left behind by apt-get purge:$left"
in_root dpkg -s vennrick >/dev/null 2>&1 && fail "dpkg still knows vennrick after the purge"

echo "package test: $(basename "$deb") installed, plotted the example, man page read, purged clean"
