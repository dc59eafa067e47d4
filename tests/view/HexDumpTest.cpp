// The hex dump of the history and the store's byte offsets behind it:
// offsets against sums worked out by hand from the records, every byte value
// in both columns, direction turns, hidden sources, a history partly on disk
// and a loaded log; then the mapping between the console's text and the
// bytes that drew it, against the whole render.

#include "view/CHexDump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/MessageChannel.h"
#include "tests/support/TempDir.h"
#include "view/CDisplayDocument.h"
#include "view/CLineIndex.h"
#include "view/CStyledRenderer.h"
#include "view/RenderRecordOf.h"
#include "view/TextBytes.h"

namespace quillpad {
namespace {

struct SAdded {
    std::string bytes;
    bool outgoing = false;
    bool own = true;
};

std::vector<SAdded> RandomHistory(std::mt19937& rng, std::size_t records, std::size_t maxLength) {
    std::vector<SAdded> out;
    for (std::size_t i = 0; i < records; ++i) {
        SAdded a;
        const std::size_t n = rng() % (maxLength + 1);
        for (std::size_t k = 0; k < n; ++k) {
            a.bytes.push_back(static_cast<char>(rng() % 256));
        }
        a.outgoing = rng() % 3 == 0;
        a.own = rng() % 4 != 0;
        out.push_back(std::move(a));
    }
    return out;
}

void Feed(CDataStore& store, const std::vector<SAdded>& history) {
    for (const SAdded& a : history) {
        const std::uint32_t owner = a.own ? 0 : 9;  // 9 is not own
        a.outgoing ? store.AddOutgoingBytes(owner, a.bytes)
                   : store.AddIncomingBytes(owner, a.bytes);
    }
}

// The dump's bytes worked out from the records themselves.
struct SExpected {
    std::string bytes;
    std::vector<std::uint32_t> direction;
    std::vector<SBytePlace> places;
    std::vector<std::uint64_t> before;  // per record: shown bytes before it
};

SExpected Expected(const std::vector<SAdded>& history, std::size_t first, bool all) {
    SExpected e;
    for (std::size_t r = 0; r < history.size(); ++r) {
        e.before.push_back(e.bytes.size());
        if (r < first || (!all && !history[r].own)) {
            continue;
        }
        for (std::size_t i = 0; i < history[r].bytes.size(); ++i) {
            e.bytes.push_back(history[r].bytes[i]);
            e.direction.push_back(history[r].outgoing ? kDirectionOutgoing : kDirectionIncoming);
            e.places.push_back(SBytePlace{r, i});
        }
    }
    e.before.push_back(e.bytes.size());
    return e;
}

void ExpectDumpMatches(const CDataStore& store, const std::vector<SAdded>& history,
                       std::size_t first, bool all) {
    const SExpected e = Expected(history, first, all);
    const CHexDump dump(store, first, all);
    ASSERT_EQ(dump.Size(), e.bytes.size());
    ASSERT_EQ(dump.RowCount(), (e.bytes.size() + 15) / 16);
    const std::uint64_t base = e.before[std::min(first, history.size())];
    for (std::size_t r = first; r <= history.size(); ++r) {
        EXPECT_EQ(store.BytesBefore(r, all) - store.BytesBefore(first, all), e.before[r] - base)
            << "record " << r;
    }
    // Every row, read in runs of a few rows from everywhere.
    for (std::uint64_t row = 0; row < dump.RowCount(); row += 3) {
        const auto rows = dump.Rows(row, 3);
        ASSERT_FALSE(rows.empty());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const SHexRow& got = rows[k];
            const std::uint64_t offset = (row + k) * 16;
            ASSERT_EQ(got.offset, offset);
            ASSERT_EQ(got.count, std::min<std::uint64_t>(16, e.bytes.size() - offset));
            EXPECT_EQ(got.first, e.places[offset]);
            for (std::size_t i = 0; i < got.count; ++i) {
                const std::size_t at = offset + i;
                EXPECT_EQ(got.bytes[i], static_cast<std::uint8_t>(e.bytes[at])) << at;
                EXPECT_EQ(got.direction[i], e.direction[at]) << at;
                EXPECT_EQ(got.TurnsAt(i), at > 0 && e.direction[at] != e.direction[at - 1]) << at;
            }
        }
    }
    // Places and offsets, both ways.
    for (std::size_t at = 0; at < e.bytes.size(); at += 7) {
        EXPECT_EQ(dump.PlaceOf(at), e.places[at]) << at;
        EXPECT_EQ(dump.OffsetOf(e.places[at]), at) << at;
    }
    EXPECT_EQ(dump.PlaceOf(e.bytes.size()).record, store.RecordCount());
}

TEST(HexDump, EveryByteValueInBothColumnsWithItsOffset) {
    CQueuedChannel channel;
    CDataStore store(channel);
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    // In records of odd lengths, so rows start inside records.
    for (std::size_t at = 0; at < all.size(); at += 37) {
        store.AddIncomingBytes(0, all.substr(at, 37));
    }
    const CHexDump dump(store, 0, false);
    ASSERT_EQ(dump.Size(), 256u);
    const auto rows = dump.Rows(0, 100);
    ASSERT_EQ(rows.size(), 16u);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::string text = CHexDump::RowText(rows[r]);
        ASSERT_EQ(text.size(), CHexDump::kRowChars) << r;
        char offset[9];
        std::snprintf(offset, sizeof offset, "%08zX", r * 16);
        EXPECT_EQ(text.substr(0, 10), std::string(offset) + "  ");
        for (std::size_t i = 0; i < 16; ++i) {
            const int b = static_cast<int>(r * 16 + i);
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02X", b);
            EXPECT_EQ(text.substr(CHexDump::HexColumnOf(i), 2), pair);
            const bool printable = (b >= 0x20 && b <= 0x7E) || b >= 0xA0;
            EXPECT_EQ(text[CHexDump::TextColumnOf(i)], printable ? static_cast<char>(b) : '.') << b;
            EXPECT_EQ(CHexDump::TextOf(static_cast<std::uint8_t>(b)),
                      printable ? static_cast<char>(b) : '.');
        }
    }
    EXPECT_EQ(CHexDump::RowText(rows[4]),
              "00000040  40 41 42 43 44 45 46 47  48 49 4A 4B 4C 4D 4E 4F  @ABCDEFGHIJKLMNO");
    EXPECT_EQ(dump.HexText(0x0D, 0x10), "0D 0E 0F");
    EXPECT_EQ(dump.HexText(0xFE, 0x200), "FE FF") << "stops at the end";
    EXPECT_EQ(dump.HexText(5, 5), "");
}

TEST(HexDump, ALastShortRowAndTheCopyTextAcrossRecords) {
    CQueuedChannel channel;
    CDataStore store(channel);
    store.AddIncomingBytes(0, "\r\n");
    store.AddOutgoingBytes(0, "> ");
    store.AddIncomingBytes(0, "0123456789abcdefXYZ");
    const CHexDump dump(store, 0, false);
    EXPECT_EQ(dump.HexText(0, 4), "0D 0A 3E 20");
    const auto rows = dump.Rows(1, 5);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].count, 7u);
    const std::string text = CHexDump::RowText(rows[0]);
    EXPECT_EQ(text.substr(0, 31), "00000010  63 64 65 66 58 59 5A ");
    EXPECT_EQ(text.substr(CHexDump::kTextColumn), "cdefXYZ");
    EXPECT_EQ(text.find_first_not_of(' ', 31), CHexDump::kTextColumn) << "blanks in between";
    // A turn where the outgoing prompt starts, and where the reply starts.
    const SHexRow first = dump.Rows(0, 1)[0];
    EXPECT_EQ(first.turns, (1u << 2) | (1u << 4));
    // The second row's turns count from the byte before it, not from nothing.
    EXPECT_EQ(rows[0].turns, 0u);
}

TEST(HexDump, OffsetsAndRowsMatchTheRecordsForAnyHistory) {
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        CQueuedChannel channel;
        CDataStore store(channel);
        const auto history = RandomHistory(rng, 300 + rng() % 400, seed % 2 ? 40 : 3);
        Feed(store, history);
        for (const bool all : {false, true}) {
            const std::size_t first = seed % 3 == 0 ? history.size() / 3 : 0;
            ASSERT_NO_FATAL_FAILURE(ExpectDumpMatches(store, history, first, all))
                << "seed " << seed << " all " << all;
        }
    }
}

TEST(HexDump, AHistoryMostlyOnDiskAndALoadedLogGiveTheSameDump) {
    test::CTempDir dir;
    std::mt19937 rng(77);
    CQueuedChannel channel;
    CDataStore store(channel);
    store.SetHistoryBudget(std::size_t{1} << 16, dir.File("cache"));
    const auto history = RandomHistory(rng, 3000, 200);
    for (std::size_t i = 0; i < history.size(); i += 100) {
        Feed(store, std::vector<SAdded>(history.begin() + static_cast<long>(i),
                                        history.begin() + static_cast<long>(i + 100)));
        store.FlushLiveLogs();  // a turn's end: segments go to disk
    }
    ASSERT_FALSE(store.SpillPath().empty());
    ASSERT_NO_FATAL_FAILURE(ExpectDumpMatches(store, history, 0, false));
    ASSERT_NO_FATAL_FAILURE(ExpectDumpMatches(store, history, 0, true));

    const std::string path = dir.File("saved.wblog");
    ASSERT_TRUE(store.SaveBinaryLog(path));
    CDataStore loaded(channel);
    ASSERT_TRUE(loaded.LoadLog(path).accepted);
    // Loaded records are counted when first asked; a live record after them too.
    ASSERT_NO_FATAL_FAILURE(ExpectDumpMatches(loaded, history, 0, true));
    loaded.AddIncomingBytes(0, "tail");
    auto more = history;
    more.push_back(SAdded{"tail", false, true});
    EXPECT_EQ(CHexDump(loaded, 0, true).Size(), Expected(more, 0, true).bytes.size());
    // A clear starts the count again.
    loaded.ClearData();
    EXPECT_EQ(CHexDump(loaded, 0, true).Size(), 0u);
    loaded.AddIncomingBytes(0, "ab");
    EXPECT_EQ(loaded.TotalBytes(true), 2u);
    EXPECT_EQ(loaded.RecordAtByte(1, true), 0u);
    EXPECT_EQ(loaded.RecordAtByte(2, true), 1u) << "past the end";
}

TEST(HexDump, RecordsWithoutBytesAndHiddenSourcesAreSteppedOver) {
    CQueuedChannel channel;
    CDataStore store(channel);
    store.AddIncomingBytes(0, "ab");
    store.AddIncomingBytes(0, "");
    store.AddIncomingBytes(9, "hidden");
    store.AddIncomingBytes(0, "");
    store.AddOutgoingBytes(0, "cd");
    const CHexDump own(store, 0, false);
    EXPECT_EQ(own.HexText(0, 10), "61 62 63 64");
    EXPECT_EQ(own.PlaceOf(2), (SBytePlace{4, 0}));
    EXPECT_EQ(own.Rows(0, 1)[0].turns, 1u << 2) << "the hidden record is no turn";
    const CHexDump all(store, 0, true);
    EXPECT_EQ(all.Size(), 10u);
    EXPECT_EQ(all.PlaceOf(2), (SBytePlace{2, 0}));
    EXPECT_EQ(all.OffsetOf(SBytePlace{4, 1}), 9u);
}

// ---- text positions and bytes

SStyleRule Rule(std::int32_t format, std::int32_t charClass = 0, bool insertBreaks = false,
                bool interpret = false) {
    SStyleRule r;
    r.Format_ApplyFormat = true;
    r.Format_CharacterFormat = format;
    r.CharRange_MatchValue = charClass;
    r.Format_InsertCRLFIfTranslated = insertBreaks;
    r.Format_AlwaysInterpretCRLFBSTB = interpret;
    r.Format_ApplyColor = true;
    return r;
}

// For every byte of the history: the size of the text once it is drawn,
// from a render of everything up to it. Without backspaces the text only
// grows, so this tells which byte drew each character.
std::vector<std::uint64_t> SizesAfter(const CDataStore& store, const CStyleScheme* scheme, bool all,
                                      std::vector<SBytePlace>& places) {
    std::vector<std::uint64_t> sizes;
    for (std::size_t r = 0; r < store.RecordCount(); ++r) {
        const auto record = store.Record(r);
        for (std::size_t i = 0; i < record->length; ++i) {
            CDisplayDocument doc;
            CStyledRenderer renderer;
            renderer.SetScheme(scheme);
            for (std::size_t k = 0; k < r; ++k) {
                renderer.Render(
                    doc, RenderRecordOf(*store.Record(k), static_cast<std::uint32_t>(k)), all);
            }
            SDataRecord part = *record;
            part.bytes = record->bytes.substr(0, i + 1);
            part.length = static_cast<std::uint32_t>(i + 1);
            renderer.Render(doc, part, all);
            sizes.push_back(doc.Size());
            places.push_back(SBytePlace{r, i});
        }
    }
    return sizes;
}

TEST(TextBytes, EveryCharacterMapsToTheByteThatDrewItAndBack) {
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        std::mt19937 rng(seed);
        CQueuedChannel channel;
        CDataStore store(channel);
        CStyleScheme scheme;
        // Hidden control bytes, bracketed names with and without breaks,
        // text: whatever the seed picks.
        const std::int32_t formats[] = {kFormatHide, kFormatHex, kFormatHexTranslated};
        scheme.AppendRule(Rule(formats[rng() % 3], 1, rng() % 2 == 0));
        if (rng() % 2 == 0) {
            scheme.AppendRule(Rule(kFormatHex, 3));
        }
        scheme.AppendRule(Rule(kFormatText));
        const bool all = seed % 2 == 0;
        for (int n = 0; n < 60; ++n) {
            std::string bytes;
            const std::size_t length = rng() % 9;
            for (std::size_t k = 0; k < length; ++k) {
                const unsigned roll = rng() % 10;
                bytes.push_back(roll < 2   ? '\r'
                                : roll < 3 ? '\n'
                                : roll < 4 ? static_cast<char>(rng() % 0x20 == 8 ? 7 : rng() % 0x20)
                                : roll < 5 ? static_cast<char>(0x80 + rng() % 0x80)
                                           : static_cast<char>('a' + rng() % 6));
            }
            if (bytes.find('\b') != std::string::npos) {
                bytes.clear();  // backspaces have a test of their own
            }
            const std::uint32_t owner = rng() % 4 == 0 ? 9 : 0;
            rng() % 3 == 0 ? store.AddOutgoingBytes(owner, bytes)
                           : store.AddIncomingBytes(owner, bytes);
        }
        CLineIndex index(&scheme, all, {.lines = 2, .chars = 5, .pieceBytes = 3});
        ASSERT_TRUE(index.Build(store));
        CTextByteMap map(index);
        std::vector<SBytePlace> places;
        const auto sizes = SizesAfter(store, &scheme, all, places);
        ASSERT_EQ(sizes.empty() ? 0 : sizes.back(), index.TextSize());
        // Each character: the first byte after which the text holds it.
        for (std::uint64_t p = 0; p < index.TextSize(); ++p) {
            const auto it = std::upper_bound(sizes.begin(), sizes.end(), p);
            ASSERT_NE(it, sizes.end());
            EXPECT_EQ(map.ByteAt(store, p), places[static_cast<std::size_t>(it - sizes.begin())])
                << "seed " << seed << " position " << p;
        }
        EXPECT_EQ(map.ByteAt(store, index.TextSize()).record, store.RecordCount());
        // Each byte: where the text stood before it.
        for (std::size_t k = 0; k < places.size(); ++k) {
            EXPECT_EQ(map.PositionOf(store, places[k]), k == 0 ? 0 : sizes[k - 1])
                << "seed " << seed << " byte " << k;
        }
        EXPECT_EQ(map.PositionOf(store, SBytePlace{store.RecordCount(), 0}), index.TextSize());
    }
}

TEST(TextBytes, ABackspaceGivesItsPlaceToTheByteDrawnThere) {
    CQueuedChannel channel;
    CDataStore store(channel);
    CStyleScheme scheme;
    scheme.AppendRule(Rule(kFormatText));
    store.AddIncomingBytes(0, "abc");
    store.AddIncomingBytes(0, "\bX");  // the text is "abX"
    store.AddIncomingBytes(0, "\r");
    store.AddIncomingBytes(0, "\bZ");  // no backspace past a line's start
    CLineIndex index(&scheme, false);
    ASSERT_TRUE(index.Build(store));
    ASSERT_EQ(index.TextSize(), 5u);
    CTextByteMap map(index);
    EXPECT_EQ(map.ByteAt(store, 1), (SBytePlace{0, 1}));
    EXPECT_EQ(map.ByteAt(store, 2), (SBytePlace{1, 1})) << "the X, not the deleted c";
    EXPECT_EQ(map.ByteAt(store, 3), (SBytePlace{2, 0}));
    EXPECT_EQ(map.ByteAt(store, 4), (SBytePlace{3, 1}));
    EXPECT_EQ(map.PositionOf(store, SBytePlace{1, 1}), 2u);
    EXPECT_EQ(map.PositionOf(store, SBytePlace{3, 0}), 4u);
    EXPECT_EQ(map.PositionOf(store, SBytePlace{3, 1}), 4u);
}

TEST(TextBytes, WithoutASchemeNulBytesDrawNothing) {
    CQueuedChannel channel;
    CDataStore store(channel);
    store.AddIncomingBytes(0, std::string("a\0b", 3));
    CLineIndex index(nullptr, false);
    ASSERT_TRUE(index.Build(store));
    ASSERT_EQ(index.TextSize(), 2u);
    CTextByteMap map(index);
    EXPECT_EQ(map.ByteAt(store, 1), (SBytePlace{0, 2}));
    EXPECT_EQ(map.PositionOf(store, SBytePlace{0, 1}), 1u);
    EXPECT_EQ(map.PositionOf(store, SBytePlace{0, 2}), 1u);
}

}  // namespace
}  // namespace quillpad
