#pragma once
// What the lazy view's tests compare it with: every record of the store
// rendered at once, as the view did when it kept the whole text, and that
// text as a copy gives it.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "data/DataStore.h"
#include "styles/CStyleScheme.h"
#include "view/CDisplayDocument.h"
#include "view/CStyledRenderer.h"
#include "view/RenderRecordOf.h"

namespace quillpad::test {

inline CDisplayDocument WholeRender(const CDataStore& store, const CStyleScheme* scheme,
                                    bool showAll = false) {
    CDisplayDocument whole;
    whole.SetGeneration(store.Generation());
    CStyledRenderer renderer;
    renderer.SetScheme(scheme);
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        renderer.Render(whole, RenderRecordOf(*store.Record(i), static_cast<std::uint32_t>(i)),
                        showAll);
    }
    return whole;
}

// A copy ends lines with LF where the text holds CR; one byte, one Latin-1
// character.
inline std::string AsCopied(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '\r', '\n');
    return out;
}

}  // namespace quillpad::test
