// The line index and the windows drawn from it against the whole history
// rendered at once, which is what the view showed before: random histories
// through random schemes, compared character by character.

#include "view/CLineIndex.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <tuple>

#include "platform/MessageChannel.h"
#include "styles/BuiltinSchemes.h"
#include "tests/support/TestPaths.h"
#include "tests/support/WholeRender.h"
#include "view/RenderRecordOf.h"
#include "view/SameFormat.h"

namespace quillpad {
namespace {

namespace fs = std::filesystem;

constexpr bool DrawsNothing(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || (b >= 0x7F && b < 0xA0);
}

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned roll = rng() % 100;
        char c;
        if (roll < 12) {
            c = '\r';
        } else if (roll < 24) {
            c = '\n';
        } else if (roll < 38) {
            c = '\b';
        } else if (roll < 43) {
            c = '\0';
        } else if (roll < 50) {
            c = static_cast<char>(0x80 + rng() % 0x80);
        } else if (roll < 55) {
            c = static_cast<char>(rng() % 0x20);
        } else {
            c = static_cast<char>('a' + rng() % 6);
        }
        bytes.push_back(c);
    }
    return bytes;
}

// Long runs of bytes that are written as themselves or by name, as device
// traffic has them, broken by the bytes the rules treat apart: backspaces
// (several in a row too), CR, LF and CR LF, tabs, NUL, ESC, DEL and high
// bytes, alone or in runs, so that a count takes whole runs at a time and
// stops at every kind of edge.
std::string RandomRunBytes(std::mt19937& rng, std::size_t n) {
    static const char kEdges[] = {'\b', '\r', '\n', '\t', '\0', '\x1b', '\x7f', ' '};
    std::string bytes;
    while (bytes.size() < n) {
        const unsigned roll = rng() % 100;
        if (roll < 40) {
            const std::size_t run = 1 + rng() % 70;
            for (std::size_t k = 0; k < run; ++k) {
                bytes.push_back(static_cast<char>(0x20 + rng() % 0x5F));
            }
        } else if (roll < 50) {
            const std::size_t run = 1 + rng() % 40;
            for (std::size_t k = 0; k < run; ++k) {
                bytes.push_back(static_cast<char>(0x80 + rng() % 0x80));
            }
        } else if (roll < 60) {
            bytes += "\r\n";
        } else if (roll < 68) {
            bytes.append(1 + rng() % 4, '\b');
        } else if (roll < 75) {
            const std::size_t run = 1 + rng() % 30;
            for (std::size_t k = 0; k < run; ++k) {
                bytes.push_back(static_cast<char>(rng() % 0x20));
            }
        } else {
            bytes.push_back(kEdges[rng() % sizeof(kEdges)]);
        }
    }
    bytes.resize(n);
    return bytes;
}

// A rule for the runs above: besides the classes, custom sets that pick a
// byte or two out of a run (a space, a letter, a comma or a tab), so the
// stretch of bytes a count takes at once has holes in it.
SStyleRule RandomEdgeRule(std::mt19937& rng) {
    SStyleRule r;
    r.Direction_MatchValue = static_cast<std::int32_t>(rng() % 3);
    r.Owner_MatchValue = rng() % 5 == 0 ? static_cast<std::int32_t>(1 + rng() % 2) : 0;
    r.CharRange_MatchValue = static_cast<std::int32_t>(rng() % 5);
    if (r.CharRange_MatchValue == kClassCustom) {
        static const char* kSets[] = {"20",    "61",    "2C,2E", "41-5A",   "09",    "1B",
                                      "7F",    "08",    "0D",    "0A",      "0D,0A", "20,08",
                                      "80-FF", "00-1F", "30-39", "09,20,7E"};
        r.SetCustomValues(kSets[rng() % 16]);
    }
    r.Format_ApplyColor = rng() % 3 != 0;
    r.CharFormat.crTextColor = rng() % 4;
    r.Format_ApplyFormat = rng() % 4 != 0;
    r.Format_CharacterFormat = static_cast<std::int32_t>(rng() % 4);
    r.Format_AlwaysInterpretCRLFBSTB = rng() % 2 == 0;
    r.Format_InsertCRLFIfTranslated = rng() % 2 == 0;
    return r;
}

SStyleRule RandomRule(std::mt19937& rng) {
    SStyleRule r;
    r.Direction_MatchValue = static_cast<std::int32_t>(rng() % 3);
    r.Owner_MatchValue = rng() % 4 == 0 ? static_cast<std::int32_t>(1 + rng() % 3) : 0;
    r.CharRange_MatchValue = static_cast<std::int32_t>(rng() % 5);
    if (r.CharRange_MatchValue == kClassCustom) {
        static const char* kSets[] = {"0D", "0A", "08", "0D,0A", "00-1F", "61-63", "08,0A,80-FF"};
        r.SetCustomValues(kSets[rng() % 7]);
    }
    r.Format_ApplyColor = rng() % 3 != 0;
    r.CharFormat.crTextColor = rng() % 4;
    r.CharFormat.dwEffects = rng() % 2;
    r.Format_ApplyFormat = rng() % 3 != 0;
    r.Format_CharacterFormat = static_cast<std::int32_t>(rng() % 4);
    r.Format_AlwaysInterpretCRLFBSTB = rng() % 2 == 0;
    r.Format_InsertCRLFIfTranslated = rng() % 2 == 0;
    return r;
}

// Every character of `window`, placed at `place`, as the whole render has it.
void ExpectAsWhole(const CDisplayDocument& ref, const CDisplayDocument& window,
                   SWindowPlace place) {
    ASSERT_LE(place.start + window.Size(), ref.Size());
    EXPECT_EQ(ref.LineOf(place.start), place.firstLine);
    ASSERT_EQ(ref.Text().substr(place.start, window.Size()), window.Text());
    // The first character whose record or drawn format differs, if any.
    std::size_t k = 0;
    for (; k < window.Size(); ++k) {
        const std::size_t g = place.start + k;
        if (window.RecordAt(k) != ref.RecordAt(g) ||
            (!DrawsNothing(window.Text()[k]) &&
             !SameFormat(window.Format(window.RunFormat(window.RunAt(k))),
                         ref.Format(ref.RunFormat(ref.RunAt(g)))))) {
            break;
        }
    }
    EXPECT_EQ(k, window.Size()) << "record or format differs at " << place.start + k;
}

// One random case: a store, a scheme and the whole render of the store.
class CCase {
  public:
    // With `runs`, long records of RandomRunBytes through RandomEdgeRule
    // rules or a built-in scheme.
    explicit CCase(std::uint32_t seed, bool runs = false) : m_rng(seed), m_runs(runs) {
        const std::size_t rules = m_rng() % 5;
        if (runs && m_rng() % 3 == 0) {
            static const auto a = MakeBuiltinSchemes(EBuiltinSet::A);
            static const auto b = MakeBuiltinSchemes(EBuiltinSet::B);
            const auto& set = m_rng() % 2 == 0 ? a : b;
            const CStyleScheme& builtin = *set[m_rng() % set.size()];
            for (std::size_t i = 0; i < builtin.RuleCount(); ++i) {
                m_scheme.AppendRule(builtin.Rule(i));
            }
        }
        for (std::size_t i = 0; i < rules; ++i) {
            m_scheme.AppendRule(runs ? RandomEdgeRule(m_rng) : RandomRule(m_rng));
        }
        m_scheme.LineWrap = m_rng() % 2 == 0;  // a matter of layout: must change nothing here
        m_noScheme = m_rng() % 16 == 0;
        m_showAll = m_rng() % 3 == 0;
        m_reference.SetGeneration(m_store.Generation());
        m_renderer.SetScheme(Scheme());
        m_spacing.lines = 1 + m_rng() % 4;
        m_spacing.chars = 1 + m_rng() % 24;
        m_spacing.pieceBytes = 1 + m_rng() % (runs ? 200 : 8);
        // A third of the cases colour what patterns find, drawn apart so the
        // other cases stay as they were.
        std::mt19937 patterns(seed ^ 0x9E3779B9U);
        if (rules > 0 && patterns() % 3 == 0) {
            static const char* kPatterns[] = {
                "a+", "b[a-c]", "[\\x80-\\xff]+", "c.", "ab|ba", "\\x00|\\x08", "(", ""};
            m_scheme.PatternRules = true;
            for (std::size_t i = 0; i < rules; ++i) {
                if (patterns() % 2 == 0) {
                    m_scheme.Rule(i).RegEx_Match = true;
                    m_scheme.Rule(i).RegEx_MatchValue = kPatterns[patterns() % 8];
                }
            }
        }
    }

    const CStyleScheme* Scheme() const { return m_noScheme ? nullptr : &m_scheme; }

    void AddRecords(std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::string bytes =
                m_runs ? RandomRunBytes(m_rng, m_rng() % 400) : RandomBytes(m_rng, m_rng() % 16);
            // 9 is not own; a mark shows whatever sources do.
            const std::uint32_t pick = m_rng() % 8;
            const std::uint32_t owner = pick < 2 ? 9 : pick == 2 ? kMarkOwnerId : 0;
            const SRecordRef ref = owner == kMarkOwnerId || m_rng() % 3 == 0
                                       ? m_store.AddOutgoingBytes(owner, bytes)
                                       : m_store.AddIncomingBytes(owner, bytes);
            m_renderer.Render(m_reference, RenderRecordOf(*m_store.Find(ref), ref.sequence),
                              m_showAll);
        }
    }

    void ExpectSame(const CDisplayDocument& window, SWindowPlace place) const {
        ExpectAsWhole(m_reference, window, place);
    }

    // A random window by lines and one by characters, both checked.
    void CheckWindows(const CLineIndex& index) {
        const CDisplayDocument& ref = m_reference;
        ASSERT_EQ(index.LineCount(), ref.LineCount());
        ASSERT_EQ(index.TextSize(), ref.Size());
        const std::uint64_t lines = ref.LineCount();
        const std::uint64_t first = m_rng() % lines;
        const std::uint64_t last = std::min<std::uint64_t>(lines, first + 1 + m_rng() % 4);
        CDisplayDocument window;
        SWindowPlace place = index.RenderLines(m_store, first, last, window);
        ASSERT_NO_FATAL_FAILURE(ExpectSame(window, place));
        // It holds the lines asked for, whole.
        EXPECT_LE(place.firstLine, first);
        EXPECT_LE(place.start, ref.LineStart(first));
        EXPECT_GE(place.start + window.Size(), ref.LineEnd(last - 1));

        const std::uint64_t from = m_rng() % (ref.Size() + 1);
        const std::uint64_t to = std::min<std::uint64_t>(ref.Size(), from + m_rng() % 12);
        place = index.RenderRange(m_store, from, to, window);
        ASSERT_NO_FATAL_FAILURE(ExpectSame(window, place));
        EXPECT_LE(place.start, from);
        EXPECT_GE(place.start + window.Size(), to);
    }

    // Every line drawn on its own from the index, as the whole render has it.
    void CheckEveryLine(const CLineIndex& index) {
        ASSERT_EQ(index.LineCount(), m_reference.LineCount());
        ASSERT_EQ(index.TextSize(), m_reference.Size());
        CDisplayDocument window;
        for (std::uint64_t line = 0; line < m_reference.LineCount(); ++line) {
            ASSERT_NO_FATAL_FAILURE(
                ExpectSame(window, index.RenderLines(m_store, line, line + 1, window)));
        }
    }

    std::mt19937 m_rng;
    bool m_runs = false;
    CQueuedChannel m_channel;
    CDataStore m_store{m_channel};
    CStyleScheme m_scheme;
    bool m_noScheme = false;
    bool m_showAll = false;
    SLineIndexSpacing m_spacing;
    CStyledRenderer m_renderer;
    CDisplayDocument m_reference;
};

SStyleRule TextRule() {
    SStyleRule r;
    r.Format_ApplyFormat = true;
    r.Format_CharacterFormat = kFormatText;
    return r;
}

class LineIndex : public ::testing::Test {
  protected:
    CQueuedChannel channel;
    CDataStore store{channel};
    CStyleScheme scheme;
    void SetUp() override { scheme.AppendRule(TextRule()); }
};

TEST_F(LineIndex, ABackspaceAfterACheckpointTakesWhatCameBeforeIt) {
    store.AddIncomingBytes(0, "one\rabcdef");
    store.AddIncomingBytes(0, "\b\b\bX");
    CLineIndex index(&scheme, false, {.lines = 100, .chars = 1, .pieceBytes = 100});
    ASSERT_TRUE(index.Build(store));
    const auto& points = index.Checkpoints();
    ASSERT_EQ(points.size(), 3u);
    // Reached after "abcdef", of which the line keeps three.
    EXPECT_EQ(points[1].record, 1u);
    EXPECT_EQ(points[1].line, 1u);
    EXPECT_EQ(points[1].lineStart, 4u);
    EXPECT_EQ(points[1].depth, 6u);
    EXPECT_EQ(points[1].survivors, 3u);
    CDisplayDocument window;
    SWindowPlace place = index.RenderRange(store, 7, 8, window);
    EXPECT_EQ(place.start, 7u);
    EXPECT_EQ(window.Text(), "X");
    // The line's start lies before the checkpoint: drawn from the one before.
    place = index.RenderLines(store, 1, 2, window);
    EXPECT_EQ(place.start, 0u);
    EXPECT_EQ(place.firstLine, 0u);
    EXPECT_EQ(window.Text(), "one\nabcX");
    // A later record goes on deleting on the open line.
    store.AddIncomingBytes(0, "\b\b\b\b\bZ");
    ASSERT_TRUE(index.Build(store));
    EXPECT_EQ(index.Checkpoints()[1].survivors, 0u);
    // Now nothing before the checkpoint survives: the line is drawn from it.
    place = index.RenderLines(store, 1, 2, window);
    EXPECT_EQ(place.start, 4u);
    EXPECT_EQ(window.Text(), "Z");
    EXPECT_EQ(index.TextSize(), 5u);
}

TEST_F(LineIndex, BuiltInSlicesItHasTheSameCheckpointsAsAtOnce) {
    for (int i = 0; i < 40; ++i) {
        store.AddIncomingBytes(0, "line " + std::to_string(i) + "\r\n" + std::string(i, 'x'));
    }
    const SLineIndexSpacing spacing{.lines = 3, .chars = 50, .pieceBytes = 7};
    CLineIndex whole(&scheme, false, spacing);
    ASSERT_TRUE(whole.Build(store));
    CLineIndex sliced(&scheme, false, spacing);
    int calls = 1;
    while (!sliced.Build(store, 5)) {
        ++calls;
    }
    EXPECT_GT(calls, 40);
    ASSERT_EQ(sliced.Checkpoints().size(), whole.Checkpoints().size());
    for (std::size_t i = 0; i < whole.Checkpoints().size(); ++i) {
        const auto& a = whole.Checkpoints()[i];
        const auto& b = sliced.Checkpoints()[i];
        EXPECT_EQ(std::tie(a.record, a.point, a.line, a.lineStart, a.depth, a.survivors),
                  std::tie(b.record, b.point, b.line, b.lineStart, b.depth, b.survivors));
    }
    EXPECT_EQ(sliced.LineCount(), 41u);  // CR LF as text is one break
}

// The golden renderings' logs and styles (tests/ref), drawn line by line
// from an index with checkpoints close together.
TEST(LineIndexAgainstWholeRender, TheGoldenRenderingCases) {
    const fs::path root = fs::path(quillpad::test::SourceDir()) / "tests" / "ref";
    int cases = 0;
    for (const auto& entry : fs::directory_iterator(root)) {
        if (!fs::exists(entry.path() / "log.wblog")) {
            continue;
        }
        SCOPED_TRACE(entry.path().filename().string());
        ++cases;
        CQueuedChannel channel;
        CDataStore store(channel);
        ASSERT_TRUE(store.LoadLog((entry.path() / "log.wblog").string()).accepted);
        CStyleScheme scheme;
        ASSERT_TRUE(scheme.Load((entry.path() / "style.tss").string(), false));
        std::ifstream options(entry.path() / "options");
        std::string option;
        bool showAll = false;
        while (std::getline(options, option)) {
            showAll = showAll || option == "--show-all-sources";
        }
        const CDisplayDocument whole = test::WholeRender(store, &scheme, showAll);
        ASSERT_GT(whole.Size(), 0u);
        CLineIndex index(&scheme, showAll, {.lines = 2, .chars = 16, .pieceBytes = 5});
        ASSERT_TRUE(index.Build(store));
        ASSERT_EQ(index.TextSize(), whole.Size());
        CDisplayDocument window;
        for (std::uint64_t line = 0; line < whole.LineCount(); ++line) {
            ASSERT_NO_FATAL_FAILURE(
                ExpectAsWhole(whole, window, index.RenderLines(store, line, line + 1, window)));
        }
    }
    EXPECT_GE(cases, 10);
}

void RunCases(std::uint32_t firstSeed, std::uint32_t count) {
    for (std::uint32_t seed = firstSeed; seed < firstSeed + count; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        CCase c(seed);
        CLineIndex index(c.Scheme(), c.m_showAll, c.m_spacing);
        // Records arrive in batches; the index is built in slices of
        // random size, and catches up now and then.
        const std::size_t batches = 1 + c.m_rng() % 3;
        for (std::size_t b = 0; b < batches; ++b) {
            c.AddRecords(c.m_rng() % 6);
            index.Build(c.m_store, 1 + c.m_rng() % 40);
            if (c.m_rng() % 3 == 0) {
                ASSERT_TRUE(index.Build(c.m_store));
                ASSERT_NO_FATAL_FAILURE(c.CheckWindows(index));
            }
        }
        ASSERT_TRUE(index.Build(c.m_store));
        ASSERT_NO_FATAL_FAILURE(c.CheckWindows(index));

        // The first screen drawn from the end is the end of the whole text.
        CDisplayDocument tail;
        const std::size_t lines = 1 + c.m_rng() % 5;
        const std::size_t held =
            RenderLastLines(c.m_store, c.Scheme(), c.m_showAll, lines, tail, 1 + c.m_rng() % 64);
        EXPECT_EQ(held, tail.LineCount());
        ASSERT_NO_FATAL_FAILURE(
            c.ExpectSame(tail, {c.m_reference.Size() - tail.Size(),
                                c.m_reference.LineOf(c.m_reference.Size() - tail.Size())}));
    }
}

// Long runs through the rules' edges, indexed in slices of random size
// (which cut runs anywhere), each line drawn from the index.
TEST(LineIndexAgainstWholeRender, LongRunsCountAsTheWholeRenderDrawsThem) {
    for (std::uint32_t seed = 1; seed <= 500; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        CCase c(seed, true);
        CLineIndex index(c.Scheme(), c.m_showAll, c.m_spacing);
        const std::size_t batches = 1 + c.m_rng() % 3;
        for (std::size_t b = 0; b < batches; ++b) {
            c.AddRecords(1 + c.m_rng() % 5);
            index.Build(c.m_store, 1 + c.m_rng() % 600);
        }
        ASSERT_TRUE(index.Build(c.m_store));
        ASSERT_NO_FATAL_FAILURE(c.CheckEveryLine(index));
        // The same history at once has the same checkpoints as in slices.
        CLineIndex whole(c.Scheme(), c.m_showAll, c.m_spacing);
        ASSERT_TRUE(whole.Build(c.m_store));
        ASSERT_EQ(whole.Checkpoints().size(), index.Checkpoints().size());
        for (std::size_t i = 0; i < whole.Checkpoints().size(); ++i) {
            const auto& a = whole.Checkpoints()[i];
            const auto& p = index.Checkpoints()[i];
            ASSERT_EQ(std::tie(a.record, a.point, a.line, a.lineStart, a.depth, a.survivors),
                      std::tie(p.record, p.point, p.line, p.lineStart, p.depth, p.survivors))
                << "checkpoint " << i;
        }
    }
}

// 10,000 cases in four parts, which the test runner can run side by side.
constexpr std::uint32_t kCasesPerPart = 2500;

TEST(LineIndexAgainstWholeRender, WindowsDrawWhatItShowsPart1) {
    RunCases(1, kCasesPerPart);
}
TEST(LineIndexAgainstWholeRender, WindowsDrawWhatItShowsPart2) {
    RunCases(1 + kCasesPerPart, kCasesPerPart);
}
TEST(LineIndexAgainstWholeRender, WindowsDrawWhatItShowsPart3) {
    RunCases(1 + 2 * kCasesPerPart, kCasesPerPart);
}
TEST(LineIndexAgainstWholeRender, WindowsDrawWhatItShowsPart4) {
    RunCases(1 + 3 * kCasesPerPart, kCasesPerPart);
}

}  // namespace
}  // namespace quillpad
