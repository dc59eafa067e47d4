#include "nxr/CNxrTransferJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>

namespace quillpad {
namespace {

std::int32_t Clamp32(std::size_t n) {
    return static_cast<std::int32_t>(std::min<std::size_t>(
        n, static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
}

std::string FileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

const char* Title(ENxrTransferKind kind) {
    switch (kind) {
        case ENxrTransferKind::XModemSend:
            return "XModem Send";
        case ENxrTransferKind::XModemReceive:
            return "XModem Receive";
        case ENxrTransferKind::AsciiSend:
            return "ASCII Send";
        case ENxrTransferKind::AsciiReceive:
            return "ASCII Receive";
    }
    return "";
}

}  // namespace

CNxrTransferJob::CNxrTransferJob(ENxrTransferKind kind, std::string path)
    : m_kind(kind), m_path(std::move(path)) {}

CNxrTransferJob::~CNxrTransferJob() {
    if (!m_finished && m_file.is_open()) {
        Finish(false, "the session closed");
    }
}

std::unique_ptr<CNxrTransferJob> CNxrTransferJob::Start(ENxrTransferKind kind,
                                                        const std::string& path,
                                                        SNxrTransferOptions options,
                                                        std::uint32_t nowMs, std::string* error) {
    std::unique_ptr<CNxrTransferJob> job(new CNxrTransferJob(kind, path));
    const bool sending = job->Sending();
    ByteString data;
    if (path.empty()) {
        *error = "no file was given";
        return nullptr;
    }
    if (sending) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            *error = "cannot read \"" + path + "\": " + std::strerror(errno);
            return nullptr;
        }
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            *error = "cannot read \"" + path + "\"";
            return nullptr;
        }
    } else {
        job->m_partial = path + ".partial";
        // What the device sends is the user's alone: the file is made 0600
        // before the stream opens it, whatever the umask or a left-over
        // NAME.partial says.
        const int fd =
            ::open(job->m_partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ::fchmod(fd, 0600) != 0) {
            *error = "cannot write \"" + job->m_partial + "\": " + std::strerror(errno);
            if (fd >= 0) {
                ::close(fd);
            }
            return nullptr;
        }
        ::close(fd);
        job->m_file.open(job->m_partial, std::ios::binary | std::ios::trunc);
        if (!job->m_file) {
            *error = "cannot write \"" + job->m_partial + "\": " + std::strerror(errno);
            return nullptr;
        }
    }
    const std::size_t size = data.size();
    switch (kind) {
        case ENxrTransferKind::XModemSend:
            options.sender.use1K = options.use1K;
            job->m_xSender =
                std::make_unique<CNxrXModemSender>(std::move(data), options.sender, nowMs);
            break;
        case ENxrTransferKind::XModemReceive:
            job->m_xReceiver = std::make_unique<CNxrXModemReceiver>(options.receiver, nowMs);
            break;
        case ENxrTransferKind::AsciiSend:
            job->m_aSender =
                std::make_unique<CNxrAsciiSender>(std::move(data), options.pacing, nowMs);
            break;
        case ENxrTransferKind::AsciiReceive:
            job->m_aReceiver = std::make_unique<CNxrAsciiReceiver>();
            break;
    }
    SNxrTransferEvent batch;
    batch.kind = ENxrTransferEventKind::BatchStart;
    batch.text = Title(kind);
    batch.values[0] = 1;
    batch.values[1] = Clamp32(size);
    job->m_events.push_back(batch);
    SNxrTransferEvent file;
    file.kind = ENxrTransferEventKind::FileStart;
    file.text = sending ? path : std::string("device");
    file.text2 = sending ? std::string("device") : path;
    file.text3 = (kind == ENxrTransferKind::XModemSend || kind == ENxrTransferKind::XModemReceive)
                     ? "XModem"
                     : "ASCII";
    file.values[0] = Clamp32(size);
    file.flag = sending;
    job->m_events.push_back(file);
    job->m_lastTime = nowMs;
    job->Step(nowMs);
    return job;
}

std::size_t CNxrTransferJob::Done() const {
    if (m_xSender) {
        return m_xSender->BytesDone();
    }
    if (m_aSender) {
        return m_aSender->BytesDone();
    }
    return m_written;
}

std::size_t CNxrTransferJob::Total() const {
    if (m_xSender) {
        return m_xSender->Total();
    }
    if (m_aSender) {
        return m_aSender->Total();
    }
    return 0;  // a receive does not know its size
}

std::optional<std::uint32_t> CNxrTransferJob::NextDeadline() const {
    if (m_xSender) {
        return m_xSender->NextDeadline();
    }
    if (m_xReceiver) {
        return m_xReceiver->NextDeadline();
    }
    if (m_aSender) {
        return m_aSender->NextDeadline();
    }
    return m_lastTime + kProgressMs;
}

void CNxrTransferJob::Progress(std::uint32_t nowMs, bool force) {
    const std::size_t done = Done();
    if (done == m_lastDone && !force) {
        return;
    }
    if (!force && done - m_lastDone < kProgressBytes &&
        static_cast<std::int32_t>(nowMs - m_lastTime) < static_cast<std::int32_t>(kProgressMs)) {
        return;
    }
    SNxrTransferEvent event;
    event.kind = ENxrTransferEventKind::FileProgress;
    event.values[0] = Clamp32(done);
    event.values[1] = Clamp32(Total());
    if (m_xSender) {
        event.values[2] = m_xSender->Errors();
        event.values[3] = m_xSender->Retries();
    } else if (m_xReceiver) {
        event.values[2] = m_xReceiver->Errors();
        event.values[3] = m_xReceiver->Retries();
    }
    m_events.push_back(event);
    m_lastDone = done;
    m_lastTime = nowMs;
}

// Moves data to the file and output to the link, and ends the job when its
// engine has ended.
void CNxrTransferJob::Step(std::uint32_t nowMs) {
    if (m_finished) {
        return;
    }
    ByteString data;
    if (m_xSender) {
        m_out += m_xSender->TakeOutput();
    } else if (m_xReceiver) {
        m_out += m_xReceiver->TakeOutput();
        data = m_xReceiver->TakeData();
    } else if (m_aSender) {
        m_out += m_aSender->Next(nowMs);
    } else if (m_aReceiver) {
        data = m_aReceiver->TakeData();
    }
    if (!data.empty()) {
        m_file.write(data.data(), static_cast<std::streamsize>(data.size()));
        m_written += data.size();
        if (!m_file) {
            if (m_xReceiver) {
                m_xReceiver->Cancel();
                m_out += m_xReceiver->TakeOutput();
            }
            Finish(false, "cannot write \"" + m_partial + "\"");
            return;
        }
    }
    Progress(nowMs, false);
    if (m_xSender && m_xSender->State() != EXModemState::Running) {
        Finish(m_xSender->State() == EXModemState::Done,
               m_xSender->State() == EXModemState::Done ? std::string() : m_xSender->ErrorText());
    } else if (m_xReceiver && m_xReceiver->State() != EXModemState::Running) {
        Finish(m_xReceiver->State() == EXModemState::Done, m_xReceiver->ErrorText());
    } else if (m_aSender && m_aSender->Done()) {
        Finish(true, {});
    }
}

void CNxrTransferJob::Finish(bool success, std::string error) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_succeeded = success;
    m_error = std::move(error);
    if (m_file.is_open()) {
        m_file.flush();
        const bool wrote = static_cast<bool>(m_file);
        m_file.close();
        std::error_code ec;
        if (success && wrote) {
            std::filesystem::rename(m_partial, m_path, ec);
            if (ec) {
                m_succeeded = false;
                m_error =
                    "cannot rename \"" + m_partial + "\" to \"" + m_path + "\": " + ec.message();
            }
        } else {
            m_succeeded = false;
            if (m_error.empty()) {
                m_error = "cannot write \"" + m_partial + "\"";
            }
            if (m_written == 0) {
                std::filesystem::remove(m_partial, ec);
            } else {
                m_error += "; the " + std::to_string(m_written) + " bytes that arrived are in \"" +
                           FileName(m_partial) + "\"";
            }
        }
    }
    Progress(m_lastTime, true);
    SNxrTransferEvent file;
    file.kind = ENxrTransferEventKind::FileFinish;
    file.flag = m_succeeded;
    m_events.push_back(file);
    SNxrTransferEvent batch;
    batch.kind = ENxrTransferEventKind::BatchFinish;
    batch.flag = m_succeeded;
    m_events.push_back(batch);
}

std::size_t CNxrTransferJob::Feed(std::string_view bytes, std::uint32_t nowMs) {
    if (m_finished) {
        return 0;
    }
    std::size_t used = 0;
    if (m_xSender) {
        used = m_xSender->Feed(bytes, nowMs);
    } else if (m_xReceiver) {
        used = m_xReceiver->Feed(bytes, nowMs);
    } else if (m_aReceiver) {
        m_aReceiver->Feed(bytes);
    }
    // An ASCII send ignores what comes back: the console shows it.
    Step(nowMs);
    return used;
}

void CNxrTransferJob::Tick(std::uint32_t nowMs) {
    if (m_finished) {
        return;
    }
    if (m_xSender) {
        m_xSender->Tick(nowMs);
    } else if (m_xReceiver) {
        m_xReceiver->Tick(nowMs);
    }
    Step(nowMs);
}

void CNxrTransferJob::Cancel(std::uint32_t nowMs) {
    if (m_finished) {
        return;
    }
    if (m_xSender) {
        m_xSender->Cancel(nowMs);
    } else if (m_xReceiver) {
        m_xReceiver->Cancel();
    } else if (m_aSender) {
        Finish(false, "cancelled after " + std::to_string(m_aSender->BytesDone()) + " of " +
                          std::to_string(m_aSender->Total()) + " bytes");
        return;
    } else if (m_aReceiver) {
        Step(nowMs);
        Finish(true, {});
        return;
    }
    Step(nowMs);
}

void CNxrTransferJob::LinkLost(const std::string& why) {
    Finish(false, "the link went down: " + why);
}

void CNxrTransferJob::OutputSent(std::uint32_t nowMs) {
    if (m_aSender) {
        m_aSender->Sent(nowMs);
    }
}

ByteString CNxrTransferJob::TakeOutput() {
    ByteString out;
    out.swap(m_out);
    return out;
}

std::vector<SNxrTransferEvent> CNxrTransferJob::TakeEvents() {
    std::vector<SNxrTransferEvent> events;
    events.swap(m_events);
    return events;
}

std::vector<NxrJobEvent> CNxrTransferJob::TakeJobEvents() {
    std::vector<NxrJobEvent> events;
    events.reserve(m_events.size());
    for (SNxrTransferEvent& event : m_events) {
        events.emplace_back(std::move(event));
    }
    m_events.clear();
    return events;
}

}  // namespace quillpad
