// The lines a filter keeps against a simple model: every byte of the
// history placed on the line the whole render draws it in, and a match
// taking the lines of its first and last bytes and all between. Random
// histories with dense checkpoints and small steps, then the cases one by
// one: a match split over records, one direction, bytes the style hides,
// records that come later, the cap.

#include "view/CLineFilter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/MessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "view/RenderRecordOf.h"

namespace quillpad {
namespace {

// Bytes of a few letters, line ends and backspaces, so that patterns match often and
// matches run over records and lines.
std::string RandomBytes(std::mt19937& rng, std::size_t n) {
    static const char kBytes[] = {'a', 'b', 'b', 'x', '\r', '\n', '\n', 'a', '\b'};
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) {
        bytes.push_back(kBytes[rng() % sizeof kBytes]);
    }
    return bytes;
}

// The model: the whole history rendered at once, each byte's line found
// from where its record's text starts.
std::vector<std::uint64_t> ModelLines(const CDataStore& store, const CStyleScheme* scheme,
                                      const CBytePattern& pattern) {
    CDisplayDocument whole;
    CStyledRenderer renderer;
    renderer.SetScheme(scheme);
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        starts.push_back(whole.Size());
        renderer.Render(whole, RenderRecordOf(*store.Record(i), static_cast<std::uint32_t>(i)),
                        true);
    }
    starts.push_back(whole.Size());
    struct SByte {
        std::size_t record;
        std::uint32_t offset;
        std::uint32_t direction;
    };
    std::vector<SByte> bytes;  // in history order
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        const SDataRecord r = *store.Record(i);
        for (std::uint32_t k = 0; k < r.length; ++k) {
            bytes.push_back({i, k, r.direction});
        }
    }
    const auto lineOf = [&](const SByte& b) -> std::uint64_t {
        const SDataRecord r = *store.Record(b.record);
        const std::size_t into =
            scheme ? CStyledRenderer::DrawnLength(scheme, r, b.offset) : b.offset;
        return whole.LineOf(std::min(starts[b.record] + into, starts[b.record + 1]));
    };
    std::vector<std::uint64_t> lines;
    for (const SFindMatch& match : FindAll(store, pattern)) {
        std::uint64_t first = lineOf(bytes[match.historyOffset]);
        std::uint64_t last = first;
        std::uint64_t taken = 0;
        for (std::uint64_t h = match.historyOffset; taken < match.length; ++h) {
            if (pattern.Direction() == 0 || bytes[h].direction == pattern.Direction()) {
                last = lineOf(bytes[h]);
                ++taken;
            }
        }
        for (std::uint64_t line = first; line <= last; ++line) {
            if (lines.empty() || lines.back() < line) {
                lines.push_back(line);
            }
        }
    }
    return lines;
}

class LineFilter : public ::testing::Test {
  protected:
    void Add(std::string_view bytes, bool outgoing = false) {
        outgoing ? store.AddOutgoingBytes(0, bytes) : store.AddIncomingBytes(0, bytes);
    }
    static SFindQuery Query(std::string text, EFindMode mode = EFindMode::Text,
                            std::uint32_t direction = 0) {
        SFindQuery query;
        query.text = std::move(text);
        query.mode = mode;
        query.direction = direction;
        return query;
    }
    // The lines the filter keeps, run to its end in steps of `budget` bytes.
    std::vector<std::uint64_t> Filter(const CStyleScheme* scheme, const SFindQuery& query,
                                      SLineIndexSpacing spacing = {}, std::size_t budget = 64) {
        CLineIndex index(scheme, true, spacing);
        index.Build(store);
        const CBytePattern pattern(query);
        CLineFilter filter(store, index, pattern);
        for (int steps = 0; !filter.Step(budget) && steps < 1'000'000; ++steps) {
        }
        EXPECT_TRUE(filter.Done());
        EXPECT_DOUBLE_EQ(filter.Progress(), 1.0);
        return filter.Lines();
    }

    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store{channel, clock};
};

TEST_F(LineFilter, KeepsExactlyTheLinesTheModelFindsInRandomHistories) {
    const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
    const SFindQuery queries[] = {
        Query("ab"),
        Query("b\\r\\na"),
        Query("0d0a", EFindMode::Hex),
        Query("b+x?a", EFindMode::Pattern),
        Query("a[^x]{3,9}b", EFindMode::Pattern),
        Query("ab", EFindMode::Text, kDirectionIncoming),
        Query("\\n", EFindMode::Text, kDirectionOutgoing),
    };
    for (std::uint32_t seed = 1; seed <= 100; ++seed) {
        std::mt19937 rng(seed);
        store.ClearData();
        const std::size_t records = 1 + rng() % 60;
        for (std::size_t i = 0; i < records; ++i) {
            Add(RandomBytes(rng, rng() % 12), rng() % 3 == 0);
        }
        const CStyleScheme* scheme = seed % 4 == 0 ? nullptr : schemes[seed % 3].get();
        SLineIndexSpacing spacing;
        spacing.lines = 1 + rng() % 4;
        spacing.chars = 1 + rng() % 16;
        spacing.pieceBytes = 1 + rng() % 6;
        for (const SFindQuery& query : queries) {
            const CBytePattern pattern(query);
            ASSERT_TRUE(pattern.IsValid()) << query.text;
            EXPECT_EQ(Filter(scheme, query, spacing, 1 + rng() % 40),
                      ModelLines(store, scheme, pattern))
                << "seed " << seed << ", " << query.text;
        }
    }
}

// A record of hidden bytes and a backspace takes a character from the line
// before it starts; the next record breaks that line before the record's own
// start. Both matches in it lie on that line, the second asked for after the
// break was counted.
TEST_F(LineFilter, ABreakPlacedBeforeARecordsStartIsNotCountedBeforeIt) {
    const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
    const CStyleScheme* hidesLf = schemes[1].get();
    Add("ab\r");
    Add("xbbbb");
    Add("\n\n\b", true);
    Add("\rz\r");
    const SFindQuery query = Query("\\n", EFindMode::Text, kDirectionOutgoing);
    const std::vector<std::uint64_t> lines = Filter(hidesLf, query, {}, 1);
    EXPECT_EQ(lines, ModelLines(store, hidesLf, CBytePattern(query)));
    EXPECT_EQ(lines, (std::vector<std::uint64_t>{1}));
}

TEST_F(LineFilter, AMatchSplitOverRecordsAndLinesTakesEveryLineItTouches) {
    Add("one\r\nboot ER");
    Add("ROR: 7\r\nok\r\n");
    Add("tail ERR\r\nOR\r\n");
    const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
    EXPECT_EQ(Filter(schemes[0].get(), Query("ERROR")), (std::vector<std::uint64_t>{1}));
    // Over a line end: the lines of its first and last bytes.
    EXPECT_EQ(Filter(schemes[0].get(), Query("ERR\\r\\nOR")), (std::vector<std::uint64_t>{3, 4}));
    EXPECT_EQ(Filter(schemes[0].get(), Query("nothing")), std::vector<std::uint64_t>{});
}

TEST_F(LineFilter, OneDirectionOnly) {
    // No style: every record drawn as it came, LF ending the lines.
    Add("ping\n", true);
    Add("pong ping\n");
    Add("ok\n");
    Add("ping\n", true);
    EXPECT_EQ(Filter(nullptr, Query("ping", EFindMode::Text, kDirectionOutgoing)),
              (std::vector<std::uint64_t>{0, 3}));
    EXPECT_EQ(Filter(nullptr, Query("ping", EFindMode::Text, kDirectionIncoming)),
              (std::vector<std::uint64_t>{1}));
    EXPECT_EQ(Filter(nullptr, Query("ping")), (std::vector<std::uint64_t>{0, 1, 3}));
    // Outgoing only, a match runs over the incoming record between.
    EXPECT_EQ(Filter(nullptr, Query("\nping", EFindMode::Text, kDirectionOutgoing)),
              (std::vector<std::uint64_t>{0, 1, 2, 3}));
}

TEST_F(LineFilter, AMatchInBytesTheStyleHidesTakesTheLineWhereTheyWouldBe) {
    // Set A's Normal shows no outgoing records.
    const auto schemes = MakeBuiltinSchemes(EBuiltinSet::A);
    Add("first\r\n");
    Add("before ");
    Add("SECRET", true);
    Add("after\r\nlast");
    EXPECT_EQ(Filter(schemes[0].get(), Query("SECRET")), (std::vector<std::uint64_t>{1}));
}

TEST_F(LineFilter, RecordsIndexedLaterAreTakenInIncludingAMatchTheOldEndCut) {
    const auto schemes = MakeBuiltinSchemes(EBuiltinSet::B);
    const CStyleScheme* scheme = schemes[0].get();
    Add("ERROR one\r\nok\r\nERR");
    CLineIndex index(scheme, true);
    index.Build(store);
    const CBytePattern pattern(Query("ERROR"));
    CLineFilter filter(store, index, pattern);
    while (!filter.Step(16)) {
    }
    EXPECT_EQ(filter.Lines(), (std::vector<std::uint64_t>{0}));
    EXPECT_FALSE(filter.Behind());

    Add("OR two\r\nquiet\r\n");
    Add("and ERROR three");
    filter.TakeInNewRecords();  // the index has not grown yet: nothing to do
    EXPECT_TRUE(filter.Done());
    index.Build(store);
    EXPECT_TRUE(filter.Behind());
    filter.TakeInNewRecords();
    while (!filter.Step(16)) {
    }
    EXPECT_EQ(filter.Lines(), (std::vector<std::uint64_t>{0, 2, 4}));
    EXPECT_EQ(filter.Lines(), ModelLines(store, scheme, pattern));
}

TEST_F(LineFilter, StopsAtItsCapAndSaysSo) {
    for (int i = 0; i < 10; ++i) {
        Add("hit\r\n");
    }
    CLineIndex index(nullptr, true);
    index.Build(store);
    const CBytePattern pattern(Query("hit"));
    CLineFilter filter(store, index, pattern, 4);
    while (!filter.Step(1 << 20)) {
    }
    EXPECT_TRUE(filter.Capped());
    EXPECT_EQ(filter.Lines().size(), 4u);
    // Later records add nothing past the cap.
    Add("hit\r\n");
    index.Build(store);
    filter.TakeInNewRecords();
    filter.Step(1 << 20);
    EXPECT_EQ(filter.Lines().size(), 4u);
}

TEST_F(LineFilter, ABadPatternFiltersNothing) {
    Add("abc\r\n");
    CLineIndex index(nullptr, true);
    index.Build(store);
    const CBytePattern pattern(Query("(", EFindMode::Pattern));
    CLineFilter filter(store, index, pattern);
    EXPECT_TRUE(filter.Step(1 << 20));
    EXPECT_TRUE(filter.Lines().empty());
}

}  // namespace
}  // namespace quillpad
