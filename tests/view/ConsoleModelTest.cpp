// The console's model without a display: what needs the whole text's
// positions while a new scheme is still indexed. Each call returns within
// one bounded turn (counted in record bytes indexed, never timed), and once
// the index is complete the model ends where the same call made afterwards
// puts it. A newer waiting action replaces an older one; a restyle, a clear
// and the user's own moves drop it.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "styles/BuiltinSchemes.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeRender.h"
#include "view/CConsoleModel.h"

namespace quillpad {
namespace {

using test::AsCopied;
using test::WholeRender;

constexpr int kLines = 6000;  // about 120 KB of records
// Small slices: the index takes hundreds of them.
constexpr std::size_t kSlice = 256;

// A fixed room of 10 rows of 60 one-unit characters; the turns the model
// asks for are given by the test.
class CHost final : public IConsoleHost {
  public:
    void SyncFormats(const CDisplayDocument&, CLineLayout&) override {}
    float TextWidth() const override { return 60.0F; }
    int FullRows() const override { return 10; }
    SRoom Room() const override { return {600, 100}; }
    void WantTurns(bool want) override { wantsTurns = want; }
    void RepaintSoon() override {}
    void RepaintNow() override { model->Layout(); }
    void Redraw() override {}
    void CopyNow() override { copied = model->SelectedText(); }

    CConsoleModel* model = nullptr;
    bool wantsTurns = false;
    std::string copied = "before";
};

class ConsoleModel : public ::testing::Test {
  protected:
    ConsoleModel() : store(channel, clock), model(channel, store, settings, host) {
        host.model = &model;
        store.SetHistoryBudget(32 << 10, dir.File("cache"));
        schemes = MakeBuiltinSchemes(EBuiltinSet::B);
        model.SetIndexSliceBytes(kSlice);
        for (int i = 0; i < kLines; ++i) {
            store.AddIncomingBytes(0, "line " + std::to_string(i) + " of the log\r\n");
            clock.Advance(1);
        }
        model.SetScheme(schemes[2]);
        model.FinishIndex();
        whole = WholeRender(store, schemes[0].get());
    }
    // A restyle: the end is shown at once, the index starts from nothing.
    void Restyle() {
        model.SetScheme(schemes[0]);
        ASSERT_TRUE(model.IsIndexing());
        ASSERT_TRUE(host.wantsTurns);
        ASSERT_GT(store.TotalBytes(true), 4 * OneTurn()) << "the index takes many turns";
    }
    // The most record bytes one turn of indexing takes in: its slices, the
    // last running over by at most a piece of one record.
    static std::uint64_t OneTurn() {
        return CConsoleModel::kPriorityTurnSlices * kSlice + SLineIndexSpacing{}.pieceBytes;
    }
    std::uint64_t IndexedBy(const std::function<void()>& call) {
        const std::uint64_t before = model.IndexedBytes();
        call();
        return model.IndexedBytes() - before;
    }
    // Turns until the index is complete, each within its slices.
    void UntilIndexed() {
        for (int turn = 0; host.wantsTurns && turn < 100000; ++turn) {
            model.BuildStep();
        }
        ASSERT_FALSE(model.IsIndexing());
        EXPECT_LE(model.MostSlicesInATurn(), CConsoleModel::kPriorityTurnSlices);
    }

    test::CTempDir dir;
    CQueuedChannel channel;
    CManualClock clock{1000, 1700000000};
    CDataStore store;
    SViewSettings settings;
    CHost host;
    CConsoleModel model;
    std::vector<std::shared_ptr<CStyleScheme>> schemes;
    CDisplayDocument whole;
};

TEST_F(ConsoleModel, AJumpOrTheStartWhileIndexingLandsWhereItDoesAfterwards) {
    const std::size_t target = whole.LineStart(4321) + 5;
    Restyle();
    EXPECT_LE(IndexedBy([&] { model.ScrollToPosition(target); }), OneTurn());
    EXPECT_TRUE(model.IsIndexing()) << "the index is not finished inside the call";
    EXPECT_TRUE(model.HasPendingAction());
    UntilIndexed();
    const std::size_t waited = model.TopPosition();
    model.ScrollToEnd();
    model.ScrollToPosition(target);
    EXPECT_EQ(waited, model.TopPosition());
    EXPECT_EQ(whole.LineOf(waited), 4321u);
    EXPECT_FALSE(model.IsPinnedToEnd());

    // The start is shown at once, from a turn's worth of index.
    model.ScrollToEnd();
    Restyle();
    EXPECT_LE(IndexedBy([&] { model.UserScrollTo(0); }), OneTurn());
    EXPECT_TRUE(model.IsIndexing());
    EXPECT_EQ(model.TopPosition(), 0u);
    UntilIndexed();
    EXPECT_EQ(model.TopPosition(), 0u);
    EXPECT_FALSE(model.IsPinnedToEnd());
}

TEST_F(ConsoleModel, SelectAllAndCopyWhileIndexingCopyTheWholeTextOnceItIsThere) {
    Restyle();
    EXPECT_LE(IndexedBy([&] {
                  model.SelectAll();
                  model.Copy();
              }),
              OneTurn());
    EXPECT_EQ(host.copied, "before") << "nothing copied of a text not known yet";
    UntilIndexed();
    EXPECT_EQ(model.SelectionStart(), 0u);
    EXPECT_EQ(model.SelectionEnd(), whole.Size());
    EXPECT_EQ(host.copied, AsCopied(whole.Text()));

    // A selection set from outside, then copied.
    const std::size_t from = whole.LineStart(17) + 3;
    const std::size_t to = whole.LineStart(5000) + 2;
    host.copied = "before";
    Restyle();
    EXPECT_LE(IndexedBy([&] {
                  model.SetSelection(from, to);
                  model.Copy();
              }),
              OneTurn());
    EXPECT_EQ(host.copied, "before");
    UntilIndexed();
    EXPECT_EQ(host.copied, AsCopied(whole.Text().substr(from, to - from)));

    // What the user selects in the end shown meanwhile is copied at once,
    // and a double click takes the word.
    Restyle();
    model.Layout();
    const std::size_t at = model.HitTest(0, 2.0F, false);
    model.SelectWordAt(at);
    const std::string word = model.SelectedText();
    EXPECT_TRUE(word == "line" || word == "of" || word == "the" || word == "log" ||
                word.find_first_not_of("0123456789") == std::string::npos)
        << word;
    model.Copy();
    EXPECT_EQ(host.copied, word);
    EXPECT_FALSE(model.HasPendingAction());
}

TEST_F(ConsoleModel, TextSizeAndDocumentGiveWhatIsIndexedWithoutFinishingIt) {
    Restyle();
    for (int turn = 0; turn < 3; ++turn) {
        model.BuildStep();
    }
    ASSERT_TRUE(model.IsIndexing());
    std::size_t size = 0;
    std::string text;
    EXPECT_LE(IndexedBy([&] {
                  size = model.TextSize();
                  text = std::string(model.Document().Text());
              }),
              OneTurn());
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, whole.Size());
    EXPECT_EQ(text, whole.Text().substr(0, size)) << "what is indexed is the whole text's start";
    UntilIndexed();
    EXPECT_EQ(model.Document().Text(), whole.Text());
}

TEST_F(ConsoleModel, ANewerActionReplacesAWaitingOneAndARestyleAClearOrTheUserDropsIt) {
    const std::size_t first = whole.LineStart(1000);
    const std::size_t second = whole.LineStart(3000);
    Restyle();
    model.ScrollToPosition(first);
    model.ScrollToPosition(second);
    UntilIndexed();
    EXPECT_EQ(model.TopPosition(), second) << "the newer jump wins";

    model.ScrollToEnd();
    Restyle();
    model.ScrollToPosition(first);
    model.SetSelection(first, second);
    ASSERT_TRUE(model.HasPendingAction());
    Restyle();
    EXPECT_FALSE(model.HasPendingAction()) << "the positions were the old text's";
    UntilIndexed();
    EXPECT_TRUE(model.IsPinnedToEnd());
    EXPECT_EQ(model.SelectionStart(), model.SelectionEnd());

    const std::vector<std::function<void()>> userMoves{
        [&] { model.ScrollRows(-3); },
        [&] {
            model.BuildStep();  // a turn's worth indexed: somewhere to go
            model.UserScrollTo(whole.Size() / 10);
        },
        [&] { model.SelectShown(0, 4); },
    };
    for (std::size_t i = 0; i < userMoves.size(); ++i) {
        SCOPED_TRACE(i);
        model.ScrollToEnd();
        Restyle();
        model.ScrollToPosition(second);
        userMoves[i]();
        EXPECT_FALSE(model.HasPendingAction());
        UntilIndexed();
        EXPECT_NE(whole.LineOf(model.TopPosition()), 3000u) << "the jump was dropped";
    }

    model.ScrollToEnd();
    Restyle();
    model.ScrollToPosition(second);
    store.ClearData();
    model.Clear();
    EXPECT_FALSE(model.HasPendingAction());
    EXPECT_FALSE(model.IsIndexing());
    EXPECT_EQ(model.TextSize(), 0u);
}

// A flood brings more between two layouts than a turn indexes: the layout
// takes in one turn's worth, the rest follows in slices, and the model,
// which follows the end, ends on the flood's last line.
TEST_F(ConsoleModel, AFloodIsTakenInInSlicesAndTheModelEndsOnItsLastLine) {
    ASSERT_FALSE(model.IsIndexing());
    for (int i = 0; i < 3000; ++i) {
        store.AddIncomingBytes(0, "flood " + std::to_string(i) + " of the burst\r\n");
    }
    EXPECT_LE(IndexedBy([&] { model.ScrollToEnd(); }), OneTurn());
    EXPECT_TRUE(model.IsIndexing()) << "the rest of the flood is indexed in slices";
    UntilIndexed();
    model.Layout();
    const CDisplayDocument flooded = WholeRender(store, schemes[2].get());
    EXPECT_EQ(model.Document().Text(), flooded.Text());
    EXPECT_TRUE(model.IsPinnedToEnd());
    ASSERT_FALSE(model.Rows().empty());
    const std::size_t start = model.ShownStart();
    const std::string_view shown = model.ShownDocument().Text().substr(
        model.Rows().front().start - start, model.Rows().back().end - model.Rows().front().start);
    // The style shows bytes in hex: "2999".
    EXPECT_NE(shown.find("[32h][39h][39h][39h]"), std::string_view::npos) << shown;
}

}  // namespace
}  // namespace quillpad
