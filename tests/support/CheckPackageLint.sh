#!/usr/bin/env bash
# The built .deb as Debian's tools judge it: lintian at its default level
# (no error, no warning), desktop-file-validate without a hint on every
# desktop entry, appstreamcli on the AppStream data; and what they do not
# look at: the icon's renders are the size their folder says, and every
# binary's debug information is in the -dbgsym package.
#   CheckPackageLint.sh PACKAGE_DIR        (exit 77: a validator is missing)
set -euo pipefail
dir=$1
missing=()
for tool in lintian desktop-file-validate appstreamcli file; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "SKIPPED: ${missing[*]} not installed (tools/install-deps.sh installs them)"
    exit 77
fi
deb=$(ls "$dir"/quillpad_*.deb)
ddeb=$(ls "$dir"/quillpad-dbgsym_*.ddeb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# lintian warns that it runs as root; what it says of the package is on stdout.
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>"$work/lintian.err" ||
    fail "lintian: $(cat "$work/lintian.txt" "$work/lintian.err")"

root="$work/root"
dpkg-deb -x "$deb" "$root"
entries=("$root"/usr/share/applications/*.desktop)
[ -e "${entries[0]}" ] || fail "no desktop entry in the package"
for entry in "${entries[@]}"; do
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate has something to say: $out"
done

metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ -e "${metainfo[0]}" ] || fail "no AppStream metainfo in the package"
for data in "${metainfo[@]}"; do
    out=$(appstreamcli validate --no-net "$data" 2>&1) || fail "appstreamcli: $out"
    # The launchable names a desktop entry the package holds.
    launch=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$data")
    [ -e "$root/usr/share/applications/$launch" ] || fail "the launchable $launch is not installed"
done

# The icon the desktop entry names, in every hicolor size, each that size.
icon=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/workbay.desktop")
[ -e "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable $icon icon"
for size in 16 22 24 32 48 64 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    if [ ! -e "$png" ]; then
        fail "no ${size}x${size} $icon icon"
    elif ! file "$png" | grep -q "PNG image data, $size x $size,"; then
        fail "$(file "$png")"
    fi
done

# Stripped programs, their debug information apart: one .debug file in the
# -dbgsym package for each build id of the package's ELF files.
dpkg-deb -c "$ddeb" >"$work/dbgsym.txt"
ids=0
while IFS= read -r elf; do
    id=$(LC_ALL=C readelf -n "$elf" | sed -n 's/.*Build ID: \([0-9a-f]*\)/\1/p')
    [ -n "$id" ] || { fail "$elf has no build id"; continue; }
    ids=$((ids + 1))
    grep -q "usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" "$work/dbgsym.txt" ||
        fail "no debug information for ${elf#"$root"} in $(basename "$ddeb")"
done < <(find "$root" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print)
[ "$ids" -ge 5 ] || fail "only $ids ELF files in the package"

if [ "$failures" -ne 0 ]; then
    echo "$failures package checks failed" >&2
    exit 1
fi
echo "lintian, desktop-file-validate and appstreamcli pass on $(basename "$deb")"
