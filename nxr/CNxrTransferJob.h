#pragma once
// One file transfer as the session runs it: a protocol engine, the file, and
// the events the console shows (batch start, file start, progress at least
// every 64 KiB or 100 ms, file finish, batch finish). A job (INxrJob) the
// runner feeds the link's bytes and the tick.
//
// A receive writes into "NAME.partial" beside the target and renames it to
// the target only at success, so a failed or cancelled receive never leaves
// a truncated file in place of a good one; what arrived stays in
// "NAME.partial" and the error text says so.

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nxr/CNxrAsciiTransfer.h"
#include "nxr/CNxrXModemReceiver.h"
#include "nxr/CNxrXModemSender.h"
#include "nxr/INxrJob.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/NxrRequestBlocks.h"
#include "nxr/NxrTransferEvent.h"

namespace quillpad {

enum class ENxrTransferKind { XModemSend, XModemReceive, AsciiSend, AsciiReceive };

struct SNxrTransferOptions {
    bool use1K = false;
    SAsciiPacing pacing;
    SXModemSenderOptions sender;
    SXModemReceiverOptions receiver;
};

class CNxrTransferJob final : public INxrJob {
  public:
    static constexpr std::size_t kProgressBytes = 64 * 1024;
    static constexpr std::uint32_t kProgressMs = 100;

    // Opens the file; nullptr with the reason in `error` when it cannot.
    static std::unique_ptr<CNxrTransferJob> Start(ENxrTransferKind kind, const std::string& path,
                                                  SNxrTransferOptions options, std::uint32_t nowMs,
                                                  std::string* error);
    ~CNxrTransferJob() override;

    // Returns how many bytes the transfer took: XModem takes its protocol
    // (what follows its end is console data again); ASCII only watches, the
    // console shows what comes.
    std::size_t Feed(std::string_view bytes, std::uint32_t nowMs) override;
    void Tick(std::uint32_t nowMs) override;
    // Ends the transfer; an ASCII receive ends this way by design and so
    // succeeds.
    void Cancel(std::uint32_t nowMs) override;
    // The link went down: the transfer fails with `why`.
    void LinkLost(const std::string& why) override;

    ByteString TakeOutput() override;
    void OutputSent(std::uint32_t nowMs) override;
    ENxrJobOutput OutputKind() const override {
        return OwnsLink() ? ENxrJobOutput::Protocol : ENxrJobOutput::Console;
    }
    std::vector<SNxrTransferEvent> TakeEvents();
    std::vector<NxrJobEvent> TakeJobEvents() override;

    bool Finished() const override { return m_finished; }
    bool Succeeded() const override { return m_succeeded; }
    const std::string& ErrorText() const override { return m_error; }
    std::optional<std::uint32_t> NextDeadline() const override;
    // While XModem runs, the link's bytes are its protocol, not console data.
    bool OwnsLink() const {
        return m_kind == ENxrTransferKind::XModemSend || m_kind == ENxrTransferKind::XModemReceive;
    }
    bool Sending() const {
        return m_kind == ENxrTransferKind::XModemSend || m_kind == ENxrTransferKind::AsciiSend;
    }

  private:
    CNxrTransferJob(ENxrTransferKind kind, std::string path);
    void Step(std::uint32_t nowMs);
    void Progress(std::uint32_t nowMs, bool force);
    void Finish(bool success, std::string error);
    std::size_t Done() const;
    std::size_t Total() const;

    ENxrTransferKind m_kind;
    std::string m_path;
    std::string m_partial;
    std::ofstream m_file;
    std::size_t m_written = 0;
    std::unique_ptr<CNxrXModemSender> m_xSender;
    std::unique_ptr<CNxrXModemReceiver> m_xReceiver;
    std::unique_ptr<CNxrAsciiSender> m_aSender;
    std::unique_ptr<CNxrAsciiReceiver> m_aReceiver;
    ByteString m_out;
    std::vector<SNxrTransferEvent> m_events;
    std::size_t m_lastDone = 0;
    std::uint32_t m_lastTime = 0;
    bool m_finished = false;
    bool m_succeeded = false;
    std::string m_error;
};

}  // namespace quillpad
