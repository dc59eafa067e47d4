#pragma once
// What the device session shows the user and when it runs deferred work.
// The session logic is plain code; these two seams carry the parts that need
// a window system, so tests see every box without a modal loop.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "nxr/INxrSession2.h"

namespace quillpad {

enum class EMessageIcon { Information, Warning, Error };

// UM_SHOW_MESSAGE's payload.
struct SMessageBox {
    std::string caption;
    std::string text;
    EMessageIcon icon = EMessageIcon::Information;
};

class ISessionUi {
  public:
    virtual ~ISessionUi() = default;
    // The maker's standard error box: the session's words for the request
    // (0: no request was made; the last open or send).
    virtual void ShowStandardError(const INxrSession2* session, std::uint32_t requestId) = 0;
    // A message box with one OK button. Texts are the program's words and
    // file names, in the file system's encoding as the names are; no device
    // data is shown this way.
    virtual void ShowMessage(std::string_view caption, std::string_view text,
                             EMessageIcon icon) = 0;
};

class IDeferredCalls {
  public:
    virtual ~IDeferredCalls() = default;
    // Runs `call` on this thread after `delayMs`, from the event loop, never
    // from inside the caller. Calls still waiting when this object goes are
    // dropped.
    virtual void CallAfter(std::uint32_t delayMs, std::function<void()> call) = 0;
};

}  // namespace quillpad
