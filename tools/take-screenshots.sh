#!/usr/bin/env bash
# Takes the dialog pictures of docs/screenshots/ from the real widgets on a
# virtual display. They are pictures to look at, not tests: the suite keeps
# them disabled, and this script runs them one by one.
#   tools/take-screenshots.sh [BUILD_DIR]     (default build/debug)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/debug}"
tests="$build/tests/quillpad_qt_tests"
out="docs/screenshots"
if [ ! -x "$tests" ]; then
    echo "take-screenshots: $tests is missing; run 'make build-debug' first" >&2
    exit 1
fi
command -v xvfb-run >/dev/null || { echo "take-screenshots: xvfb-run is missing (apt-get install xvfb)" >&2; exit 1; }

# The X keyboard library strndup()s buffers without a terminating zero, which the
# test programs' strict string checks report; pictures need neither those nor
# the leak check.
export ASAN_OPTIONS="strict_string_checks=0:detect_leaks=0"

shot() {  # shot TEST FILE [VAR=VALUE ...]
    local test="$1" file="$2"
    shift 2
    env QT_QPA_PLATFORM=xcb "$@" xvfb-run -a -s "-screen 0 1280x1024x24" "$tests" --gtest_also_run_disabled_tests \
        --gtest_filter="$test" --gtest_brief=1
    echo "take-screenshots: $file"
}

shot 'ConsoleStamps.DISABLED_Screenshots' "$out/console-stamps-*.png" \
    QUILLPAD_SCREENSHOT_DIR="$out"
shot 'ControlUi.DISABLED_AsciiSendDialogScreenshot' "$out/ascii-send-dialog.png" \
    QUILLPAD_SCREENSHOT="$out/ascii-send-dialog.png"
shot 'LogFilesDialog.DISABLED_Screenshot' "$out/log-files-dialog.png" \
    QUILLPAD_SCREENSHOT="$out/log-files-dialog.png"
shot 'ControlTransfers.DISABLED_Screenshot' "$out/file-progress-dialog.png" \
    QUILLPAD_SCREENSHOT="$out/file-progress-dialog.png"
shot 'WorkbayWindow.DISABLED_AboutScreenshot' "$out/about-workbay.png" \
    QUILLPAD_SCREENSHOT="$out/about-workbay.png"
shot 'ControlAbilities.DISABLED_Screenshot' "$out/ability-group-dialog.png" \
    QUILLPAD_SCREENSHOT_GROUP="$out/ability-group-dialog.png" \
    QUILLPAD_SCREENSHOT_QUERY="$out/question-dialog.png"
shot 'HelpWindowPicture.DISABLED_Screenshot' "$out/help-window.png" \
    QUILLPAD_SCREENSHOT="$out/help-window.png"
shot 'SendPanelDock.DISABLED_Screenshot' "$out/send-panel.png" \
    QUILLPAD_SCREENSHOT="$out/send-panel.png" \
    QUILLPAD_SCREENSHOT_DIALOG="$out/send-item-dialog.png"
shot 'ControlLines.DISABLED_Screenshot' "$out/workbay-menu-communications.png" \
    QUILLPAD_SCREENSHOT_MENU="$out/workbay-menu-communications.png" \
    QUILLPAD_SCREENSHOT_WAITING="$out/workbay-menu-stop-waiting.png" \
    QUILLPAD_SCREENSHOT_PULSE="$out/reset-pulse-dialog.png"
shot 'WorkbayConsole.DISABLED_FooterLampsScreenshot' "$out/footer-lamps.png" \
    QUILLPAD_SCREENSHOT="$out/footer-lamps.png"
shot 'TriggersDialog.DISABLED_Screenshot' "$out/triggers-dialog.png" \
    QUILLPAD_SCREENSHOT="$out/triggers-dialog.png"
shot 'TriggersAndScripts.DISABLED_Screenshot' "$out/quillpad-menu-scripts.png" \
    QUILLPAD_SCREENSHOT_MENU="$out/quillpad-menu-scripts.png" \
    QUILLPAD_SCREENSHOT_TASK="$out/script-task-window.png"
shot 'FindBarPicture.DISABLED_Screenshot' "$out/find-bar.png" \
    QUILLPAD_SCREENSHOT="$out/find-bar.png"
shot 'GoToTimeDialog.DISABLED_Screenshot' "$out/go-to-time-dialog.png" \
    QUILLPAD_SCREENSHOT="$out/go-to-time-dialog.png"
shot 'ShareLinkDialog.DISABLED_Screenshot' "$out/share-link-dialog.png" \
    QUILLPAD_SCREENSHOT="$out/share-link-dialog.png"
shot 'WorkbayConsole.DISABLED_FooterShareScreenshot' "$out/footer-share.png" \
    QUILLPAD_SCREENSHOT="$out/footer-share.png"
shot 'FindFilterPicture.DISABLED_Screenshot' "$out/find-filter.png" \
    QUILLPAD_SCREENSHOT="$out/find-filter.png"
shot 'HexPaneControl.DISABLED_Screenshot' "$out/hex-pane.png" \
    QUILLPAD_SCREENSHOT="$out/hex-pane.png"
shot 'MenuMnemonics.DISABLED_Screenshot' "$out/workbay-menu-quillpad.png" \
    QUILLPAD_SCREENSHOT_MENU="$out/workbay-menu-quillpad.png" \
    QUILLPAD_SCREENSHOT_CONTEXT="$out/workbay-context-menu.png"
shot 'StyleEditorDlg.DISABLED_OptionsScreenshots' "$out/style-editor-{patterns,pattern-error,stamps}.png" \
    QUILLPAD_SCREENSHOT_DIR="$out"
