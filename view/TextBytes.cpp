#include "view/TextBytes.h"

#include <algorithm>
#include <string>
#include <vector>

#include "view/CDisplayDocument.h"
#include "view/CStyledRenderer.h"

namespace quillpad {
namespace {

std::size_t RenderedSize(const CStyleScheme* scheme, const SDataRecord& record) {
    CDisplayDocument document;
    CStyledRenderer renderer;
    renderer.SetScheme(scheme);
    renderer.Render(document, record, true);
    return document.Size();
}

// Calls step(place, before, after) for every shown byte from checkpoint
// `from` on, with the text position before and after it, until it returns
// true or the indexed records end.
template <class Step>
void Walk(const CDataStore& store, const CLineIndex& index, std::size_t from, Step&& step) {
    const SLineCheckpoint& start = index.Checkpoints()[from];
    std::uint64_t position = start.Position();
    std::uint64_t lineStart = start.lineStart;
    const std::size_t end = index.IndexedRecords();
    // The characters of the record's bytes still standing: a backspace takes
    // back the last one whole, as the renderer does.
    std::vector<std::uint16_t> standing;
    const auto stand = [&standing](const auto& effect) {
        if (effect.backspace) {
            if (!standing.empty()) {
                standing.pop_back();
            }
        } else if (effect.length > 0) {
            standing.push_back(effect.length);
        }
    };
    for (std::size_t r = start.record; r < end; ++r) {
        const auto record = store.Record(r);
        if (!record) {
            continue;
        }
        standing.clear();
        const std::size_t from = r == start.record ? start.point.offset : 0;
        for (std::size_t i = 0; i < from && i < record->length; ++i) {
            stand(step.Effect(*record, static_cast<std::uint8_t>(record->bytes[i])));
        }
        for (std::size_t i = from; i < record->length; ++i) {
            const std::uint64_t before = position;
            const auto effect = step.Effect(*record, static_cast<std::uint8_t>(record->bytes[i]));
            if (effect.backspace) {
                const std::uint64_t width = standing.empty() ? 1 : standing.back();
                position -= std::min(width, position - lineStart);
                stand(effect);
            } else {
                position += effect.length;
                if (effect.breaks) {
                    lineStart = position;
                }
                stand(effect);
            }
            if (step(SBytePlace{r, i}, before, position, effect.backspace)) {
                return;
            }
        }
    }
    step.End(SBytePlace{end, 0}, position);
}

}  // namespace

bool CTextByteMap::Shows(const SDataRecord& record) const {
    return IsShownRecord(record, m_index.ShowAllSources());
}

const CTextByteMap::Table& CTextByteMap::TableFor(std::uint32_t direction, std::uint32_t source) {
    const auto key = std::make_pair(direction, source);
    if (auto it = m_tables.find(key); it != m_tables.end()) {
        return it->second;
    }
    Table& table = m_tables[key];
    const CStyleScheme* scheme = m_index.Scheme();
    SDataRecord record;
    record.direction = direction;
    record.source = source;
    if (source == kSourceMark) {
        record.ownerId = kMarkOwnerId;
    }
    const auto sizeOf = [&](std::string_view bytes) {
        record.bytes = bytes;
        record.length = static_cast<std::uint32_t>(bytes.size());
        return RenderedSize(scheme, record);
    };
    // A byte that shows, for telling a backspace from a byte that draws nothing.
    std::string probe;
    for (const char c : std::string_view("A0 .\x80")) {
        if (sizeOf(std::string_view(&c, 1)) > 0) {
            probe.assign(1, c);
            break;
        }
    }
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        SByteText& text = table[static_cast<std::size_t>(b)];
        if (!probe.empty() && sizeOf(probe + c) < sizeOf(probe)) {
            text.backspace = true;
            continue;
        }
        CDisplayDocument document;
        CStyledRenderer renderer;
        renderer.SetScheme(scheme);
        record.bytes = std::string_view(&c, 1);
        record.length = 1;
        renderer.Render(document, record, true);
        text.length = static_cast<std::uint16_t>(document.Size());
        text.breaks = document.LineCount() > 1;
    }
    return table;
}

SBytePlace CTextByteMap::ByteAt(const CDataStore& store, std::uint64_t position) {
    const auto& points = m_index.Checkpoints();
    if (position >= m_index.TextSize()) {
        return SBytePlace{m_index.IndexedRecords(), 0};
    }
    const auto it = std::partition_point(
        points.begin(), points.end(),
        [position](const SLineCheckpoint& p) { return p.Position() <= position; });
    const std::size_t from =
        it == points.begin() ? 0 : static_cast<std::size_t>(it - points.begin()) - 1;
    struct SStep {
        CTextByteMap& map;
        std::uint64_t wanted;
        bool found = false;
        SBytePlace result;
        SByteText Effect(const SDataRecord& record, std::uint8_t b) {
            if (!map.Shows(record)) {
                return {};
            }
            return map.TableFor(record.direction, StyleSourceOf(record))[b];
        }
        bool operator()(const SBytePlace& place, std::uint64_t before, std::uint64_t after,
                        bool backspace) {
            if (backspace) {
                // The character it took back was the one asked for: a later
                // byte draws there now.
                if (found && after <= wanted) {
                    found = false;
                }
                return false;
            }
            if (found) {
                return true;  // the next byte is no backspace: the answer stands
            }
            if (before <= wanted && wanted < after) {
                found = true;
                result = place;
            }
            return false;
        }
        void End(const SBytePlace& end, std::uint64_t) {
            if (!found) {
                result = end;
            }
        }
    } step{*this, position, false, {}};
    Walk(store, m_index, from, step);
    return step.result;
}

std::uint64_t CTextByteMap::PositionOf(const CDataStore& store, const SBytePlace& place) {
    const auto& points = m_index.Checkpoints();
    if (place.record >= m_index.IndexedRecords()) {
        return m_index.TextSize();
    }
    const auto it =
        std::partition_point(points.begin(), points.end(), [&place](const SLineCheckpoint& p) {
            return SBytePlace{p.record, p.point.offset} <= place;
        });
    const std::size_t from =
        it == points.begin() ? 0 : static_cast<std::size_t>(it - points.begin()) - 1;
    struct SStep {
        CTextByteMap& map;
        SBytePlace wanted;
        std::uint64_t result = 0;
        SByteText Effect(const SDataRecord& record, std::uint8_t b) {
            if (!map.Shows(record)) {
                return {};
            }
            return map.TableFor(record.direction, StyleSourceOf(record))[b];
        }
        bool operator()(const SBytePlace& place, std::uint64_t before, std::uint64_t, bool) {
            if (place >= wanted) {
                result = before;
                return true;
            }
            return false;
        }
        void End(const SBytePlace&, std::uint64_t position) { result = position; }
    } step{*this, place, 0};
    Walk(store, m_index, from, step);
    return step.result;
}

}  // namespace quillpad
