#!/usr/bin/env bash
# Pallimor in the browser: the core built to WebAssembly with Debian's emscripten, the page beside
# it, in build-web/ (a static site any web server can host).
#   web.sh --build        builds build-web/ (zlib, libpng and libjpeg-turbo from Debian's source
#                         packages, the core twice: with worker threads and without)
#   web.sh [--port N]     builds when needed, then serves build-web/ on localhost with the headers
#                         that allow threads (cross-origin isolation)
#   web.sh --bench        a default texture in headless chromium on one and two threads against
#                         the native CLI (needs the release build's pallimor-cli)
# The brush archive comes from a native build: PALLIMOR_WEB_NATIVE or build/ when it is configured,
# else one of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-web
work=$out/.work # sources, libraries and object files; not part of the site
port=${PALLIMOR_WEB_PORT:-8642}
# Debian's emscripten runs its JavaScript tools with node and the acorn parser Debian ships in
# /usr/share/nodejs, which a node from elsewhere does not search by itself.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
jobs=${PALLIMOR_WEB_JOBS:-2}

say() { echo "web.sh: $*" >&2; }

need_tools() {
    local tool
    for tool in emcc emcmake emar apt-get cmake ninja; do
        command -v "$tool" >/dev/null || {
            say "$tool is missing; scripts/deps.sh test installs it"
            exit 1
        }
    done
}

# Makes apt-get source work: a deb-src entry for the main archive, with the keyring the
# machine's own entry uses (apt refuses two Signed-By for one source).
ensure_deb_src() {
    [ -n "$(apt-cache showsrc zlib 2>/dev/null)" ] && return 0
    local sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    say "adding deb-src for bookworm main (/etc/apt/sources.list.d/pallimor-src.sources)"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
        $sudo_cmd tee /etc/apt/sources.list.d/pallimor-src.sources >/dev/null
    $sudo_cmd apt-get update -qq
}

# fetch SOURCE BINARY: Debian's source package SOURCE unpacked under $work/src, at the version of
# the installed BINARY package the native build links (the bytes written must be the same), else
# at a version the main archive serves (the security archive may not hold the source).
fetch() {
    local source=$1 binary=$2 version dir
    dir=$(find "$work/src" -maxdepth 1 -type d -name "$source-*" -print -quit 2>/dev/null || true)
    if [ -n "$dir" ]; then
        echo "$dir"
        return
    fi
    ensure_deb_src
    mkdir -p "$work/src"
    local versions
    versions=$(dpkg-query -W -f='${source:Version}\n' "$binary" 2>/dev/null || true)
    versions+=" $(apt-cache showsrc "$source" | sed -n 's/^Version: //p')"
    for version in $versions; do
        if (cd "$work/src" && apt-get source -qq --only-source "$source=$version" >&2 2>/dev/null); then
            find "$work/src" -maxdepth 1 -type d -name "$source-*" -print -quit
            return
        fi
        say "apt-get source $source=$version failed; trying another version"
    done
    say "cannot fetch the source of $source"
    exit 1
}

# deps VARIANT FLAGS: zlib, libpng and libjpeg-turbo for wasm in $work/deps-VARIANT.
build_deps() {
    local variant=$1 flags=$2
    local prefix=$work/deps-$variant
    [ -f "$prefix/done" ] && return
    rm -rf "$prefix"
    mkdir -p "$prefix/include" "$prefix/lib"
    local zlib png jpeg
    zlib=$(fetch zlib zlib1g)
    png=$(fetch libpng1.6 libpng16-16)
    jpeg=$(fetch libjpeg-turbo libjpeg62-turbo)

    say "zlib for wasm ($variant)"
    local obj=$work/obj-$variant/zlib f
    mkdir -p "$obj"
    # As zlib's configure does: unistd.h and stdarg.h are there, so z_off_t is the 64-bit off_t
    # for the library and for every caller that includes zconf.h alike.
    sed -i -E 's@^#ifdef (HAVE_UNISTD_H|HAVE_STDARG_H) +/\* may be set to #if 1 by ./configure \*/@#if 1 /* \1 */@' \
        "$zlib/zconf.h"
    for f in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees \
        trees uncompr zutil; do
        emcc $flags -c "$zlib/$f.c" -o "$obj/$f.o"
    done
    emar rcs "$prefix/lib/libz.a" "$obj"/*.o
    cp "$zlib/zlib.h" "$zlib/zconf.h" "$prefix/include/"

    say "libpng for wasm ($variant)"
    emcmake cmake -S "$png" -B "$work/obj-$variant/png" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="$flags" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DZLIB_LIBRARY="$prefix/lib/libz.a" \
        -DZLIB_INCLUDE_DIR="$prefix/include" >/dev/null
    cmake --build "$work/obj-$variant/png" --target png_static -j"$jobs" >/dev/null
    cp "$work/obj-$variant/png/libpng16.a" "$prefix/lib/libpng.a"
    cp "$png/png.h" "$png/pngconf.h" "$work/obj-$variant/png/pnglibconf.h" "$prefix/include/"

    say "libjpeg-turbo for wasm ($variant)"
    emcmake cmake -S "$jpeg" -B "$work/obj-$variant/jpeg" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="$flags" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
        -DWITH_JAVA=OFF -DSIZE_T=4 -DHAVE_SIZE_T=TRUE -DUNSIGNED_LONG=4 -DHAVE_UNSIGNED_LONG=TRUE >/dev/null
    cmake --build "$work/obj-$variant/jpeg" --target jpeg-static -j"$jobs" >/dev/null
    cp "$work/obj-$variant/jpeg/libjpeg.a" "$prefix/lib/"
    cp "$jpeg/jpeglib.h" "$jpeg/jmorecfg.h" "$jpeg/jerror.h" "$work/obj-$variant/jpeg/jconfig.h" \
        "$prefix/include/"
    touch "$prefix/done"
}

# core VARIANT FLAGS THREADS: the core and the page's module, pallimor-VARIANT.js and .wasm.
build_core() {
    local variant=$1 flags=$2 threads=$3
    local prefix=$work/deps-$variant dir=$work/core-$variant
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    if [ ! -f "$dir/build.ninja" ]; then
        emcmake cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
            -DCMAKE_CXX_FLAGS="$flags -fexceptions -include $root/web/WebCompat.h" -DPALLIMOR_APP=OFF -DPALLIMOR_TESTS=OFF \
            -DPALLIMOR_BENCH=OFF -DPALLIMOR_SIMD=OFF -DPALLIMOR_WEB_NAME="pallimor-$variant" \
            -DPALLIMOR_WEB_THREADS="$threads" \
            -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
            -DPNG_LIBRARY="$prefix/lib/libpng.a" -DPNG_PNG_INCLUDE_DIR="$prefix/include" \
            -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" -DJPEG_INCLUDE_DIR="$prefix/include" >/dev/null
    fi
    say "the core for wasm ($variant)"
    cmake --build "$dir" --target pallimor_web -j"$jobs"
    cp "$dir/web/pallimor-$variant.js" "$dir/web/pallimor-$variant.wasm" "$out/"
    if [ -f "$dir/web/pallimor-$variant.worker.js" ]; then cp "$dir/web/pallimor-$variant.worker.js" "$out/"; fi
}

# The brush archive, drawn by the native mkvorn.
build_archive() {
    local native=${PALLIMOR_WEB_NATIVE:-$root/build}
    if [ ! -f "$native/build.ninja" ] && [ ! -f "$native/Makefile" ]; then
        native=$work/host
        [ -f "$native/build.ninja" ] ||
            cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPALLIMOR_APP=OFF \
                -DPALLIMOR_TESTS=OFF -DPALLIMOR_BENCH=OFF >/dev/null
    fi
    say "the brush archive (native mkvorn in $native)"
    cmake --build "$native" --target vorn_dat -j"$jobs" >/dev/null
    cp "$native/vorn.dat" "$out/"
}

build() {
    need_tools
    mkdir -p "$out" "$work"
    build_deps st "-O2"
    build_deps mt "-O2 -pthread"
    build_core st "" OFF
    build_core mt "-pthread" ON
    build_archive
    cp "$root/data/palettes.txt" "$root/data/presets.txt" "$root"/web/*.html "$root"/web/*.css "$root"/web/*.js \
        "$out/"
    say "built $out: $(du -sh --exclude=.work "$out" | cut -f1) of site"
}

built() {
    local f
    for f in index.html pallimor.js pallimor-st.wasm pallimor-mt.wasm vorn.dat palettes.txt presets.txt; do
        [ -f "$out/$f" ] || return 1
    done
    # Stale when any page or core source or shipped data file is newer than the site.
    [ -z "$(find "$root/web" "$root/gen" "$root/export" "$root/archive" "$root/engine" "$root/io" \
        "$root/pixel" "$root/data/palettes.txt" "$root/data/presets.txt" -newer "$out/pallimor-st.wasm" \
        -type f -print -quit)" ]
}

serve() {
    built || build
    say "serving $out at http://localhost:$port/ (Ctrl+C stops)"
    exec /usr/bin/python3 "$root/scripts/web_serve.py" "$out" "$port"
}

case "${1:-}" in
--build) build ;;
--bench) built || build; exec /usr/bin/python3 "$root/tests/web/web_bench.py" "$root" ;;
--port) port=$2; serve ;;
"") serve ;;
*)
    echo "usage: web.sh [--build | --bench | --port N]" >&2
    exit 2
    ;;
esac
