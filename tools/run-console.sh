#!/usr/bin/env bash
# Starts the most complete console program that the build has, connected to
# the built-in simulated controller, and says plainly what is still missing.
set -uo pipefail
dir=${1:-build/release}

# Most complete first: "program|what it is|arguments|what it still lacks".
candidates=(
    "$dir/host/workbay|the Workbay host with a Quillpad console|--connect sim:|"
    "$dir/tools/console/quillpad-console|the console control on the simulated controller|sim: --window|the Workbay host"
    "$dir/tools/viewer/quillpad-viewer|the console view on generated traffic|--live 20|the connection to a device (the device session), the control and the Workbay host"
)

chosen=""
for c in "${candidates[@]}"; do
    IFS='|' read -r exe what args lacks <<<"$c"
    if [ -x "$exe" ]; then
        chosen="$exe"
        break
    fi
done

if [ -z "$chosen" ]; then
    echo "Quillpad cannot start a console yet: the build has no console program." >&2
    echo "What exists is covered by 'make test' and 'make bench'." >&2
    exit 2
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set." >&2
    echo "Run it under a virtual display instead, for example:" >&2
    echo "  xvfb-run -a $chosen $args" >&2
    exit 2
fi

# The host finds the console through its registration: register the plug-in
# just built, so the host loads this build's console and no other.
if [ "$(basename "$chosen")" = workbay ]; then
    if ! "$chosen" --register "$(cd "$dir" && pwd)/plugins/libquillpad2.so"; then
        echo "Cannot register the console's plug-in $dir/plugins/libquillpad2.so." >&2
        exit 2
    fi
fi

echo "Starting $what: $chosen $args"
if [ -n "$lacks" ]; then
    echo "Not there yet: $lacks."
fi
# shellcheck disable=SC2086
exec "$chosen" $args
