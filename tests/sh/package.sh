#!/usr/bin/env bash
# The Debian package: made by the package target, its control fields and exact file list, icons of
# the sizes their folders name, one version everywhere, programs that work from the unpacked tree
# and look for the archive in /usr/share/pallimor, man pages that render cleanly, the bash
# completion, and the validators (desktop-file-validate, appstreamcli, lintian) where installed.
# Needs no root: the package is only unpacked.
# Usage: package.sh BUILD_DIR. Exits 77 (skipped) in a sanitizer tree, since the package comes
# from a release tree of its own either way.
set -uo pipefail
build=$(cd "${1:?usage: package.sh BUILD_DIR}" && pwd)
if grep -Eq '^PALLIMOR_(SANITIZE|TSAN):BOOL=ON' "$build/CMakeCache.txt"; then
    echo "package: skipped in a sanitizer tree"
    exit 77
fi
source "$(dirname "$0")/../support/shell_test.sh"

version=$("$build/pallimor-cli" --version | sed -n 's/^pallimor-cli //p')
[ -n "$version" ] || { echo "FAIL: pallimor-cli --version names no version" >&2; exit 1; }
deb="$build/pallimor_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
if ! cmake --build "$build" --target package >"$work/build.log" 2>&1; then
    tail -n 30 "$work/build.log" >&2
    echo "FAIL: the package target failed" >&2
    exit 1
fi
[ -f "$deb" ] || { echo "FAIL: no $deb" >&2; exit 1; }

# Control fields; the dependencies come from dpkg-shlibdeps.
[ "$(dpkg-deb -f "$deb" Package)" = pallimor ] || fail "Package is not pallimor"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libjpeg62-turbo libpng16-16 zlib1g libstdc++6 qt6-qpa-plugins; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

# Every file, owned by root.
expected="./usr/bin/pallimor
./usr/bin/pallimor-cli
./usr/share/applications/org.pallimor.Pallimor.desktop
./usr/share/bash-completion/completions/pallimor-cli
./usr/share/doc/pallimor/changelog.gz
./usr/share/doc/pallimor/copyright
./usr/share/man/man1/pallimor-cli.1.gz
./usr/share/man/man1/pallimor.1.gz"
for size in 128 16 22 24 256 32 48 64; do
    expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/pallimor.png"
done
expected+="
./usr/share/icons/hicolor/scalable/apps/pallimor.svg
./usr/share/metainfo/org.pallimor.Pallimor.metainfo.xml
./usr/share/pallimor/palettes.txt
./usr/share/pallimor/presets.txt
./usr/share/pallimor/vorn-ink.dat
./usr/share/pallimor/vorn-shapes.dat
./usr/share/pallimor/vorn.dat"
# The Python module, built where Debian's pybind11 is installed, for Debian's python3.
python_module=""
if [ -f /usr/lib/cmake/pybind11/pybind11Config.cmake ]; then
    python_module="./usr/lib/python3/dist-packages/pallimor$(/usr/bin/python3 -c \
        'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')"
    expected+=$'\n'"$python_module"
    for dep in python3-numpy "python3 (>= 3.11)"; do
        [[ "$depends" == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
    done
fi
dpkg-deb -c "$deb" >"$work/contents"
awk '$1 !~ /^d/ { print $6 }' "$work/contents" | sort >"$work/files"
diff -u <(sort <<<"$expected") "$work/files" >&2 || fail "the file list differs"
awk '$2 != "root/root" { print "  " $0 }' "$work/contents" | grep . >&2 && fail "files not owned by root"

root="$work/root"
dpkg-deb -x "$deb" "$root"

# The installed module draws a texture with the installed archive.
if [ -n "$python_module" ]; then
    shape=$(cd "$work" && PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
        "import pallimor; print(pallimor.generate(seed=1, size=64, archive='$root/usr/share/pallimor/vorn.dat').shape)") ||
        fail "the installed Python module does not draw"
    [ "$shape" = "(64, 64, 4)" ] || fail "the installed Python module answered $shape"
fi

# PNG icons: width and height (big-endian words at bytes 16 and 20) equal the folder's size.
for png in "$root"/usr/share/icons/hicolor/*x*/apps/pallimor.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    read -r w h < <(od -An -t u1 -j 16 -N 8 "$png" | awk '{ print $3 * 256 + $4, $7 * 256 + $8 }')
    [ "${w}x${h}" = "$size" ] || fail "icon in $size is ${w}x${h}"
done

# One version: the programs, the changelog and the newest release of the metainfo.
bin="$root/usr/bin"
[ "$("$bin/pallimor-cli" --version)" = "pallimor-cli $version" ] || fail "pallimor-cli --version"
# No display at all: --version and --help must not need one.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$bin/pallimor" --version 2>&1)
[ "$out" = "pallimor $version" ] || fail "pallimor --version printed: $out"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$bin/pallimor" --help 2>&1 | grep -q '^usage: pallimor' ||
    fail "pallimor --help"
zcat "$root/usr/share/doc/pallimor/changelog.gz" | head -n 1 | grep -qF "pallimor ($version)" ||
    fail "the changelog's first entry is not $version"
metainfo="$root/usr/share/metainfo/org.pallimor.Pallimor.metainfo.xml"
grep -m 1 '<release ' "$metainfo" | grep -qF "version=\"$version\"" || fail "the metainfo's newest release is not $version"

# The desktop file and the metainfo name one application id.
desktop="$root/usr/share/applications/org.pallimor.Pallimor.desktop"
grep -qx '<id>org.pallimor.Pallimor</id>' <(sed 's/^ *//' "$metainfo") || fail "metainfo id"
grep -qF '<launchable type="desktop-id">org.pallimor.Pallimor.desktop</launchable>' "$metainfo" ||
    fail "metainfo launchable"
grep -q '^Keywords=.' "$desktop" || fail "the desktop file has no Keywords"
grep -qx 'Icon=pallimor' "$desktop" || fail "the desktop file's icon is not pallimor"

# The unpacked CLI finds the packaged archive (../share/pallimor) and writes the bytes the build
# tree's CLI writes.
mkdir "$work/cwd"
(cd "$work/cwd" && "$bin/pallimor-cli" generate --seed 7 --size 64 --out packaged.png) || fail "the packaged CLI failed"
(cd "$work/cwd" && "$build/pallimor-cli" generate --seed 7 --size 64 --out built.png) || fail "the built CLI failed"
cmp -s "$work/cwd/packaged.png" "$work/cwd/built.png" || fail "the packaged CLI writes other bytes"
# and the three brush sets beside the archive.
[ "$(cd "$work/cwd" && "$bin/pallimor-cli" archive list | cut -d' ' -f1 | tr '\n' ' ')" = "default ink shapes " ] ||
    fail "the packaged CLI lists other brush sets: $(cd "$work/cwd" && "$bin/pallimor-cli" archive list)"

# The compiled-in data folder, seen from the file lookups of a lone copy of the CLI.
if command -v strace >/dev/null; then
    mkdir "$work/lone"
    cp "$bin/pallimor-cli" "$work/lone/"
    (cd "$work/cwd" && strace -f -e trace=%file -o "$work/strace.log" "$work/lone/pallimor-cli" generate --size 64 --out "$work/lone.png" \
        >/dev/null 2>&1)
    if grep -q 'vorn\.dat' "$work/strace.log" 2>/dev/null; then
        grep -q '"/usr/share/pallimor/vorn\.dat"' "$work/strace.log" ||
            fail "the packaged CLI does not look in /usr/share/pallimor: $(grep vorn "$work/strace.log")"
    else
        echo "package: strace cannot trace here; the data folder is not checked"
    fi
fi

# The man pages render without a warning and name every option --help names; the completion
# completes an option, a list value and a command.
for page in pallimor pallimor-cli; do
    file="$root/usr/share/man/man1/$page.1.gz"
    out=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null) && [ -z "$out" ] || fail "man $page: $out"
done
LC_ALL=C MANWIDTH=200 man -l "$root/usr/share/man/man1/pallimor-cli.1.gz" 2>/dev/null >"$work/cli.txt"
for option in $("$bin/pallimor-cli" generate --help | grep -o '^  --[a-z-]*'); do
    grep -qE -- "^ *$option( |$)" "$work/cli.txt" || fail "pallimor-cli(1) lacks $option"
done
completes() { # completes WANT WORD...: the completion of the last word offers exactly WANT
    local want=$1
    shift
    out=$(bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _pallimor_cli; echo "${COMPREPLY[*]}"' \
        _ "$root/usr/share/bash-completion/completions/pallimor-cli" pallimor-cli "$@")
    [ "$out" = "$want" ] || fail "completion of '$*': '$out', expected '$want'"
}
completes "generate" gen
completes "--effect" generate --eff
completes "shadow shift" generate --effect sh
completes "bmp png jpg" generate --out x --type ""

# Validators, where installed.
if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >"$work/appstream" 2>&1 ||
        fail "appstreamcli validate: $(cat "$work/appstream")"
    appstreamcli validate-tree --no-net "$root" >"$work/appstream" 2>&1 ||
        fail "appstreamcli validate-tree: $(cat "$work/appstream")"
fi
if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || fail "lintian: $(cat "$work/lintian")"
    cat "$work/lintian"
fi

finish "package ($(basename "$deb"))"
