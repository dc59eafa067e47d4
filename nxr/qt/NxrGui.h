#pragma once
// The GUI side of our session library that the console calls.

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>

#include "nxr/INxrSession2.h"
#include "nxr/NxrLib.h"

class QWidget;

namespace quillpad {

// The session's error text for the request (0: the last open or send) in a
// message box captioned "Error".
void NxrShowStandardError(const INxrSession2* session, QWidget* window, std::uint32_t requestId);

// Opens the user guide at the topic (1007 the console, 1054 the style
// editor, 1055 the Log Files dialog, 1038 the shortcut dialog), in the
// program's help window (CNxrHelpWindow). `text` and `flags` are accepted as
// the console passes them (no text, 15). False when the guide cannot be
// found or opened.
bool NxrGUIShowHelp(const char* text, int flags, int topic, QWidget* window);

// Shows the dialog of an ability group for the session that AbilityInfo
// gave `a` and `b` (its handle); modal. `method` 0 is the only one. False
// when that session is gone or closed, or the group is unknown.
bool NxrGUIHandleAbility(std::uint32_t a, std::uint32_t b, EAbilityGroup group, int method);

// Asks the session's question in a modal dialog owned by `window`; true with
// `answer` filled when the user answered, false when the dialog was closed.
bool NxrGUIHandleQuery(int queryType, const WideString& prompt, WideString& answer,
                       QWidget* window);

// Where NxrGUIShowHelp sends its address (by default the help window); tests
// replace it. Returns the old one.
using NxrUrlOpener = std::function<bool(const QUrl&)>;
NxrUrlOpener NxrSetHelpOpener(NxrUrlOpener opener);

}  // namespace quillpad
