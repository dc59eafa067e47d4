#!/usr/bin/env bash
# The shell completion scripts of the package: each is valid bash, and, loaded
# the way bash-completion loads it, completes options, connection specs,
# serial devices and files by extension.
#   CheckCompletion.sh SOURCE_DIR BUILD_DIR [--stubs]
set -uo pipefail
source_dir=$1
build=$2
scripts="$source_dir/packaging/completion"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

for name in quillpad-console quillpad-log workbay; do
    bash -n "$scripts/$name" || fail "$name does not parse"
done

# --stubs tries the stand-ins even where bash-completion is installed.
if [ "${3:-}" != --stubs ] && [ -r /usr/share/bash-completion/bash_completion ]; then
    # shellcheck disable=SC1091
    source /usr/share/bash-completion/bash_completion
else
    echo "without bash-completion: its helpers are stood in for"
    # The few helpers the scripts call, as bash-completion defines them.
    _init_completion() {
        local line=${COMP_LINE:0:COMP_POINT}
        read -r -a words <<<"$line"
        [[ $line == *' ' ]] && words+=("")
        cword=$((${#words[@]} - 1))
        cur=${words[cword]}
        prev=${words[cword - 1]:-}
    }
    _filedir() {
        local IFS=$'\n' f
        for f in $(compgen -f -- "$cur"); do
            if [[ -d $f ]]; then
                COMPREPLY+=("$f")
            elif [[ -z ${1:-} || $f == *."$1" ]]; then
                COMPREPLY+=("$f")
            fi
        done
    }
    __ltrim_colon_completions() {
        if [[ $1 == *:* && $COMP_WORDBREAKS == *:* ]]; then
            local prefix=${1%"${1##*:}"} i
            for i in "${!COMPREPLY[@]}"; do
                COMPREPLY[i]=${COMPREPLY[i]#"$prefix"}
            done
        fi
    }
fi
COMP_WORDBREAKS=${COMP_WORDBREAKS:-$' \t\n"\'><=;|&(:'}

for name in quillpad-console quillpad-log workbay; do
    # shellcheck disable=SC1090
    source "$scripts/$name"
done

# What the completion offers for the line, one word a line, sorted; split into
# words as bash splits it (blanks, then its word-break characters).
offers() {
    local line=$1 word rest
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMP_WORDS=()
    read -r -a blank <<<"$line"
    [[ $line == *' ' ]] && blank+=("")
    for word in "${blank[@]}"; do
        rest=$word
        while [[ $rest == *[:=]* ]]; do
            local head=${rest%%[:=]*}
            [[ -n $head ]] && COMP_WORDS+=("$head")
            COMP_WORDS+=("${rest:${#head}:1}")
            rest=${rest:${#head}+1}
        done
        [[ -n $rest || $word == "" || $word == *[:=] ]] && COMP_WORDS+=("$rest")
    done
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    local spec fn
    spec=$(complete -p "${blank[0]}") || return
    fn=${spec#*-F }
    fn=${fn%% *}
    "$fn" "${blank[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]:-}" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {  # expect LINE WORD...: each word is offered
    local line=$1 got w
    shift
    got=$(offers "$line")
    for w in "$@"; do
        grep -qxF -- "$w" <<<"$got" || fail "'$line' does not offer '$w' (offers: $(echo $got))"
    done
}
expect_not() {  # expect_not LINE WORD...: no word is offered
    local line=$1 got w
    shift
    got=$(offers "$line")
    for w in "$@"; do
        if grep -qxF -- "$w" <<<"$got"; then fail "'$line' offers '$w'"; fi
    done
}

# Every option a program's --help names is offered for "--", and a partial
# option narrows the offer.
export ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
for pair in quillpad-console:tools/console/quillpad-console quillpad-log:tools/quillpad-log \
            workbay:host/workbay; do
    name=${pair%%:*}
    program="$build/${pair#*:}"
    if [ ! -x "$program" ]; then
        fail "$program is missing"
        continue
    fi
    options=$("$program" --help 2>&1 | grep -o -- '--[a-z0-9][a-z0-9-]*' | sort -u)
    [ -n "$options" ] || fail "$name --help names no option"
    case $name in
        quillpad-log) line="quillpad-log render --" ;;  # the options belong to the commands
        *) line="$name --" ;;
    esac
    for option in $options; do
        case $name:$option in
            quillpad-log:--json) expect "quillpad-log dump --" --json ;;
            quillpad-log:--from) expect "quillpad-log style new --" --from ;;
            quillpad-log:--hex | quillpad-log:--regex | quillpad-log:--ignore-case | \
                quillpad-log:--direction | quillpad-log:--count)
                expect "quillpad-log find --" "$option" ;;
            *) expect "$line" "$option" ;;
        esac
    done
done
expect "quillpad-console --xm" --xmodem-send --xmodem-1k --xmodem-receive
expect_not "quillpad-console --xm" --window --break
expect "workbay --re" --register
expect_not "workbay --re" --connect --unregister
expect "quillpad-log " dump render style find
expect "quillpad-log find --direction " in out
expect "quillpad-log render --as " text plain ansi html
expect "quillpad-log render --stamps " absolute start delta
expect "quillpad-log style " show new

# Connection specs: the kinds, then the devices after "serial:" (a
# pseudo-terminal made for the test is one), then the fields after a comma.
expect "quillpad-console " serial: tcp: telnet: sim:
expect "quillpad-console te" telnet:
expect_not "quillpad-console te" tcp: serial:
expect "workbay --connect s" serial: sim:
work=$(mktemp -d)
socat_pid=
cleanup() {
    [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
if command -v socat >/dev/null; then
    socat pty,link="$work/pty0" pty,link="$work/pty1" &
    socat_pid=$!
    for _ in $(seq 50); do [ -e "$work/pty0" ] && break; sleep 0.1; done
    device=$(readlink "$work/pty0")
    # bash replaces only the part after the last colon.
    expect "quillpad-console serial:/dev/" "$device"
    expect "workbay --connect serial:/dev/pts/" "$device"
else
    echo "socat is not installed: no serial device to complete"
fi
expect "quillpad-console serial:/dev/ttyUSB0,11" /dev/ttyUSB0,115200
expect "quillpad-console serial:/dev/ttyUSB0,115200,fl" \
    /dev/ttyUSB0,115200,flow=rtscts /dev/ttyUSB0,115200,flow=xonxoff

# Files by extension: a log where a log is asked for, a style sheet where a
# style sheet is.
touch "$work/run1.wblog" "$work/notes.txt" "$work/My Style.tss" "$work/shot.png"
expect "quillpad-log dump $work/" "$work/run1.wblog"
expect_not "quillpad-log dump $work/" "$work/notes.txt" "$work/My Style.tss"
expect "quillpad-log render --style $work/" "$work/My Style.tss"
expect "quillpad-log find --count ERROR $work/" "$work/run1.wblog"
expect_not "quillpad-log find $work/" "$work/run1.wblog"
expect_not "quillpad-log render --style $work/" "$work/run1.wblog"
expect "workbay --screenshot $work/" "$work/shot.png"
expect_not "workbay --screenshot $work/" "$work/notes.txt"

if [ "$failures" -ne 0 ]; then
    echo "$failures completion checks failed" >&2
    exit 1
fi
echo "completion scripts parse and complete options, specs, devices and files"
