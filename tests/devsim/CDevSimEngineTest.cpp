#include "devsim/CDevSimEngine.h"

#include <gtest/gtest.h>

namespace quillpad {
namespace {

CDevSimEngine Engine(bool echo = true) {
    SDevSimOptions options;
    options.echo = echo;
    return CDevSimEngine(options, [] { return std::int64_t{0}; });
}

bool Has(const ByteString& text, std::string_view words) {
    return text.find(words) != ByteString::npos;
}

TEST(DevSimEngine, GreetsEchoesAndAnswersCommands) {
    auto engine = Engine();
    EXPECT_TRUE(Has(engine.Start(), "QX-200"));
    EXPECT_EQ(engine.Start().substr(engine.Start().size() - 2), "> ");

    EXPECT_EQ(engine.Receive("ve"), "ve");
    const ByteString answer = engine.Receive("r\r\n");
    EXPECT_EQ(answer.substr(0, 3), "r\r\n");
    EXPECT_TRUE(Has(answer, "firmware 4.2.7"));
    EXPECT_EQ(answer.substr(answer.size() - 2), "> ");

    EXPECT_TRUE(Has(engine.Receive("HELP\r"), "burst <n>"));
    EXPECT_TRUE(Has(engine.Receive("info\r"), "Serial:   SIM-000042"));
    EXPECT_TRUE(Has(engine.Receive("time\r"), "Clock: 19"));
    EXPECT_TRUE(Has(engine.Receive("bogus 1\r"), "unknown command \"bogus\""));
    EXPECT_TRUE(Has(engine.Receive("ProgramRestart\r"), "Program restarted"));
    // The bus scan takes its time and reports its progress on the way.
    EXPECT_TRUE(Has(engine.Receive("QbusMasterReportDevices 0,true\r"), "PROGRESS 0 Scanning"));
    EXPECT_TRUE(engine.NeedsTick());
    EXPECT_TRUE(Has(engine.Tick(1000), "Qbus 0,true: 2 devices"));
    EXPECT_FALSE(engine.NeedsTick());
    for (const char* ability : {"DevInfo", "Firmware", "SystemClock", "Program", "SerialComm"}) {
        EXPECT_FALSE(Has(engine.Receive(std::string(ability) + "\r"), "unknown")) << ability;
    }
    // Backspace edits the line.
    EXPECT_TRUE(Has(engine.Receive("vexx\b\x7fr\r"), "firmware"));
}

TEST(DevSimEngine, LoginAsksForAPasswordAndNeverEchoesIt) {
    auto engine = Engine();
    EXPECT_EQ(engine.Receive("login\r"), "login\r\nPassword: ");
    const ByteString answer = engine.Receive("hunter2x\b2\r");
    EXPECT_FALSE(Has(answer, "hunter")) << answer;
    EXPECT_EQ(answer, "\r\nLogged in.\r\n> ");
    EXPECT_EQ(engine.Receive("ver"), "ver") << "echo is back after the password";
    // Ctrl-C gives up the login.
    engine.Receive("\r");
    engine.Receive("login\r");
    EXPECT_TRUE(Has(engine.Receive("\x03"), "cancelled"));
    EXPECT_EQ(engine.Receive("x"), "x");
}

TEST(DevSimEngine, WithoutEchoOnlyAnswers) {
    auto engine = Engine(false);
    const ByteString answer = engine.Receive("ver\r");
    EXPECT_EQ(answer.substr(0, 5), "QX-20");
}

TEST(DevSimEngine, BurstCarriesEveryByteValue) {
    auto engine = Engine();
    const ByteString out = engine.Receive("burst 600\r");
    const auto start = out.find("\r\n") + 2;
    ASSERT_GE(out.size(), start + 600);
    for (std::size_t i = 0; i < 600; ++i) {
        ASSERT_EQ(static_cast<unsigned char>(out[start + i]), i % 256) << i;
    }
    EXPECT_TRUE(Has(out.substr(start + 600), "burst done 600"));
    EXPECT_TRUE(Has(engine.Receive("burst 99999999999\r"), "error: burst needs a count"));
}

TEST(DevSimEngine, RawEchoesEveryByteUntouchedThenReports) {
    auto engine = Engine();
    EXPECT_TRUE(Has(engine.Receive("raw 512\r"), "raw 512\r\n"));
    ByteString all;
    for (int i = 0; i < 512; ++i) {
        all.push_back(static_cast<char>(i));
    }
    const ByteString first = engine.Receive(all.substr(0, 100));
    EXPECT_EQ(first, all.substr(0, 100));
    const ByteString rest = engine.Receive(all.substr(100) + "ver\r");
    EXPECT_EQ(rest.substr(0, 412), all.substr(100));
    EXPECT_TRUE(Has(rest.substr(412), "raw done 512"));
    EXPECT_TRUE(Has(rest.substr(412), "firmware")) << "commands resume after the raw bytes";
}

TEST(DevSimEngine, FloodRunsAtItsRateAndStops) {
    auto engine = Engine();
    EXPECT_EQ(engine.Receive("flood 1000 300\r"), "flood 1000 300\r\n");
    ASSERT_TRUE(engine.Flooding());
    EXPECT_EQ(engine.FloodDue(100, 1 << 20), 100u);
    ByteString got = engine.TakeFlood(100);
    EXPECT_EQ(engine.FloodDue(150, 1 << 20), 50u);
    EXPECT_EQ(engine.FloodDue(150, 10), 10u) << "never more than the link takes";
    EXPECT_EQ(engine.FloodDue(5000, 1 << 20), 200u) << "never past the count";
    got += engine.TakeFlood(1000);
    EXPECT_FALSE(engine.Flooding());
    EXPECT_EQ(got.substr(0, 300), CDevSimEngine::FloodBytes(0, 300));
    EXPECT_TRUE(Has(got.substr(300), "flood done 300 bytes"));

    engine.Receive("flood 0\r");
    EXPECT_EQ(engine.FloodDue(0, 4096), 4096u);
    engine.TakeFlood(4096);
    EXPECT_TRUE(Has(engine.Receive("\x03"), "flood stopped after 4096 bytes"));
    EXPECT_FALSE(engine.Flooding());
    EXPECT_TRUE(Has(engine.Receive("flood\r"), "error: flood needs"));
}

TEST(DevSimEngine, FloodLinesAreNumberedAndSplitAnywhere) {
    const ByteString whole = CDevSimEngine::FloodBytes(0, 64 * 3);
    EXPECT_EQ(whole.substr(0, 9), "00000000 ");
    EXPECT_EQ(whole.substr(64, 9), "00000001 ");
    EXPECT_EQ(whole.substr(62, 2), "\r\n");
    EXPECT_EQ(CDevSimEngine::FloodBytes(70, 50), whole.substr(70, 50));
}

TEST(DevSimEngine, NoticesABreak) {
    auto engine = Engine();
    engine.Receive("half a line");
    EXPECT_TRUE(Has(engine.Break(), "*** BREAK received ***"));
    EXPECT_EQ(engine.BreaksSeen(), 1);
    EXPECT_TRUE(Has(engine.Receive("\r"), "> ")) << "the half line was dropped";
    EXPECT_FALSE(Has(engine.Receive("\r"), "unknown"));
}

TEST(DevSimEngine, OverlongLineIsRefused) {
    auto engine = Engine(false);
    EXPECT_TRUE(Has(engine.Receive(ByteString(5000, 'a') + "\r"), "line too long"));
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

// Runs an engine of the console against the simulated controller.
template <class Engine>
ByteString Converse(CDevSimEngine& device, Engine& console, ByteString& shown) {
    std::uint32_t now = 0;
    ByteString got;
    for (int turn = 0; turn < 200000 && console.State() == EXModemState::Running; ++turn) {
        const ByteString toDevice = console.TakeOutput();
        ByteString fromDevice = device.Receive(toDevice);
        if (toDevice.empty()) {
            now += 100;
            fromDevice += device.Tick(now);
            console.Tick(now);
        }
        console.Feed(fromDevice, now);
        if constexpr (requires { console.TakeData(); }) {
            got += console.TakeData();
        }
    }
    shown = device.Receive(console.TakeOutput());  // the last answer
    return got;
}

TEST(CDevSimEngineXModem, ReceivesAFileAndReportsItsSizeAndSum) {
    CDevSimEngine device;
    const ByteString said = device.Receive("xmodem receive\r");
    EXPECT_NE(said.find("waiting for your XModem Send"), ByteString::npos);
    EXPECT_EQ(said.back(), 'C');  // it asks at once
    EXPECT_TRUE(device.XModemRunning());
    ByteString data(5000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 13);
    }
    CNxrXModemSender console(data, {.use1K = true}, 0);
    console.Feed("C", 0);
    // The report comes with the ACK of the EOT; catch it there.
    std::uint32_t now = 0;
    ByteString report;
    while (console.State() == EXModemState::Running && now < 100000) {
        const ByteString out = device.Receive(console.TakeOutput());
        report += out;
        console.Feed(out, now);
        now += 1;
    }
    EXPECT_EQ(console.State(), EXModemState::Done) << console.ErrorText();
    EXPECT_FALSE(device.XModemRunning());
    const std::uint32_t padded =
        CDevSimEngine::Sum(ByteString(5120 - 5000, '\x1A'), CDevSimEngine::Sum(data));
    EXPECT_NE(report.find("xmodem: received 5120 bytes, sum " + std::to_string(padded)),
              ByteString::npos)
        << report;
    EXPECT_EQ(report.substr(report.size() - 2), "> ");
}

TEST(CDevSimEngineXModem, SendsItsPatternAndTheConsoleResumes) {
    CDevSimEngine device;
    EXPECT_NE(device.Receive("xmodem send 3000\r").find("start your XModem Receive"),
              ByteString::npos);
    CNxrXModemReceiver console({}, 0);
    ByteString shown;
    const ByteString got = Converse(device, console, shown);
    ASSERT_EQ(console.State(), EXModemState::Done) << console.ErrorText();
    ASSERT_GE(got.size(), 3000u);
    for (std::size_t i = 0; i < 3000; ++i) {
        ASSERT_EQ(got[i], CDevSimEngine::BurstByte(i)) << i;
    }
    EXPECT_FALSE(device.XModemRunning());
    EXPECT_NE(shown.find("xmodem: sent 3000 bytes"), ByteString::npos) << shown;
    EXPECT_NE(device.Receive("ver\r").find("firmware"), ByteString::npos);
}

TEST(CDevSimEngineXModem, BadArgumentsAndACancelSayWhy) {
    CDevSimEngine device;
    EXPECT_NE(device.Receive("xmodem send lots\r").find("error: xmodem receive, or xmodem send"),
              ByteString::npos);
    EXPECT_FALSE(device.XModemRunning());
    device.Receive("xmodem receive\r");
    const ByteString said = device.Receive(ByteString(2, '\x18'));
    EXPECT_NE(said.find("receive failed: cancelled by the sender"), ByteString::npos) << said;
    EXPECT_FALSE(device.XModemRunning());
}

}  // namespace
}  // namespace quillpad
