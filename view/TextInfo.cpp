#include "view/TextInfo.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "data/DataStore.h"
#include "platform/LocalTime.h"
#include "view/CDisplayDocument.h"

namespace quillpad {
namespace {

std::string Relative(const SDataRecord& r, std::uint32_t startTick) {
    return FormatSpan(r.tick - startTick);
}

// The record's bytes as the popup shows them: every byte as its Latin-1
// character, line ends as one line break each. NUL and the other control
// bytes show as nothing, as they do in the console, and never cut the text.
std::string RelatedData(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (b == '\r') {
            out.push_back('\n');
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else if (b == '\n' || b == '\t' || b >= 0x20) {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

std::optional<SDescribedRecord> DescribedAt(const DisplayedRecordAt& recordAt,
                                            const CDataStore& store, std::size_t position) {
    const auto ref = recordAt(position);
    if (!ref) {
        return std::nullopt;
    }
    const auto record = store.Find(*ref);
    if (!record) {
        return std::nullopt;
    }
    return SDescribedRecord{*record, store.TimeOfTick(record->tick).seconds};
}

}  // namespace

std::string FormatSpan(std::uint32_t milliseconds) {
    const std::uint32_t seconds = milliseconds / 1000;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " %ud %02u:%02u:%02u %03ums", seconds / 86400,
                  seconds / 3600 % 24, seconds / 60 % 60, seconds % 60, milliseconds % 1000);
    return buffer;
}

std::string DescribeSingle(const SDescribedRecord& r, std::uint32_t startTick,
                           const STextInfoSwitches& switches) {
    std::string text;
    if (switches.showAbsoluteTime) {
        text += FormatCalendarSeconds(" %#c", r.calendarSeconds);
        text += '\n';
    }
    if (switches.showRelativeTime) {
        text += Relative(r.record, startTick);
        text += '\n';
    }
    if (switches.showDataDirection) {
        text += r.record.direction == kDirectionIncoming ? " Incoming" : " Outgoing";
        text += '\n';
    }
    if (switches.showRelatedData) {
        text += RelatedData(r.record.bytes);
    }
    return text;
}

std::string DescribeRange(const SDescribedRecord& first, const SDescribedRecord& last,
                          std::uint32_t startTick, const STextInfoSwitches& switches) {
    std::string text;
    if (switches.showAbsoluteTime) {
        text += FormatCalendarSeconds(" %#c through ", first.calendarSeconds);
        // Both ends in the one long form: a short date beside a long one read
        // as two different things.
        text += FormatCalendarSeconds("%#c", last.calendarSeconds);
        text += '\n';
    }
    if (switches.showRelativeTime) {
        text += Relative(first.record, startTick);
        text += " through ";
        text += Relative(last.record, startTick);
        text += '\n';
    }
    text += " Delta: ";
    text += FormatSpan(last.record.tick - first.record.tick);
    return text;
}

std::string DescribeDisplayed(const CDisplayDocument& document, const CDataStore& store,
                              std::size_t selectionStart, std::size_t selectionEnd,
                              std::size_t character, const STextInfoSwitches& switches) {
    return DescribeDisplayed([&document](std::size_t p) { return document.RecordAt(p); },
                             document.Size(), store, selectionStart, selectionEnd, character,
                             switches);
}

std::string DescribeDisplayed(const DisplayedRecordAt& recordAt, std::size_t textSize,
                              const CDataStore& store, std::size_t selectionStart,
                              std::size_t selectionEnd, std::size_t character,
                              const STextInfoSwitches& switches) {
    const std::size_t s = selectionStart;
    const std::size_t e = std::min(selectionEnd, textSize);
    const std::size_t c = character;
    if (s >= e || c < s || c > e) {
        const auto r = DescribedAt(recordAt, store, c);
        return r ? DescribeSingle(*r, store.StartTick(), switches) : std::string();
    }
    // The selection's last character, not the one after it, closes the range.
    const auto first = DescribedAt(recordAt, store, s);
    const auto last = DescribedAt(recordAt, store, e - 1);
    if (!first || !last) {
        return {};
    }
    return DescribeRange(*first, *last, store.StartTick(), switches);
}

}  // namespace quillpad
