#pragma once
// Private message numbers. Every number the console uses is defined here once.

#include <cstdint>

namespace quillpad {

using MessageId = std::uint32_t;

// Of the control.
inline constexpr MessageId UM_CONNECT = 0x401;
inline constexpr MessageId UM_NO_CONSOLE = 0x404;
inline constexpr MessageId UM_SEND_CHAR = 0x405;
inline constexpr MessageId UM_SHOW_ERROR = 0x406;
inline constexpr MessageId UM_CANCEL_REQUEST = 0x407;
inline constexpr MessageId UM_SEND_TEXT = 0x408;
inline constexpr MessageId UM_ABILITY_GROUP = 0x409;
inline constexpr MessageId UM_ABILITY = 0x40a;
inline constexpr MessageId UM_TOGGLE_HEX = 0x40b;
inline constexpr MessageId UM_SEND_BYTES = 0x40c;
inline constexpr MessageId UM_HISTORY_POPUP = 0x4ca;
// Ours: a message box, posted so that its modal loop never runs inside the
// handler that found the fault (payload: SMessageBox in session/ISessionUi.h).
inline constexpr MessageId UM_SHOW_MESSAGE = 0x4cb;
// Ours: a line sequence to play, in turn with the sends posted before it
// (payload: std::vector<SNxrLineStep>, nxr/NxrLineScript.h).
inline constexpr MessageId UM_PLAY_LINES = 0x4d8;
// Ours: asks for a time and scrolls to it, posted so that the question's
// modal loop never runs inside a key or menu handler.
inline constexpr MessageId UM_GO_TO_TIME = 0x4d9;
// Ours: asks how to share the link and asks the session to, posted for the
// same reason.
inline constexpr MessageId UM_SHARE_LINK = 0x4da;
// Ours: a periodic send's count or its end, as the session told it, for the
// send panel (payload: SSendRepeatNews, control/qt/CSendPanelDock.h).
inline constexpr MessageId UM_SEND_REPEAT = 0x4dc;

// Of the console view.
inline constexpr MessageId UM_APPEND_RECORD = 0x464;
// A view's answer to UM_APPEND_RECORD in a replay: it has taken every record
// the store holds, so the replay may stop.
inline constexpr std::int64_t kAppendTookAll = 1;
inline constexpr MessageId UM_SET_SCHEME = 0x4c9;

// Of the data store.
inline constexpr MessageId UM_FILL_VIEW = 0x465;
inline constexpr MessageId UM_REGISTER_VIEW = 0x466;
inline constexpr MessageId UM_REGISTER_OWN_ID = 0x467;
inline constexpr MessageId UM_SAVE_BUFFER = 0x468;
inline constexpr MessageId UM_SET_LOGGING = 0x469;
inline constexpr MessageId UM_LOAD_LOG = 0x46b;
inline constexpr MessageId UM_GET_RECORD = 0x46c;
inline constexpr MessageId UM_GET_RECORD_TIME = 0x46d;
inline constexpr MessageId UM_GET_START_TICK = 0x46e;
// Ours: posted by the store to itself while it reads a loaded log's heads
// in parts (wParam = its generation), so the console runs between them.
inline constexpr MessageId UM_LOAD_MORE = 0x4db;
// Ours: posted by the store to itself when a loaded log's file changed on
// disk (wParam = its generation).
inline constexpr MessageId UM_LOG_CHANGED = 0x4dd;

// Handled by both the store and the view.
inline constexpr MessageId UM_CLEAR_DATA = 0x4c8;

}  // namespace quillpad
