#include "control/LineEnds.h"

#include <algorithm>

namespace quillpad {

ByteString EndLinesForDevice(std::string_view text) {
    ByteString out;
    out.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out.push_back('\r');
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace quillpad
