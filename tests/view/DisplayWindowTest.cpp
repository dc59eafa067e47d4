// Rows drawn from a window of the history against the rows of the whole
// render laid out at once, which is what the view showed before: random
// histories through random schemes, at random widths, with chunks small
// enough that windows cut them everywhere.

#include "view/CDisplayWindow.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/MessageChannel.h"
#include "view/RenderRecordOf.h"

namespace quillpad {
namespace {

using SRow = CLineLayout::SRow;

// Widths that differ by format, so that wrapping depends on every run.
CLineLayout::AdvanceTable AdvancesOf(const SCharFormat& format) {
    CLineLayout::AdvanceTable table{};
    for (unsigned b = 0; b < 256; ++b) {
        table[b] = 1.0f + static_cast<float>((b + format.crTextColor + format.dwEffects) % 3);
    }
    return table;
}

void SyncFormats(const CDisplayDocument& document, CLineLayout& layout) {
    layout.ClearFormats();
    for (std::size_t f = 0; f < document.FormatCount(); ++f) {
        layout.AddFormat(AdvancesOf(document.Format(f)));
    }
}

std::string RandomBytes(std::mt19937& rng, std::size_t n, unsigned breaks) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned roll = rng() % 100;
        char c;
        if (roll < breaks) {
            c = rng() % 2 == 0 ? '\r' : '\n';
        } else if (roll < breaks + 6) {
            c = '\b';
        } else if (roll < breaks + 16) {
            c = ' ';
        } else if (roll < breaks + 19) {
            c = '\t';
        } else if (roll < breaks + 22) {
            c = static_cast<char>(rng() % 0x20);
        } else {
            c = static_cast<char>('a' + rng() % 6);
        }
        bytes.push_back(c);
    }
    return bytes;
}

SStyleRule RandomRule(std::mt19937& rng) {
    SStyleRule r;
    r.Direction_MatchValue = static_cast<std::int32_t>(rng() % 3);
    r.CharRange_MatchValue = static_cast<std::int32_t>(rng() % 5);
    r.Format_ApplyColor = rng() % 2 == 0;
    r.CharFormat.crTextColor = rng() % 4;
    r.Format_ApplyFormat = rng() % 2 == 0;
    r.Format_CharacterFormat = static_cast<std::int32_t>(rng() % 4);
    r.Format_InsertCRLFIfTranslated = rng() % 2 == 0;
    return r;
}

class CWindowCase {
  public:
    explicit CWindowCase(std::uint32_t seed) : m_rng(seed) {
        for (std::size_t i = m_rng() % 4; i > 0; --i) {
            m_scheme.AppendRule(RandomRule(m_rng));
        }
        m_renderer.SetScheme(&m_scheme);
        m_whole.SetGeneration(m_store.Generation());
        m_chunk = 3 + m_rng() % 30;
        m_width = static_cast<float>(4 + m_rng() % 40);
        m_breaks = m_rng() % 3 == 0 ? 1 : 8;  // some histories are few, long lines
        m_index = std::make_unique<CLineIndex>(
            &m_scheme, false,
            SLineIndexSpacing{1 + m_rng() % 6, 1 + m_rng() % 40, 1 + m_rng() % 8});
        m_window = std::make_unique<CDisplayWindow>(m_store, m_chunk);
        m_window->SetFormatSync(SyncFormats);
        m_window->SetIndex(m_index.get());
        m_window->SetWidth(m_width);
    }

    void AddRecords(std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const SRecordRef ref =
                m_store.AddIncomingBytes(0, RandomBytes(m_rng, m_rng() % 40, m_breaks));
            m_renderer.Render(m_whole, RenderRecordOf(*m_store.Find(ref), ref.sequence), false);
        }
        ASSERT_TRUE(m_index->Build(m_store));
        m_window->IndexGrew();
    }

    // A run of random questions, each answered as the whole layout answers.
    void Compare(int questions) {
        CLineLayout whole(m_whole, m_chunk);
        SyncFormats(m_whole, whole);
        whole.SetWidth(m_width);
        ASSERT_EQ(m_window->TextSize(), m_whole.Size());
        const std::size_t size = m_whole.Size();
        for (int q = 0; q < questions; ++q) {
            const std::size_t p = m_rng() % (size + 1);
            const std::size_t n = 1 + m_rng() % 8;
            SCOPED_TRACE("position " + std::to_string(p) + " of " + std::to_string(size));
            switch (m_rng() % 4) {
                case 0:
                    ASSERT_EQ(m_window->RowsFrom(p, n), whole.RowsFrom(p, n));
                    break;
                case 1:
                    ASSERT_EQ(m_window->LastRows(n), whole.LastRows(n));
                    break;
                case 2: {
                    const int k = static_cast<int>(m_rng() % 13) - 6;
                    ASSERT_EQ(m_window->MoveRows(p, k), whole.MoveRows(p, k)) << "by " << k;
                    break;
                }
                default:
                    ASSERT_EQ(m_window->RowStartOf(p), whole.RowStartOf(p));
                    break;
            }
        }
        // What the window holds is the whole text there.
        const CDisplayDocument& drawn = m_window->Document();
        ASSERT_LE(m_window->Start() + drawn.Size(), size);
        EXPECT_EQ(drawn.Text(), m_whole.Text().substr(m_window->Start(), drawn.Size()));
    }

    std::mt19937 m_rng;
    CQueuedChannel m_channel;
    CDataStore m_store{m_channel};
    CStyleScheme m_scheme;
    CStyledRenderer m_renderer;
    CDisplayDocument m_whole;
    std::size_t m_chunk = 8;
    float m_width = 10;
    unsigned m_breaks = 8;
    std::unique_ptr<CLineIndex> m_index;
    std::unique_ptr<CDisplayWindow> m_window;
};

TEST(DisplayWindowAgainstWholeLayout, RowsMovesAndTheEndAsTheWholeLayoutHasThem) {
    for (std::uint32_t seed = 1; seed <= 800; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        CWindowCase c(seed);
        // Records keep arriving while the window is asked: the open line
        // changes under a window drawn over it.
        for (std::size_t batch = 1 + c.m_rng() % 3; batch > 0; --batch) {
            ASSERT_NO_FATAL_FAILURE(c.AddRecords(1 + c.m_rng() % 30));
            ASSERT_NO_FATAL_FAILURE(c.Compare(12));
        }
    }
}

TEST(DisplayWindow, LeadPutsTheFirstLinesChunksWhereTheWholeLineHasThem) {
    // "abcdefghij" from its 3rd character, in chunks of 4: the whole line's
    // chunks start at 0, 4, 8, so the window's rows start at 1 ("ef" after
    // "d"), then 5.
    CDisplayDocument doc;
    doc.AppendRun("defghij", 0);
    CLineLayout layout(doc, 4);
    layout.SetWidth(100);
    layout.SetFirstLineLead(3);
    EXPECT_EQ(layout.RowsFrom(0, 3), (std::vector<SRow>{{0, 1}, {1, 5}, {5, 7}}));
    EXPECT_EQ(layout.MoveRows(6, -1), 1u);
    layout.SetFirstLineLead(0);
    EXPECT_EQ(layout.RowsFrom(0, 3), (std::vector<SRow>{{0, 4}, {4, 7}}));
}

TEST(DisplayWindow, WithoutAnIndexItShowsNothing) {
    CQueuedChannel channel;
    CDataStore store(channel);
    store.AddIncomingBytes(0, "abc");
    CDisplayWindow window(store);
    EXPECT_EQ(window.TextSize(), 0u);
    EXPECT_EQ(window.LastRows(3), (std::vector<SRow>{{0, 0}}));
}

}  // namespace
}  // namespace quillpad
