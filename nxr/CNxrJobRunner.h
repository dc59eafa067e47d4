#pragma once
// Runs a session's jobs (INxrJob) on the I/O thread, one at a time: feeds the
// running job the link's bytes, sends its output and delivers its events
// through the host, ticks it with one deadline timer, and starts the next
// queued job when it has finished. Jobs that queue (abilities) wait their
// turn behind each other; a job that does not (a transfer) runs only on an
// idle runner, and nothing waits behind it.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nxr/INxrJob.h"
#include "platform/Clock.h"

namespace quillpad {

class INxrJobHost {
  public:
    virtual ~INxrJobHost() = default;
    // Sends a job's output: "" when the link took all of it, else why not.
    // Sending may lose the link, and so end the job at once.
    virtual std::string SendForJob(std::uint32_t jobId, ENxrJobOutput kind, ByteString bytes) = 0;
    virtual void JobEvent(std::uint32_t jobId, NxrJobEvent event) = 0;
    // The runner's one deadline timer: TimerFired() after `delayMs`; none
    // stops it.
    virtual void ArmTimer(std::optional<std::uint32_t> delayMs) = 0;
};

// A job asked for. It is made only when its turn comes, because a job counts
// its time-outs from its start.
struct SNxrJobOrder {
    std::uint32_t id = 0;
    // What it runs, in the user's words (the ability's command, the
    // request's name).
    std::string name;
    // May wait behind a running job that queues too.
    bool queues = false;
    // Makes the job; nullptr when it cannot run (the maker has told why).
    std::function<std::unique_ptr<INxrJob>(std::uint32_t nowMs)> start;
    // Once, when the job has finished.
    std::function<void(INxrJob& job)> finished;
};

class CNxrJobRunner {
  public:
    CNxrJobRunner(const IClock& clock, INxrJobHost& host);
    ~CNxrJobRunner();
    CNxrJobRunner(const CNxrJobRunner&) = delete;
    CNxrJobRunner& operator=(const CNxrJobRunner&) = delete;

    // Starts the order now or queues it; false (and nothing done) when
    // another job runs that it may not wait behind.
    bool Run(SNxrJobOrder order);
    // The running job's order; nullptr when idle.
    const SNxrJobOrder* Running() const { return m_job ? &m_order : nullptr; }
    std::size_t Queued() const { return m_queue.size(); }

    // Bytes from the device; returns how many the running job took.
    std::size_t Feed(std::string_view bytes);
    void TimerFired();
    // The user's answer, or a cancel, for the running job `id`; false when
    // `id` is not the running job.
    bool Answer(std::uint32_t id, const std::optional<std::string>& answer);
    bool Cancel(std::uint32_t id);
    // Takes a queued order back unrun.
    std::optional<SNxrJobOrder> Unqueue(std::uint32_t id);
    // The link is gone: the running job hears it once and finishes without
    // sending anything more; the queued orders come back unrun.
    std::vector<SNxrJobOrder> LinkLost(const std::string& why);

  private:
    void Pump();
    void End();
    void StartNext();

    const IClock& m_clock;
    INxrJobHost& m_host;
    std::unique_ptr<INxrJob> m_job;
    SNxrJobOrder m_order;
    // Counts the running jobs: a pump that finds another count after a send
    // knows its job was ended meanwhile.
    std::uint64_t m_turn = 0;
    bool m_told = false;    // the running job heard that the link is gone
    bool m_silent = false;  // the link is going: nothing more goes out
    std::deque<SNxrJobOrder> m_queue;
};

}  // namespace quillpad
