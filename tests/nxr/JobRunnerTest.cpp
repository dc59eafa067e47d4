#include "nxr/CNxrJobRunner.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace quillpad {
namespace {

// What a fake job is told to do and what the runner did with it; it outlives
// the job, which the runner frees once it has finished.
struct SJobState {
    std::optional<std::uint32_t> deadline;
    std::size_t takes = 0;  // of each feed
    ByteString out;         // handed over at the next take
    ENxrJobOutput kind = ENxrJobOutput::Own;
    std::vector<NxrJobEvent> events;
    bool finished = false;
    bool finishOnTick = false;
    std::optional<std::uint32_t> startedAt;
    ByteString fed;
    std::vector<std::uint32_t> ticks;
    std::vector<std::optional<std::string>> answers;
    int cancels = 0;
    int linkLost = 0;
    std::vector<std::uint32_t> sentAt;  // OutputSent's times
    std::string error;
};

class CFakeJob final : public INxrJob {
  public:
    explicit CFakeJob(SJobState& s) : m_s(s) {}
    std::size_t Feed(std::string_view bytes, std::uint32_t /*nowMs*/) override {
        m_s.fed += bytes;
        return std::min(m_s.takes, bytes.size());
    }
    void Tick(std::uint32_t nowMs) override {
        m_s.ticks.push_back(nowMs);
        m_s.finished = m_s.finished || m_s.finishOnTick;
    }
    void Answer(const std::optional<std::string>& answer, std::uint32_t /*nowMs*/) override {
        m_s.answers.push_back(answer);
        m_s.out += answer.value_or("") + "\r";
    }
    void Cancel(std::uint32_t /*nowMs*/) override {
        ++m_s.cancels;
        m_s.out += "\x03";
        m_s.finished = true;
    }
    void LinkLost(const std::string& why) override {
        ++m_s.linkLost;
        m_s.error = why;
        m_s.out += "said after the loss";
        m_s.finished = true;
    }
    ByteString TakeOutput() override { return std::exchange(m_s.out, {}); }
    void OutputSent(std::uint32_t nowMs) override { m_s.sentAt.push_back(nowMs); }
    ENxrJobOutput OutputKind() const override { return m_s.kind; }
    std::vector<NxrJobEvent> TakeJobEvents() override { return std::exchange(m_s.events, {}); }
    bool Finished() const override { return m_s.finished; }
    bool Succeeded() const override { return m_s.error.empty(); }
    const std::string& ErrorText() const override { return m_s.error; }
    std::optional<std::uint32_t> NextDeadline() const override { return m_s.deadline; }

  private:
    SJobState& m_s;
};

class CFakeHost final : public INxrJobHost {
  public:
    std::string SendForJob(std::uint32_t jobId, ENxrJobOutput kind, ByteString bytes) override {
        sent.emplace_back(jobId, kind, std::move(bytes));
        if (onSend) {
            onSend();
        }
        return sendError;
    }
    void JobEvent(std::uint32_t jobId, NxrJobEvent event) override {
        events.emplace_back(jobId, std::move(event));
    }
    void ArmTimer(std::optional<std::uint32_t> delayMs) override { armed.push_back(delayMs); }

    std::optional<std::uint32_t> LastArmed() const { return armed.empty() ? 0u : armed.back(); }

    std::vector<std::tuple<std::uint32_t, ENxrJobOutput, ByteString>> sent;
    std::vector<std::pair<std::uint32_t, NxrJobEvent>> events;
    std::vector<std::optional<std::uint32_t>> armed;
    std::string sendError;
    std::function<void()> onSend;
};

class JobRunner : public ::testing::Test {
  protected:
    SNxrJobOrder Order(std::uint32_t id, SJobState& state, bool queues = false) {
        SNxrJobOrder order;
        order.id = id;
        order.name = "job " + std::to_string(id);
        order.queues = queues;
        order.start = [&state](std::uint32_t nowMs) -> std::unique_ptr<INxrJob> {
            state.startedAt = nowMs;
            return std::make_unique<CFakeJob>(state);
        };
        order.finished = [this, id](INxrJob& job) {
            ended.push_back(std::to_string(id) + (job.Succeeded() ? " ok" : " " + job.ErrorText()));
        };
        return order;
    }

    CManualClock clock{0xFFFFFF00u};  // just below the wrap
    CFakeHost host;
    CNxrJobRunner runner{clock, host};
    std::vector<std::string> ended;
};

TEST_F(JobRunner, TheOneTimerIsArmedForTheRunningJobsNextDeadline) {
    SJobState job;
    job.deadline = clock.TickCount() + 500;
    ASSERT_TRUE(runner.Run(Order(1, job)));
    EXPECT_EQ(job.startedAt, 0xFFFFFF00u);
    EXPECT_EQ(host.LastArmed(), 500u);

    // Bytes bring the deadline closer, across the wrap: the timer follows.
    clock.Advance(400);
    job.deadline = clock.TickCount() + 30;
    EXPECT_EQ(runner.Feed("abc"), 0u) << "this job only watches";
    EXPECT_EQ(job.fed, "abc");
    EXPECT_EQ(host.LastArmed(), 30u);

    // A deadline already past fires at once.
    clock.Advance(50);
    runner.TimerFired();
    EXPECT_EQ(job.ticks, std::vector<std::uint32_t>{clock.TickCount()});
    EXPECT_EQ(host.LastArmed(), 0u);

    // Waiting for the user stops the timer.
    job.deadline.reset();
    runner.Answer(1, std::string("yes"));
    EXPECT_EQ(host.LastArmed(), std::nullopt);
    ASSERT_EQ(job.answers.size(), 1u);
    EXPECT_EQ(std::get<2>(host.sent.back()), "yes\r");

    job.finishOnTick = true;
    runner.TimerFired();
    EXPECT_EQ(ended, std::vector<std::string>{"1 ok"});
    EXPECT_EQ(host.LastArmed(), std::nullopt) << "no job, no timer";
    EXPECT_EQ(runner.Running(), nullptr);
    runner.TimerFired();  // a late timer finds nothing to tick
    EXPECT_EQ(job.ticks.size(), 2u);
}

TEST_F(JobRunner, OutputAndEventsGoOutUnderTheJobsIdAndFeedsReturnWhatItTook) {
    SJobState job;
    job.takes = 2;
    job.kind = ENxrJobOutput::Protocol;
    job.out = "C";
    job.events.emplace_back(SNxrJobData{"shown"});
    ASSERT_TRUE(runner.Run(Order(7, job)));
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0], std::make_tuple(7u, ENxrJobOutput::Protocol, ByteString("C")));
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].first, 7u);
    EXPECT_EQ(std::get<SNxrJobData>(host.events[0].second).bytes, "shown");
    EXPECT_EQ(runner.Feed("xyz"), 2u);
    EXPECT_EQ(runner.Feed(""), 0u);
}

TEST_F(JobRunner, AFinishedJobIsReplacedByTheNextQueuedOne) {
    SJobState first;
    SJobState second;
    SJobState third;
    first.deadline = second.deadline = third.deadline = clock.TickCount() + 1000;
    ASSERT_TRUE(runner.Run(Order(1, first, true)));
    ASSERT_TRUE(runner.Run(Order(2, second, true)));
    ASSERT_TRUE(runner.Run(Order(3, third, true)));
    EXPECT_EQ(runner.Queued(), 2u);
    EXPECT_FALSE(second.startedAt) << "made only when its turn comes";

    SJobState transfer;
    EXPECT_FALSE(runner.Run(Order(9, transfer))) << "a job that does not queue waits behind none";
    EXPECT_FALSE(transfer.startedAt);

    const auto unqueued = runner.Unqueue(3);
    ASSERT_TRUE(unqueued);
    EXPECT_EQ(unqueued->name, "job 3");
    EXPECT_FALSE(runner.Unqueue(1)) << "the running job is not in the queue";

    clock.Advance(250);
    second.out = "second's command";
    EXPECT_FALSE(runner.Cancel(2)) << "not running yet";
    EXPECT_TRUE(runner.Cancel(1));
    EXPECT_EQ(first.cancels, 1);
    EXPECT_EQ(ended, std::vector<std::string>{"1 ok"});
    EXPECT_EQ(second.startedAt, clock.TickCount());
    ASSERT_EQ(runner.Running()->id, 2u);
    EXPECT_EQ(std::get<2>(host.sent.back()), "second's command");
    EXPECT_EQ(host.LastArmed(), 1000u - 250u) << "armed for the new job";
    EXPECT_FALSE(third.startedAt);

    // A job that does not queue cannot run beside one that does, either.
    EXPECT_FALSE(runner.Run(Order(9, transfer)));
    second.finished = true;
    runner.TimerFired();
    EXPECT_EQ(runner.Running(), nullptr);
    EXPECT_TRUE(runner.Run(Order(9, transfer)));
    SJobState ability;
    EXPECT_FALSE(runner.Run(Order(10, ability, true))) << "nothing queues behind a transfer";
}

TEST_F(JobRunner, ALostLinkReachesTheRunningJobOnceSilencesItAndHandsBackTheQueue) {
    SJobState running;
    SJobState waiting;
    running.deadline = clock.TickCount() + 100;
    ASSERT_TRUE(runner.Run(Order(1, running, true)));
    ASSERT_TRUE(runner.Run(Order(2, waiting, true)));
    const auto unrun = runner.LinkLost("the cable");
    EXPECT_EQ(running.linkLost, 1);
    EXPECT_TRUE(host.sent.empty()) << "nothing goes out on a link that is gone";
    EXPECT_EQ(ended, std::vector<std::string>{"1 the cable"});
    ASSERT_EQ(unrun.size(), 1u);
    EXPECT_EQ(unrun[0].id, 2u);
    EXPECT_FALSE(waiting.startedAt);
    EXPECT_TRUE(runner.LinkLost("the link was closed").empty());
    EXPECT_EQ(running.linkLost, 1);
    EXPECT_EQ(host.LastArmed(), std::nullopt);
}

// A protocol block the link did not take fails the job (it hears of the lost
// link once) but leaves the link to its owner.
TEST_F(JobRunner, AShortProtocolWriteEndsTheJobOnce) {
    SJobState job;
    job.kind = ENxrJobOutput::Protocol;
    job.out = "block";
    host.sendError = "the link took only part of a block";
    ASSERT_TRUE(runner.Run(Order(4, job)));
    EXPECT_EQ(job.linkLost, 1);
    EXPECT_EQ(host.sent.size(), 1u) << "what it said after the loss stays unsent";
    EXPECT_EQ(ended, std::vector<std::string>{"4 the link took only part of a block"});
    runner.LinkLost("down");
    EXPECT_EQ(job.linkLost, 1);
    EXPECT_TRUE(job.sentAt.empty()) << "what the link did not take was not sent";
}

// A job hears when its output went, after the write: a pause it keeps after
// it (ASCII Send's pacing) starts there, however long the write took.
TEST_F(JobRunner, AJobHearsWhenItsOutputWent) {
    SJobState job;
    job.out = "line\r";
    job.deadline = clock.TickCount() + 100;
    host.onSend = [&] { clock.Advance(7); };
    const std::uint32_t start = clock.TickCount();
    ASSERT_TRUE(runner.Run(Order(1, job)));
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(job.sentAt, std::vector<std::uint32_t>{start + 7});
    runner.TimerFired();
    EXPECT_EQ(job.sentAt.size(), 1u) << "nothing more went";
}

// The host may lose the link inside a send (a write that fails): the job then
// ends there, once, and the pump that sent does not touch it again.
TEST_F(JobRunner, ASendThatLosesTheLinkEndsTheJobInside) {
    SJobState job;
    SJobState next;
    ASSERT_TRUE(runner.Run(Order(1, job, true)));
    ASSERT_TRUE(runner.Run(Order(2, next, true)));
    std::size_t unrun = 0;
    host.onSend = [&] {
        host.onSend = nullptr;
        unrun = runner.LinkLost("write failed").size();
    };
    EXPECT_TRUE(runner.Answer(1, std::nullopt));  // its answer goes out, and fails
    EXPECT_EQ(unrun, 1u);
    EXPECT_EQ(job.linkLost, 1);
    EXPECT_EQ(ended, std::vector<std::string>{"1 write failed"});
    EXPECT_EQ(host.sent.size(), 1u);
    EXPECT_FALSE(next.startedAt);
    EXPECT_EQ(runner.Running(), nullptr);
}

}  // namespace
}  // namespace quillpad
