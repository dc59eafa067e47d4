#!/usr/bin/env bash
# Unpacks the built .deb into a temporary root (as dpkg would install it,
# without touching the system), and starts the installed host offscreen with
# one console on the simulated controller: it must find and register its own
# plug-in, connect, and draw the device's greeting.
#   CheckPackage.sh PACKAGE_DIR   (the packaging.BuildPackage test fills it)
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

deb=$(ls "$1"/quillpad_*.deb)
info=$(dpkg-deb --info "$deb")
grep -q 'Depends:.*libqt6' <<<"$info" || {
    echo "the package does not depend on Qt" >&2
    exit 1
}
root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/workbay usr/bin/quillpad-console usr/bin/quillpad-log usr/bin/quillpad-devsim \
         usr/share/applications/workbay.desktop \
         usr/share/icons/hicolor/scalable/apps/workbay.svg \
         usr/share/doc/quillpad/USER_GUIDE.html usr/share/doc/quillpad/copyright \
         usr/share/bash-completion/completions/quillpad-console; do
    [ -e "$root/$f" ] || { echo "missing from the package: $f" >&2; exit 1; }
done

# Every program has its manual page, which renders without a warning, and
# answers --help and --version with status 0.
export ASAN_OPTIONS=detect_leaks=0
for p in workbay quillpad-console quillpad-log quillpad-devsim; do
    page="$root/usr/share/man/man1/$p.1.gz"
    [ -e "$page" ] || { echo "missing from the package: the manual page of $p" >&2; exit 1; }
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "the manual page of $p: $warnings" >&2; exit 1; }
    for option in --help --version; do
        QT_QPA_PLATFORM=offscreen "$root/usr/bin/$p" "$option" >"$work/option.out" 2>&1 || {
            cat "$work/option.out" >&2
            echo "$p $option did not exit 0" >&2
            exit 1
        }
    done
    grep -q . "$work/option.out" || { echo "$p --version printed nothing" >&2; exit 1; }
done

plugin=$(find "$root/usr/lib" -path '*/workbay/plugins/libquillpad2.so' | head -n 1)
[ -n "$plugin" ] || { echo "missing from the package: the plug-in library" >&2; exit 1; }

# A fresh user: nothing registered, no workspace.
export WORKBAY_HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
"$root/usr/bin/workbay" --connect sim: --screenshot "$work/shot.png" --after 30000 \
    >"$work/run.log" 2>&1 || {
    cat "$work/run.log" >&2
    echo "the installed host did not show a console on sim:" >&2
    exit 1
}
[ -s "$work/shot.png" ] || { echo "no screenshot" >&2; exit 1; }
grep -q "$root/usr/lib/.*libquillpad2.so" "$work/home/registry/HKEY_CURRENT_USER.hive" || {
    echo "the installed plug-in was not registered" >&2
    exit 1
}
echo "installed package runs a console on sim:"
