// The session's ability engine against the simulated controller's console,
// byte for byte, without a link in between.
#include <gtest/gtest.h>

#include "devsim/CDevSimEngine.h"
#include "nxr/CNxrAbilityJob.h"

namespace quillpad {
namespace {

struct SRun {
    ByteString data;  // what the console is shown as the ability's
    ByteString rest;  // what came after its prompt
    std::vector<SNxrAbilityEvent> events;
};

class AbilityOnDevSim : public ::testing::Test {
  protected:
    // Moves bytes both ways until the job ends or waits for time or for the
    // user; `chunk` splits what the device says into pieces of that size.
    void Exchange(CNxrAbilityJob& job, SRun& run, std::size_t chunk = 0) {
        for (ByteString out = job.TakeOutput(); !out.empty(); out = job.TakeOutput()) {
            const ByteString answer = m_device.Receive(out);
            std::string_view left = answer;
            while (!left.empty()) {
                const std::size_t n = chunk == 0 ? left.size() : std::min(chunk, left.size());
                const std::size_t used = job.Feed(left.substr(0, n), m_now);
                if (used < n) {
                    run.rest += ByteString(left.substr(used));
                    break;
                }
                left.remove_prefix(n);
            }
            run.data += job.TakeData();
            for (auto& e : job.TakeEvents()) {
                run.events.push_back(std::move(e));
            }
        }
    }
    void Advance(CNxrAbilityJob& job, SRun& run, std::uint32_t ms) {
        m_now += ms;
        const ByteString said = m_device.Tick(m_now);
        job.Feed(said, m_now);
        job.Tick(m_now);
        run.data += job.TakeData();
        for (auto& e : job.TakeEvents()) {
            run.events.push_back(std::move(e));
        }
        Exchange(job, run);
    }

    CDevSimEngine m_device{SDevSimOptions{}, [] { return std::int64_t{0}; }};
    std::uint32_t m_now = 1000;
};

TEST_F(AbilityOnDevSim, AnAnswerEndsAtThePromptWithoutEchoAndFailsOnTheDevicesError) {
    for (const std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
        CNxrAbilityJob job("DevInfo", 1000, m_now);
        SRun run;
        Exchange(job, run, chunk);
        ASSERT_TRUE(job.Finished()) << chunk;
        EXPECT_TRUE(job.Succeeded());
        EXPECT_EQ(job.AnswerText(),
                  "Model:    QX-200\nSerial:   SIM-000042\nFirmware: 4.2.7\nProgram:  running\n");
        // The console sees everything the device said, echo and prompt too.
        EXPECT_EQ(run.data.substr(0, 9), "DevInfo\r\n");
        EXPECT_EQ(run.data.substr(run.data.size() - 4), "\r\n> ");
        EXPECT_TRUE(run.rest.empty());
        EXPECT_TRUE(run.events.empty());
    }

    CNxrAbilityJob bad("NoSuchThing 1", 1000, m_now);
    SRun run;
    Exchange(bad, run);
    ASSERT_TRUE(bad.Finished());
    EXPECT_FALSE(bad.Succeeded());
    EXPECT_EQ(bad.ErrorText(), "error: unknown command \"NoSuchThing\" (try help)");
}

TEST_F(AbilityOnDevSim, AQuestionWaitsForTheUserAndItsAnswerGoesToTheDevice) {
    CNxrAbilityJob job("ProgramStop", 1000, m_now);
    SRun run;
    Exchange(job, run);
    ASSERT_EQ(run.events.size(), 1u);
    EXPECT_EQ(run.events[0].kind, ENxrAbilityEventKind::Query);
    EXPECT_EQ(run.events[0].value, 1);
    EXPECT_EQ(run.events[0].text, "Stop the running program main.qbp?");
    EXPECT_EQ(run.data.find("QUERY"), ByteString::npos);  // the protocol is not shown
    // The user may take longer than the device's time-out.
    Advance(job, run, 60'000);
    ASSERT_FALSE(job.Finished());
    job.Answer(std::string("yes"), m_now);
    Exchange(job, run);
    ASSERT_TRUE(job.Finished());
    EXPECT_TRUE(job.Succeeded());
    EXPECT_EQ(job.AnswerText(), "Program stopped\n");

    // Unanswered, the device gets an empty line and decides.
    CNxrAbilityJob again("ProgramRestart", 1000, m_now);
    Exchange(again, run);
    CNxrAbilityJob unanswered("ProgramStop", 1000, m_now);
    SRun second;
    Exchange(unanswered, second);
    unanswered.Answer(std::nullopt, m_now);
    Exchange(unanswered, second);
    ASSERT_TRUE(unanswered.Finished());
    EXPECT_EQ(unanswered.AnswerText(), "Program left running\n");
}

TEST_F(AbilityOnDevSim, ALongAbilityReportsItsProgressAndCanBeCancelled) {
    CNxrAbilityJob job("QbusMasterReportDevices 0,true", 1000, m_now);
    SRun run;
    Exchange(job, run);
    for (int i = 0; i < 8 && !job.Finished(); ++i) {
        Advance(job, run, CDevSimEngine::kScanStepMs);
    }
    ASSERT_TRUE(job.Finished());
    EXPECT_TRUE(job.Succeeded());
    std::vector<int> percents;
    for (const auto& e : run.events) {
        if (e.kind == ENxrAbilityEventKind::TaskProgress) {
            percents.push_back(e.value);
        }
    }
    EXPECT_EQ(percents, (std::vector<int>{0, 25, 50, 75, 100}));
    ASSERT_GE(run.events.size(), 2u);
    EXPECT_EQ(run.events.front().kind, ENxrAbilityEventKind::TaskStart);
    EXPECT_EQ(run.events.back().kind, ENxrAbilityEventKind::TaskComplete);
    EXPECT_TRUE(run.events.back().success);
    EXPECT_EQ(run.data.find("PROGRESS"), ByteString::npos);
    EXPECT_NE(job.AnswerText().find("Qbus 0,true: 2 devices"), std::string::npos);

    CNxrAbilityJob cancelled("QbusMasterReportDevices 1,true", 1000, m_now);
    SRun second;
    Exchange(cancelled, second);
    Advance(cancelled, second, CDevSimEngine::kScanStepMs);
    cancelled.Cancel();
    EXPECT_TRUE(cancelled.Finished());
    EXPECT_FALSE(cancelled.Succeeded());
    const auto ended = cancelled.TakeEvents();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].kind, ENxrAbilityEventKind::TaskComplete);
    EXPECT_FALSE(ended[0].success);
    // The device stops at the Ctrl-C and is ready for the next command.
    EXPECT_EQ(cancelled.TakeOutput(), ByteString(1, CNxrAbilityJob::kCancel));
    const ByteString after = m_device.Receive(ByteString(1, CNxrAbilityJob::kCancel));
    EXPECT_NE(after.find("cancelled"), ByteString::npos);
    EXPECT_FALSE(m_device.NeedsTick());
}

}  // namespace
}  // namespace quillpad
