#pragma once
// The end of a console's history as a scheme would draw it: the last lines
// of the store's records, rendered into memory. The style editor's preview
// redraws it on every change, so it renders only as far back as it must.

#include <cstddef>

#include "data/DataStore.h"
#include "styles/CStyleScheme.h"
#include "view/CMemorySurface.h"

namespace quillpad {

struct STailOptions {
    std::size_t lines = 20;
    bool showAllSources = false;
    // At most this many record bytes are rendered, however few lines they give.
    std::size_t byteBudget = std::size_t{1} << 16;
    // Of the lines found, at most this many characters, the last ones.
    std::size_t maxChars = 8192;
};

// CR, LF and CR LF each end a line; a break at the very end opens no line.
std::size_t CountLines(std::string_view text);

// The last `lines` lines of the rendered records, runs cut to match. Starts
// from a record far enough back that its line breaks cover the lines asked
// for, further back while the drawn text has fewer (hidden breaks) and the
// budget allows.
CMemorySurface RenderTail(const CDataStore& store, const CStyleScheme* scheme,
                          const STailOptions& options = {});

}  // namespace quillpad
