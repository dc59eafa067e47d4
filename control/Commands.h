#pragma once
// Command numbers of the console's menus, keys and right-click menu. A
// command reaches the same handler whichever of them it came from; what else
// there is to know of it is its row in the command table (CommandTable.h).

#include <cstdint>

namespace quillpad::cmd {

using CommandId = std::uint32_t;

inline constexpr CommandId EditStyles = 32768;
inline constexpr CommandId Reconnect = 32769;
inline constexpr CommandId Disconnect = 32770;
inline constexpr CommandId SendBreak = 32771;
inline constexpr CommandId XModemSend = 32772;
inline constexpr CommandId XModemReceive = 32773;
inline constexpr CommandId AsciiSend = 32774;
inline constexpr CommandId AsciiReceive = 32775;
inline constexpr CommandId ClearData = 32776;
inline constexpr CommandId EditSequenceKeys = 32777;
inline constexpr CommandId MakeDefault = 32778;
inline constexpr CommandId ToggleHexMode = 32781;
inline constexpr CommandId LoadLog = 32785;
inline constexpr CommandId GoBackOnline = 32787;
inline constexpr CommandId SaveBuffer = 32791;
inline constexpr CommandId StartLogging = 32792;
inline constexpr CommandId PauseLogging = 32793;
inline constexpr CommandId OutgoingCRToCRLF = 32794;
inline constexpr CommandId ShowRelatedData = 32795;
inline constexpr CommandId ShowCalendarTimestamp = 32796;
inline constexpr CommandId ShowRelativeTimestamp = 32797;
inline constexpr CommandId ShowDataDirection = 32798;
inline constexpr CommandId CommandHistory = 32799;
inline constexpr CommandId TransmitArrows = 32800;
// Ours: the history kept in the data directory between sessions.
inline constexpr CommandId KeepCommandHistory = 32801;
// Ours: empties the history, in memory and in its file.
inline constexpr CommandId ForgetCommandHistory = 32802;
// Ours: shows or hides the send panel beside the console.
inline constexpr CommandId SendPanel = 32830;
// Ours: patterns watched for and what they do; a Lua script run on the link.
inline constexpr CommandId Triggers = 32831;
inline constexpr CommandId RunScript = 32832;
// Ours: the modem lines of a serial link, and a break of a chosen length.
inline constexpr CommandId LineDtr = 32820;
inline constexpr CommandId LineRts = 32821;
inline constexpr CommandId PulseDtr = 32822;
inline constexpr CommandId PulseRts = 32823;
inline constexpr CommandId ResetPulse = 32824;
inline constexpr CommandId BreakLength = 32825;
// Ours: gives up waiting for a lost link to come back.
inline constexpr CommandId StopWaiting = 32826;
// Ours: the find bar.
inline constexpr CommandId Find = 32803;
// Ours: shows the first record at or after a time the user types.
inline constexpr CommandId GoToTime = 32804;
// Ours: serves the link to TCP clients, or stops serving it while it is shared.
inline constexpr CommandId ShareLink = 32805;
// Ours: time stamps at the start of each line, cycled by Alt+T, and the gap
// that starts a burst in text without lines.
inline constexpr CommandId StampsOff = 32840;
inline constexpr CommandId StampsAbsolute = 32841;
inline constexpr CommandId StampsSinceStart = 32842;
inline constexpr CommandId StampsSincePrevious = 32843;
inline constexpr CommandId CycleStamps = 32844;
inline constexpr CommandId StampGap10 = 32845;
inline constexpr CommandId StampGap100 = 32846;
inline constexpr CommandId StampGap1000 = 32847;
// Ours: shows or hides the hex dump of the history beside the console.
inline constexpr CommandId HexPane = 32850;

// One entry per style, then per key set file.
inline constexpr CommandId FirstStyle = 34000;
inline constexpr CommandId LastStyle = 34099;
inline constexpr CommandId FirstKeySet = 34100;
inline constexpr CommandId LastKeySet = 34198;
inline constexpr CommandId NoKeySetFiles = 34199;

// The right-click menu's own items.
inline constexpr CommandId ContextCopy = 1000;
inline constexpr CommandId ContextPaste = 1001;
inline constexpr CommandId ContextClear = 1002;

inline constexpr bool IsStyleCommand(CommandId id) {
    return id >= FirstStyle && id <= LastStyle;
}
inline constexpr bool IsKeySetCommand(CommandId id) {
    return id >= FirstKeySet && id <= NoKeySetFiles;
}

}  // namespace quillpad::cmd
