#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "data/DataStore.h"
#include "data/HistoryFind.h"
#include "platform/MessageChannel.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

SFindQuery Query(std::string text, EFindMode mode = EFindMode::Text, bool matchCase = true,
                 std::uint32_t direction = 0) {
    return SFindQuery{std::move(text), mode, matchCase, direction};
}

struct SHistory {
    CQueuedChannel channel;
    CManualClock clock;
    CDataStore store{channel, clock};

    void In(std::string_view bytes) { store.AddIncomingBytes(0, bytes); }
    void Out(std::string_view bytes) { store.AddOutgoingBytes(0, bytes); }
    std::string All(std::uint32_t direction = 0) const {
        std::string all;
        for (std::size_t i = 0; i < store.RecordCount(); ++i) {
            const SDataRecord r = *store.Record(i);
            if (direction == 0 || r.direction == direction) {
                all.append(r.bytes);
            }
        }
        return all;
    }
};

// Where `needle` lies in `haystack`, left to right and not overlapping.
std::vector<std::size_t> LiteralMatches(const std::string& haystack, const std::string& needle) {
    std::vector<std::size_t> at;
    for (std::size_t p = haystack.find(needle); p != std::string::npos;
         p = haystack.find(needle, p + needle.size())) {
        at.push_back(p);
    }
    return at;
}

TEST(FindPattern, BadQueriesSayWhyAndMatchNothing) {
    SHistory h;
    h.In("abc(abc");
    for (const SFindQuery& q : {Query("(abc", EFindMode::Pattern), Query("", EFindMode::Text),
                                Query("5", EFindMode::Hex), Query("", EFindMode::Pattern)}) {
        const CBytePattern p(q);
        EXPECT_FALSE(p.IsValid()) << q.text;
        EXPECT_FALSE(p.Error().empty()) << q.text;
        EXPECT_EQ(CountMatches(h.store, p), 0u);
        EXPECT_FALSE(FindForward(h.store, p).has_value());
    }
    const CBytePattern open(Query("(abc", EFindMode::Pattern));
    EXPECT_NE(open.Error().find("offset 4"), std::string::npos) << open.Error();
}

TEST(FindPattern, MatchCaseOffFoldsLatin1Letters) {
    SHistory h;
    h.In("x\xC0x \xE0x \xD7 \xF7 \xDF \xFF AbC");
    // à finds À and à; × and ÷ are no case pair.
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("\xE0x", EFindMode::Text, false))), 2u);
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("\xE0x", EFindMode::Text, true))), 1u);
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("\xF7", EFindMode::Text, false))), 1u);
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("abc", EFindMode::Text, false))), 1u);
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("abc", EFindMode::Text, true))), 0u);
    // The same in a regular expression, as a literal and in a class.
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("\xC0X", EFindMode::Pattern, false))), 2u);
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("[\xE0-\xE2]", EFindMode::Pattern, false))),
              2u);
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("[\xE0-\xE2]", EFindMode::Pattern, true))),
              1u);
    // Hex names bytes: case plays no part.
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("e0", EFindMode::Hex, false))), 1u);
}

TEST(HistoryFind, MatchesRunAcrossRecordsAndTheDirectionChange) {
    SHistory h;
    h.In("an ER");
    h.In("R");
    h.In("OR: 42 and ");
    h.Out("\x55");
    h.In("\xAA tail");
    const auto text = FindForward(h.store, CBytePattern(Query("ERROR")));
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, (SFindMatch{0, 3, 3, 5, 8}));
    const auto regex =
        FindForward(h.store, CBytePattern(Query(R"(ERR(OR)?:\s+\d+)", EFindMode::Pattern)));
    ASSERT_TRUE(regex);
    EXPECT_EQ(*regex, (SFindMatch{0, 3, 3, 9, 12}));
    const auto hex = FindForward(h.store, CBytePattern(Query("55aa", EFindMode::Hex)));
    ASSERT_TRUE(hex);
    EXPECT_EQ(*hex, (SFindMatch{3, 0, 17, 2, 19}));
}

TEST(HistoryFind, OneDirectionSearchesItsOwnBytesAcrossTheOther) {
    SHistory h;
    h.In("ER");
    h.Out("echo");
    h.In("ROR");
    h.Out("ERROR");
    const CBytePattern in(Query("ERROR", EFindMode::Text, true, kDirectionIncoming));
    const auto found = FindForward(h.store, in);
    ASSERT_TRUE(found);
    // Five bytes matched, spread over nine of the history.
    EXPECT_EQ(*found, (SFindMatch{0, 0, 0, 5, 9}));
    EXPECT_EQ(CountMatches(h.store, in), 1u);
    const CBytePattern out(Query("ERROR", EFindMode::Text, true, kDirectionOutgoing));
    EXPECT_EQ(FindAll(h.store, out), (std::vector<SFindMatch>{{3, 0, 9, 5, 14}}));
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("ERROR"))), 1u);
}

TEST(HistoryFind, MatchesDoNotOverlapAndGoLeftToRight) {
    SHistory h;
    h.In("aaa");
    h.In("aa");
    EXPECT_EQ(CountMatches(h.store, CBytePattern(Query("aa"))), 2u);
    // A greedy pattern takes both records at once, the empty match never.
    EXPECT_EQ(FindAll(h.store, CBytePattern(Query("a*", EFindMode::Pattern))),
              (std::vector<SFindMatch>{{0, 0, 0, 5, 5}}));
    // The next match after one starts where it ended.
    const CBytePattern aa(Query("aa"));
    const auto first = FindForward(h.store, aa);
    CHistoryOffsets offsets;
    offsets.Update(h.store);
    const auto second = FindForward(h.store, aa, offsets.PointAt(h.store, first->historyEnd));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->historyOffset, 2u);
    EXPECT_EQ(second->sequence, 0u);
    EXPECT_EQ(second->offset, 2u);
}

TEST(HistoryFind, LineStartsAndLookbehindSeeTheBytesBeforeTheStart) {
    SHistory h;
    h.In("x\n");
    h.In("x\nax");
    CHistoryOffsets offsets;
    offsets.Update(h.store);
    const CBytePattern line(Query("^x", EFindMode::Pattern));
    EXPECT_EQ(CountMatches(h.store, line), 2u);
    // From the second record on: its first byte follows a line end.
    const auto next = FindForward(h.store, line, offsets.PointOf(h.store, 1, 0));
    ASSERT_TRUE(next);
    EXPECT_EQ(next->historyOffset, 2u);
    // From the middle of a line, ^ does not match where the search starts.
    EXPECT_FALSE(FindForward(h.store, line, offsets.PointAt(h.store, 5)));
    const CBytePattern behind(Query("(?<=a)x", EFindMode::Pattern));
    const auto found = FindForward(h.store, behind, offsets.PointAt(h.store, 5));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->historyOffset, 5u);
}

TEST(HistoryFind, BackwardFindsTheLastMatchBeforeAPosition) {
    SHistory h;
    // Past several strides, the only match far from the end.
    h.In("xx NEEDLE yy");
    const std::string filler(1 << 20, '.');
    for (int i = 0; i < 10; ++i) {
        h.In(filler);
    }
    h.In("NEEDLE end");
    CHistoryOffsets offsets;
    offsets.Update(h.store);
    const std::uint64_t total = offsets.TotalBytes();
    for (const CBytePattern& p :
         {CBytePattern(Query("NEEDLE")), CBytePattern(Query("N[E]+DLE", EFindMode::Pattern))}) {
        const auto last = FindBackward(h.store, offsets, p, kHistoryEnd);
        ASSERT_TRUE(last);
        EXPECT_EQ(last->historyOffset, total - 10);
        const auto before = FindBackward(h.store, offsets, p, last->historyOffset);
        ASSERT_TRUE(before);
        EXPECT_EQ(*before, (SFindMatch{0, 3, 3, 6, 9}));
        EXPECT_FALSE(FindBackward(h.store, offsets, p, 3));
        // In slices: the same answer.
        CHistoryBackwardSearch sliced(h.store, offsets, p, last->historyOffset);
        int steps = 0;
        while (!sliced.Step(1 << 16)) {
            ++steps;
        }
        EXPECT_GT(steps, 2);
        EXPECT_EQ(sliced.Result(), before);
    }
}

TEST(HistoryFind, WindowBoundariesLoseNothing) {
    // Random records, a few large; matches compared with a search of all the
    // bytes at once, read in one step and in small slices.
    std::mt19937 rng(7);
    SHistory h;
    std::size_t total = 0;
    while (total < 3 * CHistoryScan::kWindowBytes) {
        const std::size_t size = rng() % 10 == 0 ? rng() % 400'000 : rng() % 300;
        std::string bytes(size, 'a');
        for (char& c : bytes) {
            c = "abAB\n-"[rng() % 6];
        }
        rng() % 3 == 0 ? h.Out(bytes) : h.In(bytes);
        total += size;
    }
    for (const std::uint32_t direction : {0u, kDirectionIncoming}) {
        const std::string all = h.All(direction);
        const CBytePattern literal(Query("abba", EFindMode::Text, true, direction));
        std::vector<std::size_t> found;
        CHistoryScan scan(h.store, literal, SHistoryPoint{});
        while (!scan.Step(100'000, [&found](const SFindMatch& m) {
            found.push_back(m.historyOffset);
            return true;
        })) {
        }
        const std::vector<std::size_t> expected = LiteralMatches(all, "abba");
        ASSERT_EQ(found.size(), expected.size());
        if (direction == 0) {
            EXPECT_EQ(found, expected);
        }
        // A pattern's matches: the same as the pattern over the whole buffer.
        const CBytePattern regex(Query("b[aA]+b|^-+$", EFindMode::Pattern, false, direction));
        std::vector<std::uint64_t> lengths;
        for (const SFindMatch& m : FindAll(h.store, regex)) {
            lengths.push_back(m.length);
        }
        std::vector<std::uint64_t> whole;
        for (std::size_t at = 0;;) {
            const SPatternMatch m = regex.Match(all, at, false, true);
            if (m.kind != SPatternMatch::EKind::Full) {
                break;
            }
            whole.push_back(m.end - m.begin);
            at = m.end;
        }
        EXPECT_EQ(lengths, whole) << direction;
    }
}

TEST(HistoryFind, AMatchAcrossTheWindowsEdgeIsFoundWhole) {
    for (const std::size_t before : {1u, 3u, 5u}) {
        SHistory h;
        h.In(std::string(CHistoryScan::kWindowBytes - before, '.'));
        h.In("NEEDLE");
        h.In(std::string(CHistoryScan::kWindowBytes - 2, 'x') + "xx.");
        const std::uint64_t at = CHistoryScan::kWindowBytes - before;
        EXPECT_EQ(FindAll(h.store, CBytePattern(Query("NEEDLE"))),
                  (std::vector<SFindMatch>{{1, 0, at, 6, at + 6}}))
            << before;
        EXPECT_EQ(FindAll(h.store, CBytePattern(Query("NE+DLE", EFindMode::Pattern))),
                  (std::vector<SFindMatch>{{1, 0, at, 6, at + 6}}))
            << before;
        // A match longer than a window, carried over as one.
        const auto run = FindAll(h.store, CBytePattern(Query("x+", EFindMode::Pattern)));
        ASSERT_EQ(run.size(), 1u);
        EXPECT_EQ(run[0].length, CHistoryScan::kWindowBytes);
    }
}

TEST(HistoryFind, AScanTakenUpAtItsPointGoesOnAsItWould) {
    // After every step, a new scan from the point the old one got to finds
    // the rest of its matches: across records, a direction and window edges.
    SHistory h;
    std::mt19937 rng(3);
    for (int i = 0; i < 400; ++i) {
        std::string bytes(rng() % 40, 'a');
        for (char& c : bytes) {
            c = "ab\nx"[rng() % 4];
        }
        rng() % 4 == 0 ? h.Out(bytes) : h.In(bytes);
    }
    for (const SFindQuery& query :
         {Query("ab+a", EFindMode::Pattern), Query("(?<=x)a", EFindMode::Pattern),
          Query("^b", EFindMode::Pattern),
          Query("aa", EFindMode::Text, true, kDirectionIncoming)}) {
        const CBytePattern p(query);
        const std::vector<SFindMatch> all = FindAll(h.store, p);
        ASSERT_FALSE(all.empty()) << query.text;
        std::vector<SFindMatch> found;
        CHistoryScan scan(h.store, p, SHistoryPoint{}, kHistoryEnd, 64);
        for (int steps = 0; !scan.Step(50,
                                       [&found](const SFindMatch& m) {
                                           found.push_back(m);
                                           return true;
                                       });
             ++steps) {
            const SHistoryPoint at = scan.Point();
            EXPECT_EQ(at.history, scan.Position());
            const SDataRecord record =
                *h.store.Record(std::min(at.record, h.store.RecordCount() - 1));
            EXPECT_LE(at.offset, record.length);
            std::vector<SFindMatch> rest = found;
            CHistoryScan again(h.store, p, at, kHistoryEnd, 64);
            again.Step(std::size_t(-1), [&rest](const SFindMatch& m) {
                rest.push_back(m);
                return true;
            });
            ASSERT_EQ(rest, all) << query.text << " taken up after step " << steps;
        }
        EXPECT_EQ(found, all);
    }
}

TEST(HistoryFind, LineStartsAtAWindowsEdgeMatchAsInOneBuffer) {
    // Line ends where a small window ends, and ^ between CR and LF, which
    // PCRE2 skips or not depending on where a search starts.
    SHistory h;
    h.In("x\r\nab\r\rx\nab\r\n");
    h.In("ee\x03\r\nthree\r\nx");
    for (const char* text : {"\r^", "^\nab", "^x", "^\nthr", "b$"}) {
        const CBytePattern p(Query(text, EFindMode::Pattern));
        const auto whole = FindAll(h.store, p);
        EXPECT_FALSE(whole.empty()) << text;
        for (std::size_t window = 1; window <= 8; ++window) {
            std::vector<SFindMatch> found;
            CHistoryScan scan(h.store, p, SHistoryPoint{}, kHistoryEnd, window);
            scan.Step(std::size_t(-1), [&found](const SFindMatch& m) {
                found.push_back(m);
                return true;
            });
            EXPECT_EQ(found, whole) << text << " through a window of " << window;
        }
    }
}

TEST(HistoryFind, SearchesSpilledHistoryAsItSearchesMemory) {
    test::CTempDir dir;
    SHistory spilled;
    spilled.store.SetHistoryBudget(std::size_t{1} << 20, dir.Path());
    SHistory kept;
    std::mt19937 rng(3);
    for (int i = 0; i < 4000; ++i) {
        std::string bytes(rng() % 2000, 'x');
        for (char& c : bytes) {
            c = static_cast<char>('0' + rng() % 10);
        }
        spilled.In(bytes);
        kept.In(bytes);
        if (i % 100 == 0) {
            spilled.store.FlushLiveLogs();
        }
    }
    spilled.store.FlushLiveLogs();
    ASSERT_FALSE(spilled.store.SpillPath().empty());
    const CBytePattern p(Query("1234|5{3}", EFindMode::Pattern));
    const auto matches = FindAll(spilled.store, p);
    EXPECT_GT(matches.size(), 100u);
    EXPECT_EQ(matches, FindAll(kept.store, p));
    CHistoryOffsets offsets;
    offsets.Update(spilled.store);
    EXPECT_EQ(FindBackward(spilled.store, offsets, p, kHistoryEnd), matches.back());
}

TEST(HistoryFind, AScanSteppedWhileTheHistorySpillsUnderItFindsWhatAWholeScanFinds) {
    // Between steps the store takes records and drops the oldest segments
    // to disk: a step must not leave the scan reading memory the store
    // gave back (ASan would catch that), nor lose or repeat a match. Mixed
    // directions and one-direction patterns cut the segments' runs.
    test::CTempDir dir;
    SHistory h;
    h.store.SetHistoryBudget(std::size_t{64} << 10, dir.Path());
    std::mt19937 rng(11);
    const auto add = [&](int records) {
        for (int i = 0; i < records; ++i) {
            std::string bytes(1 + rng() % 600, 'x');
            for (char& c : bytes) {
                c = static_cast<char>('0' + rng() % 10);
            }
            (rng() % 5 == 0 ? h.Out(bytes) : h.In(bytes));
        }
        h.store.FlushLiveLogs();
    };
    add(400);
    for (const std::uint32_t direction : {0u, kDirectionIncoming, kDirectionOutgoing}) {
        SFindQuery query = Query("12|3{3}", EFindMode::Pattern);
        query.direction = direction;
        const CBytePattern p(query);
        std::vector<SFindMatch> stepped;
        CHistoryScan scan(h.store, p, SHistoryPoint{}, kHistoryEnd, 16384);
        for (int steps = 0; !scan.Step(7000,
                                       [&stepped](const SFindMatch& m) {
                                           stepped.push_back(m);
                                           return true;
                                       });
             ++steps) {
            if (steps < 40) {
                add(40);
            }
        }
        const auto whole = FindAll(h.store, p);
        ASSERT_GT(whole.size(), 500u);
        EXPECT_EQ(stepped, whole) << "direction " << direction;
    }
    EXPECT_GT(h.store.SpillPath().size(), 0u);
}

TEST(HistoryOffsets, PointsAgreeWithRecordsAndStartAgainAfterAClear) {
    SHistory h;
    std::vector<std::uint64_t> starts;
    std::uint64_t total = 0;
    for (int i = 0; i < 100; ++i) {
        starts.push_back(total);
        const std::string bytes(i % 7, 'z');  // some records empty
        h.In(bytes);
        total += bytes.size();
    }
    CHistoryOffsets offsets;
    EXPECT_FALSE(offsets.Update(h.store, 40));
    EXPECT_TRUE(offsets.Update(h.store));
    EXPECT_EQ(offsets.TotalBytes(), total);
    for (std::size_t r = 0; r < 100; ++r) {
        EXPECT_EQ(offsets.PointOf(h.store, r, 0).history, starts[r]);
        if (r % 7 >= 2) {
            EXPECT_EQ(offsets.PointAt(h.store, starts[r] + 1),
                      (SHistoryPoint{r, 1, starts[r] + 1}));
        }
    }
    EXPECT_EQ(offsets.PointAt(h.store, total), (SHistoryPoint{100, 0, total}));
    h.store.ClearData();
    h.In("abc");
    offsets.Update(h.store);
    EXPECT_EQ(offsets.TotalBytes(), 3u);
}

}  // namespace
}  // namespace quillpad
