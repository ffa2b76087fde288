#!/usr/bin/env bash
# Builds the codec benchmark's corpus from files of Debian packages: Windows DLLs (one of them
# 27 MB), ELF programs, documentation, fonts, PNG icons and CMake's script modules, about 117 MB
# in 2,240 files, of which 2,157 are at most 64 KB. Fetches the packages with
# apt-get download and unpacks them with dpkg-deb; the result is a folder, never committed.
#   bench/make_corpus.sh [OUT=build/corpus]
# prints the folder with the files (OUT/files).
set -eu
cd "$(dirname "$0")/.."
out=${1:-build/corpus}
mkdir -p "$out/debs"
out=$(cd "$out" && pwd)

# package=version: the versions are pinned so the corpus stays the same from run to run. When the
# archive no longer has a version, the current one is taken and a note says so.
packages=(
    libwine=8.0~repack-4
    valgrind=1:3.19.0-1
    fonts-dejavu-core=2.37-6
    adwaita-icon-theme=43-1
    cmake-data=3.25.1-1
)
# What to keep of each package (paths inside it; shell patterns allowed).
keep_libwine="usr/lib/x86_64-linux-gnu/wine/x86_64-windows/c* usr/lib/x86_64-linux-gnu/wine/x86_64-windows/mshtml.dll"
keep_valgrind="usr/libexec/valgrind/*-linux usr/share/doc/valgrind"
keep_fonts_dejavu_core="usr/share/fonts"
keep_adwaita_icon_theme="usr/share/icons/Adwaita/48x48"
keep_cmake_data="usr/share/cmake-3.25/Modules"

cd "$out/debs"
for pin in "${packages[@]}"; do
    name=${pin%%=*}
    if ! ls "${name}"_*.deb >/dev/null 2>&1; then
        apt-get download "$pin" >/dev/null 2>&1 || {
            echo "note: $pin is not available, taking the current $name" >&2
            apt-get download "$name" >/dev/null
        }
    fi
done

rm -rf "$out/unpacked" "$out/files"
mkdir -p "$out/unpacked" "$out/files"
for pin in "${packages[@]}"; do
    name=${pin%%=*}
    dpkg-deb -x "$(ls "${name}"_*.deb | head -1)" "$out/unpacked/$name"
    var="keep_${name//-/_}"
    (
        cd "$out/unpacked/$name"
        for pattern in ${!var}; do
            for path in $pattern; do
                [ -e "$path" ] || continue
                mkdir -p "$out/files/$name/$(dirname "$path")"
                cp -a "$path" "$out/files/$name/$(dirname "$path")/"
            done
        done
    )
done
rm -rf "$out/unpacked"
# Links would be counted twice or not at all; the benchmark reads regular files only.
find "$out/files" -type l -delete
count=$(find "$out/files" -type f | wc -l)
small=$(find "$out/files" -type f -size -65537c | wc -l)
bytes=$(find "$out/files" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
echo "corpus: $count files ($small of at most 64 KB), $bytes bytes" >&2
echo "$out/files"
