#pragma once
// The modifier keys as they are held at the moment a key is handled.

namespace quillpad {

struct SKeyModifiers {
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

}  // namespace quillpad
