#include "view/RenderTail.h"

#include <algorithm>

#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

std::size_t RawBreaks(std::string_view bytes) {
    return static_cast<std::size_t>(
        std::count_if(bytes.begin(), bytes.end(), [](char c) { return c == '\r' || c == '\n'; }));
}

// Where the last `lines` lines of the text start.
std::size_t StartOfLastLines(std::string_view text, std::size_t lines) {
    std::size_t end = text.size();
    // A break at the very end closes the last line; it does not open one.
    if (end > 0 && text[end - 1] == '\n') {
        --end;
        if (end > 0 && text[end - 1] == '\r') {
            --end;
        }
    } else if (end > 0 && text[end - 1] == '\r') {
        --end;
    }
    std::size_t seen = 0;
    for (std::size_t i = end; i > 0; --i) {
        const char c = text[i - 1];
        if (c == '\n' || c == '\r') {
            if (++seen == lines) {
                return i;
            }
            // CR LF is one break.
            if (c == '\n' && i > 1 && text[i - 2] == '\r') {
                --i;
            }
        }
    }
    return 0;
}

CMemorySurface Cut(const CMemorySurface& full, std::size_t from) {
    CMemorySurface tail;
    tail.text = full.text.substr(from);
    tail.current = full.current;
    for (const auto& run : full.runs) {
        const std::size_t end = run.start + run.length;
        if (end <= from) {
            continue;
        }
        const std::size_t start = std::max(run.start, from);
        tail.runs.push_back({start - from, end - start, run.format, run.sequence});
    }
    return tail;
}

CMemorySurface RenderFrom(const CDataStore& store, const CStyleScheme* scheme, std::size_t first,
                          bool showAllSources) {
    CMemorySurface surface;
    CStyledRenderer renderer;
    renderer.SetScheme(scheme);
    for (std::size_t i = first; i < store.RecordCount(); ++i) {
        if (const auto record = store.Record(i)) {
            SDataRecord r = *record;
            r.sequence = static_cast<std::uint32_t>(i);
            renderer.Render(surface, r, showAllSources);
        }
    }
    return surface;
}

}  // namespace

std::size_t CountLines(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    std::size_t lines = 1;
    std::size_t end = text.size();
    if (text[end - 1] == '\n' || text[end - 1] == '\r') {
        // The final break ends the last line.
        end -= (end > 1 && text[end - 1] == '\n' && text[end - 2] == '\r') ? 2 : 1;
        if (end == 0) {
            return 1;
        }
    }
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\r' && i + 1 < end && text[i + 1] == '\n') {
            ++i;
            ++lines;
        } else if (text[i] == '\r' || text[i] == '\n') {
            ++lines;
        }
    }
    return lines;
}

CMemorySurface RenderTail(const CDataStore& store, const CStyleScheme* scheme,
                          const STailOptions& options) {
    const std::size_t count = store.RecordCount();
    if (count == 0 || options.lines == 0) {
        return {};
    }
    std::size_t first = count;
    std::size_t bytes = 0;
    std::size_t breaks = 0;
    // Breaks wanted in the raw bytes before rendering; doubled while the
    // scheme hides too many of them.
    std::size_t wanted = options.lines + 1;
    for (;;) {
        while (first > 0 && breaks < wanted && bytes < options.byteBudget) {
            --first;
            if (const auto record = store.Record(first)) {
                bytes += record->bytes.size();
                breaks += RawBreaks(record->bytes);
            }
        }
        CMemorySurface full = RenderFrom(store, scheme, first, options.showAllSources);
        if (first == 0 || bytes >= options.byteBudget || CountLines(full.text) > options.lines) {
            std::size_t from = StartOfLastLines(full.text, options.lines);
            // A line without breaks (hex without line ends) shows its end.
            if (full.text.size() - from > options.maxChars) {
                from = full.text.size() - options.maxChars;
            }
            return Cut(full, from);
        }
        wanted *= 2;
    }
}

}  // namespace quillpad
