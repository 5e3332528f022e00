#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installing like a Linux program.
#   tInstall.sh install BUILD VERSION HAVE_RAVELOX SOURCE
#     cmake --install into a temporary prefix: the files are where the desktop
#     and man expect them, the entry and pages are valid, both installed
#     programs start, and an installed program writes into the per-user
#     folder, never beside itself.
#   tInstall.sh deb BUILD VERSION HAVE_RAVELOX SOURCE
#     the Debian package builds, lists those files under /usr, depends on the
#     Qt it links, and its programs start once unpacked.
# The programs run inside a private network namespace (loopback only): the
# engine broadcasts when it starts.
set -eu
mode=$1 build=$2 version=$3 have_ravelox=$4 source=$5

fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root for a private network namespace (unshare -n)"

tmp=$(mktemp -d /tmp/ravelox-install.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home"

# Runs a program with a clean environment inside a network namespace with
# only loopback (and the broadcast route the engine needs).
in_netns() {
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$tmp/home" QT_QPA_PLATFORM=offscreen \
        unshare -n sh -c 'ip link set lo up && ip route add 255.255.255.255/32 dev lo src 127.0.0.1 && exec "$@"' sh "$@"
}

check_version() { # program
    out=$(in_netns "$1" --version 2>&1) || fail "$1 --version exited with $?: $out"
    case $out in
        *"$version"*) echo "ok: $1 --version: $out" ;;
        *) fail "$1 --version printed '$out', not the version $version" ;;
    esac
}

expected() { # prefix
    echo "$1/bin/ravelox-cli"
    echo "$1/share/man/man1/ravelox-cli.1.gz"
    echo "$1/lib/systemd/system/ravelox-respond.service"
    echo "$1/share/bash-completion/completions/ravelox-cli"
    echo "$1/share/zsh/vendor-completions/_ravelox-cli"
    if [ "$have_ravelox" = 1 ]; then
        echo "$1/bin/ravelox"
        echo "$1/share/man/man1/ravelox.1.gz"
        echo "$1/share/applications/ravelox.desktop"
        echo "$1/share/icons/hicolor/scalable/apps/ravelox.svg"
        echo "$1/share/icons/hicolor/48x48/apps/ravelox.png"
        echo "$1/share/icons/hicolor/256x256/apps/ravelox.png"
    fi
}

# The man page renders without a groff warning.
check_man() { # page.1.gz
    warnings=$(zcat "$1" | LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -Tutf8 -l - 2>&1 >/dev/null) ||
        fail "man cannot render $1"
    [ -z "$warnings" ] || fail "man warns about $1: $warnings"
}

case $mode in
install)
    prefix=$tmp/prefix
    cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
        { cat "$tmp/install.log"; fail "cmake --install"; }
    for f in $(expected "$prefix"); do
        [ -f "$f" ] || fail "not installed: $f"
    done
    [ -d "$prefix/share/ravelox" ] || fail "no data folder $prefix/share/ravelox"
    # Every shipped folder beside the built programs, file for file.
    for dir in "$build"/bin/*/; do
        [ -d "$dir" ] || continue
        name=$(basename "$dir")
        for f in "$dir"*; do
            [ -f "$f" ] || continue
            cmp -s "$f" "$prefix/share/ravelox/$name/$(basename "$f")" ||
                fail "shipped file not installed: $name/$(basename "$f")"
        done
    done
    for p in ravelox ravelox-cli; do
        [ -f "$prefix/share/man/man1/$p.1.gz" ] && check_man "$prefix/share/man/man1/$p.1.gz"
    done
    grep -q '^ExecStart=ravelox-cli respond' "$prefix/lib/systemd/system/ravelox-respond.service" ||
        fail "the unit does not run ravelox-cli respond"
    grep -q '^Environment=RAVELOX_HOME=/var/lib/ravelox$' "$prefix/lib/systemd/system/ravelox-respond.service" ||
        fail "the unit keeps its settings elsewhere than /var/lib/ravelox"
    desktop-file-validate "$source/packaging/ravelox.desktop" || fail "desktop-file-validate"
    if [ "$have_ravelox" = 1 ]; then
        desktop-file-validate "$prefix/share/applications/ravelox.desktop" || fail "desktop-file-validate"
    fi

    check_version "$prefix/bin/ravelox-cli"
    [ "$have_ravelox" = 1 ] && check_version "$prefix/bin/ravelox"

    # An installed program keeps its writable files in the per-user folder.
    before=$(ls "$prefix/bin")
    in_netns "$prefix/bin/ravelox-cli" respond --duration 1 >"$tmp/respond.log" 2>&1 ||
        { cat "$tmp/respond.log"; fail "installed ravelox-cli respond"; }
    [ -d "$tmp/home/.config/ravelox" ] || fail "no per-user folder $tmp/home/.config/ravelox"
    [ "$(ls "$prefix/bin")" = "$before" ] || fail "the installed program wrote beside itself: $(ls "$prefix/bin")"
    echo "ok: installed into $prefix"
    ;;
deb)
    cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
        { cat "$tmp/cpack.log"; fail "cpack"; }
    deb=$(ls "$tmp"/pkg/ravelox_"$version"_*.deb) || fail "no package ravelox_${version}_*.deb"
    dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$tmp/contents"
    for f in $(expected /usr); do
        grep -qx "$f" "$tmp/contents" || { cat "$tmp/contents"; fail "the package lacks $f"; }
    done
    grep -qx /usr/share/ravelox/ "$tmp/contents" || fail "the package lacks /usr/share/ravelox/"
    for dir in "$build"/bin/*/; do
        [ -d "$dir" ] || continue
        for f in "$dir"*; do
            [ -f "$f" ] || continue
            path=/usr/share/ravelox/$(basename "$dir")/$(basename "$f")
            grep -qx "$path" "$tmp/contents" || fail "the package lacks $path"
        done
    done
    depends=$(dpkg-deb --field "$deb" Depends)
    case $depends in *libqt6core6*) ;; *) fail "Depends lacks Qt: $depends" ;; esac
    [ "$(dpkg-deb --field "$deb" Package)" = ravelox ] || fail "package name"
    [ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "package version"
    dpkg-deb -x "$deb" "$tmp/root"
    check_version "$tmp/root/usr/bin/ravelox-cli"
    [ "$have_ravelox" = 1 ] && check_version "$tmp/root/usr/bin/ravelox"
    echo "ok: $(basename "$deb"): $depends"
    ;;
*) fail "mode install or deb" ;;
esac
