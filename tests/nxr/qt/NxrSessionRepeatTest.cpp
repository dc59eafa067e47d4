// Periodic sends through the session: written on the I/O thread while the
// owner's thread is held up, stored as the console's own outgoing data, told
// back a few times a second and ended exactly once, whether they run out,
// are stopped, or the link fails or closes under them.

#include <gtest/gtest.h>
#include <QTest>

#include <chrono>
#include <thread>

#include "nxr/NxrCodes.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/ScriptedTransport.h"
#include "tests/nxr/qt/SessionTestSupport.h"

namespace quillpad {
namespace {

using namespace std::chrono_literals;
using test::SScriptedLink;
using test::WaitFor;

struct SRepeatNews {
    std::uint32_t id;
    std::uint32_t sent;
    std::optional<ESendEnd> end;
};

class CRepeatSink final : public test::CRecordingSink {
  public:
    std::int32_t OnSendRepeat(std::uint32_t id, std::uint32_t sent,
                              std::optional<ESendEnd> end) override {
        news.push_back({id, sent, end});
        return 0;
    }
    std::vector<SRepeatNews> Ends(std::uint32_t id) const {
        std::vector<SRepeatNews> ends;
        for (const SRepeatNews& n : news) {
            if (n.id == id && n.end) {
                ends.push_back(n);
            }
        }
        return ends;
    }
    std::vector<SRepeatNews> news;
};

class NxrSessionRepeat : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ServeScriptedLinks(transports, {link});
        session.Advise(&sink);
        ASSERT_EQ(session.Open(BytesToWide("sim:"), {}, &handle), 0);
        std::uint32_t id = 0;
        session.Request(nxr_request::Connect, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    }
    std::size_t Writes() { return link->Writes().size(); }

    std::shared_ptr<SScriptedLink> link = std::make_shared<SScriptedLink>();
    CNxrTransportRegistry transports;
    CNxrSession session{transports};
    CRepeatSink sink;
    NxrHandle handle = 0;
};

TEST_F(NxrSessionRepeat, KeepsItsPeriodWhileTheOwnerIsHeldUpAndIsStoredAsTheConsolesOwn) {
    constexpr std::uint32_t kCount = 20;
    ASSERT_EQ(session.StartRepeat(5, "T!", 10, kCount, &handle), 0);
    // The owner's thread does nothing but wait, 30 ms at a time, without
    // turning its loop: three periods each time.
    const auto until = std::chrono::steady_clock::now() + 400ms;
    while (std::chrono::steady_clock::now() < until && Writes() < kCount) {
        std::this_thread::sleep_for(30ms);
    }
    ASSERT_TRUE(WaitFor([&] { return !sink.Ends(5).empty(); }));
    const auto writes = link->Writes();
    ASSERT_EQ(writes.size(), kCount);
    // Held up by the owner, a send would come 30 ms after the last (or
    // late, in a burst, every third period); a loaded machine may hold a
    // send or two up anyway.
    int heldUp = 0;
    for (std::size_t k = 1; k < writes.size(); ++k) {
        EXPECT_EQ(writes[k].second, "T!");
        heldUp += writes[k].first - writes[k - 1].first >= 25ms ? 1 : 0;
    }
    EXPECT_LE(heldUp, 2) << "sends as far apart as the owner's spells";
    // Planned from the first send's millisecond: none before its time. The
    // first write may itself come late in that millisecond or past it (the
    // sanitizers slow the way to the link), which the others do not repeat.
    for (std::size_t k = 0; k < writes.size(); ++k) {
        const auto due = std::chrono::milliseconds(10 * static_cast<std::int64_t>(k));
        EXPECT_GE(writes[k].first - writes[0].first, due - 2ms) << "send " << k;
    }
    // The records are the console's own, one per send, as a typed send's.
    ByteString all;
    for (std::uint32_t k = 0; k < kCount; ++k) {
        all += "T!";
    }
    EXPECT_EQ(sink.transmittedBy[0], all);
    EXPECT_EQ(sink.transmitted, all);
    const auto ends = sink.Ends(5);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].end, ESendEnd::Done);
    EXPECT_EQ(ends[0].sent, kCount);
    // Counts come in between, a few, never more than were sent, rising.
    std::uint32_t last = 0;
    int counts = 0;
    for (const SRepeatNews& n : sink.news) {
        if (!n.end) {
            ++counts;
            EXPECT_GT(n.sent, last);
            EXPECT_LE(n.sent, kCount);
            last = n.sent;
        }
    }
    EXPECT_GE(counts, 1);
    EXPECT_LE(counts, 10) << "at most one count per 50 ms of a 200 ms repeat";
}

TEST_F(NxrSessionRepeat, IsRefusedWithoutALinkOrBytesAndEachRunHasItsOwnId) {
    NxrHandle other = 0;
    EXPECT_EQ(session.StartRepeat(1, "x", 10, 1, &other), ToStatus(ENxrResult::NotOpen));
    EXPECT_EQ(session.StartRepeat(1, "", 10, 1, &handle), ToStatus(ENxrResult::BadArgument));
    ASSERT_EQ(session.StartRepeat(2, "x", 1000, 0, &handle), 0);
    EXPECT_EQ(session.StartRepeat(2, "y", 10, 0, &handle), ToStatus(ENxrResult::BadArgument))
        << "id 2 is still running";
    ASSERT_TRUE(WaitFor([&] { return Writes() == 1; }));

    // Stopped: its end, once, with the exact count, and nothing after.
    ASSERT_EQ(session.StopRepeat(2, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return !sink.Ends(2).empty(); }));
    EXPECT_EQ(sink.Ends(2)[0].end, ESendEnd::Stopped);
    EXPECT_EQ(sink.Ends(2)[0].sent, 1u);
    // Its id is free again once its end was told.
    EXPECT_EQ(session.StartRepeat(2, "z", 10, 2, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.Ends(2).size() == 2; }));
    EXPECT_EQ(sink.Ends(2)[1].end, ESendEnd::Done);
    EXPECT_EQ(link->Taken(), "xzz");

    // After a disconnect the session refuses, as a send is refused.
    std::uint32_t id = 0;
    session.Request(nxr_request::Disconnect, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_EQ(session.StartRepeat(3, "x", 10, 1, &handle), ToStatus(ENxrResult::NotConnected));
    EXPECT_NE(session.ErrorText(0).find("not connected"), std::string::npos);
}

TEST_F(NxrSessionRepeat, AFailingWriteADisconnectAndACloseEndEveryRepeatOnce) {
    // The link takes five sends, then fails the sixth.
    link->takes = 5 * 3;
    ASSERT_EQ(session.StartRepeat(1, "abc", 10, 0, &handle), 0);
    ASSERT_EQ(session.StartRepeat(2, "-", 500, 0, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return !sink.Ends(1).empty() && !sink.Ends(2).empty(); }));
    EXPECT_EQ(sink.Ends(1)[0].end, ESendEnd::Failed);
    EXPECT_EQ(sink.Ends(1)[0].sent, 4u) << "four whole sends and the dash went; the fifth was cut";
    EXPECT_EQ(sink.Ends(2)[0].end, ESendEnd::Failed);
    EXPECT_EQ(sink.Ends(2)[0].sent, 1u);
    const std::size_t written = Writes();
    QTest::qWait(60);
    EXPECT_EQ(Writes(), written) << "nothing goes after the link failed";
    EXPECT_EQ(sink.Ends(1).size(), 1u);
}

TEST(NxrSessionRepeatClose, ClosingOrDisconnectingMidRepeatEndsItAndNothingGoesAfter) {
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "disconnect");
        auto link = std::make_shared<SScriptedLink>();
        CNxrTransportRegistry transports;
        test::ServeScriptedLinks(transports, {link});
        CNxrSession session{transports};
        CRepeatSink sink;
        session.Advise(&sink);
        NxrHandle handle = 0;
        ASSERT_EQ(session.Open(BytesToWide("sim:"), {}, &handle), 0);
        std::uint32_t id = 0;
        session.Request(nxr_request::Connect, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
        ASSERT_EQ(session.StartRepeat(9, "p", 10, 0, &handle), 0);
        ASSERT_TRUE(WaitFor([&] { return link->Writes().size() >= 4; }));
        if (close) {
            ASSERT_EQ(session.Close(&handle), 0);
        } else {
            session.Request(nxr_request::Disconnect, NxrEmptyParamBlock(), -1, &id, nullptr, 0,
                            &handle);
        }
        ASSERT_TRUE(WaitFor([&] { return !sink.Ends(9).empty(); }));
        const std::size_t written = link->Writes().size();
        QTest::qWait(60);
        EXPECT_EQ(link->Writes().size(), written);
        const auto ends = sink.Ends(9);
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].end, ESendEnd::Failed);
        EXPECT_EQ(ends[0].sent, written) << "the count told is the count that went";
    }
}

}  // namespace
}  // namespace quillpad
