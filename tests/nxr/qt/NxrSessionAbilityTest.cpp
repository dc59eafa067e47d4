// Abilities through the session on the in-process simulated controller: what
// goes to the device, whose data comes back, questions, progress, cancel.

#include <gtest/gtest.h>

#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/SimConsoleFixture.h"

namespace quillpad {
namespace {

using test::WaitFor;

class NxrSessionAbility : public test::CSimConsoleFixture {
  protected:
    std::uint32_t Run(std::string_view name, std::int32_t timeoutMs = 1000) {
        std::uint32_t id = 0;
        EXPECT_EQ(session.Ability(0, BytesToWide(name), timeoutMs, &id, 0, 0, &handle), 0);
        EXPECT_NE(id, 0u);
        return id;
    }
    bool Done(std::uint32_t id) {
        return WaitFor([&] { return sink.AbilityCompletion(id) != nullptr; });
    }
};

TEST_F(NxrSessionAbility, AbilitiesRunInTurnEachWithItsOwnDataAndTheDevicesErrorWords) {
    const std::uint32_t info = Run("DevInfo");
    const std::uint32_t firmware = Run("Firmware");
    const std::uint32_t bad = Run("Nope 1");
    ASSERT_TRUE(Done(bad));
    ASSERT_TRUE(sink.AbilityCompletion(info)->success);
    ASSERT_TRUE(sink.AbilityCompletion(firmware)->success);
    EXPECT_FALSE(sink.AbilityCompletion(bad)->success);
    EXPECT_EQ(session.ErrorText(bad), "error: unknown command \"Nope\" (try help)");

    EXPECT_EQ(sink.transmittedBy[info], "DevInfo\r");
    EXPECT_EQ(sink.transmittedBy[firmware], "Firmware\r");
    const ByteString& answer = sink.receivedBy[info];
    EXPECT_EQ(answer.substr(0, 9), "DevInfo\r\n");
    EXPECT_NE(answer.find("Serial:   SIM-000042\r\n"), ByteString::npos);
    EXPECT_EQ(answer.substr(answer.size() - 2), "> ");
    EXPECT_NE(sink.receivedBy[firmware].find("firmware 4.2.7"), ByteString::npos);
    EXPECT_EQ(sink.receivedBy[firmware].find("Serial"), ByteString::npos);

    // Typed data stays the console's own, and a command holding a line break
    // is refused before anything reaches the device.
    const std::uint32_t split = Run("ver\rver");
    ASSERT_TRUE(Done(split));
    EXPECT_FALSE(sink.AbilityCompletion(split)->success);
    EXPECT_EQ(sink.transmittedBy.count(split), 0u);
    ASSERT_EQ(session.Send(BytesToWide("ver\r"), 1000, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.receivedBy[0].find("firmware") != ByteString::npos; }));
}

TEST_F(NxrSessionAbility, AQuestionIsAskedThroughTheSinkAndALongAbilityShowsItsProgress) {
    sink.onQuery = [](const std::string&) { return std::optional<std::string>("yes"); };
    const std::uint32_t stop = Run("ProgramStop");
    ASSERT_TRUE(Done(stop));
    EXPECT_TRUE(sink.AbilityCompletion(stop)->success);
    ASSERT_EQ(sink.queries.size(), 1u);
    EXPECT_EQ(sink.queries[0], std::to_string(stop) + " 1 Stop the running program main.qbp?");
    EXPECT_NE(sink.receivedBy[stop].find("Program stopped"), ByteString::npos);
    EXPECT_EQ(sink.receivedBy[stop].find("QUERY"), ByteString::npos);

    const std::uint32_t scan = Run("QbusMasterReportDevices 0,true");
    ASSERT_TRUE(Done(scan));
    const std::string id = std::to_string(scan);
    EXPECT_EQ(sink.tasks,
              (std::vector<std::string>{
                  "start " + id + " QbusMasterReportDevices 0,true: Scanning Qbus 0,true",
                  "progress " + id + " 0", "progress " + id + " 25", "progress " + id + " 50",
                  "progress " + id + " 75", "progress " + id + " 100", "complete " + id + " ok"}));
}

TEST_F(NxrSessionAbility, CancelAndCloseCompleteAnAbilityOnceAndTheGroupDialogsHearOfTheirOwn) {
    const std::uint32_t scan = Run("QbusMasterReportDevices 0,true");
    const std::uint32_t queued = Run("Firmware");
    ASSERT_TRUE(WaitFor([&] { return !sink.tasks.empty(); }));
    EXPECT_EQ(session.Cancel(queued, 2, &handle), 0);
    EXPECT_EQ(session.Cancel(scan, 2, &handle), 0);
    ASSERT_TRUE(Done(scan));
    ASSERT_TRUE(Done(queued));
    EXPECT_FALSE(sink.AbilityCompletion(scan)->success);
    EXPECT_NE(session.ErrorText(scan).find("was cancelled"), std::string::npos);
    EXPECT_FALSE(sink.AbilityCompletion(queued)->success);
    EXPECT_EQ(sink.transmittedBy.count(queued), 0u);  // it never went out

    // The device is usable again; a group dialog's ability answers the dialog.
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    ASSERT_EQ(session.AbilityInfo(&a, &b, &handle), 0);
    ASSERT_EQ(CNxrSession::FromAbilityInfo(a), &session);
    EXPECT_EQ(b, handle);
    std::optional<std::string> heard;
    std::uint32_t own = 0;
    ASSERT_EQ(CNxrSession::FromAbilityInfo(a)->RunAbility(
                  "Firmware", 1000,
                  [&](bool ok, const std::string& answer, const std::string&) {
                      heard = ok ? answer : "failed";
                  },
                  &own, &b),
              0);
    ASSERT_TRUE(WaitFor([&] { return heard.has_value(); }));
    EXPECT_EQ(*heard, "QX-200 firmware 4.2.7 (build 1187)\n");
    EXPECT_EQ(sink.AbilityCompletion(own), nullptr);

    const int before = sink.AbilityCompletions();
    const std::uint32_t cut = Run("QbusMasterReportDevices 1,true");
    ASSERT_TRUE(WaitFor([&] { return sink.tasks.size() > 2; }));
    NxrHandle copy = handle;
    ASSERT_EQ(session.Close(&copy), 0);
    ASSERT_TRUE(Done(cut));
    EXPECT_FALSE(sink.AbilityCompletion(cut)->success);
    QCoreApplication::processEvents();
    EXPECT_EQ(sink.AbilityCompletions(), before + 1);
}

TEST(NxrSessionAbilityGone, ASessionThatIsGoneIsNotFoundByItsAbilityValue) {
    std::uint32_t a = 0;
    {
        CNxrSession session;
        NxrHandle handle = 0;
        RegisterDevSimTransport();
        ASSERT_EQ(session.Open(BytesToWide("sim:"), BytesToWide("test"), &handle), 0);
        ASSERT_EQ(session.AbilityInfo(&a, nullptr, &handle), 0);
        EXPECT_EQ(CNxrSession::FromAbilityInfo(a), &session);
    }
    EXPECT_EQ(CNxrSession::FromAbilityInfo(a), nullptr);
}

}  // namespace
}  // namespace quillpad
