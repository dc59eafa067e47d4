#pragma once
// One file transfer as the session runs it: a protocol engine, the file, and
// the events the console shows (batch start, file start, progress at least
// every 64 KiB or 100 ms, file finish, batch finish). Byte-fed like its
// engines: the I/O thread feeds the link's bytes and the tick, sends what
// TakeOutput() hands back and calls Tick() at NextDeadline().
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
#include "nxr/NxrParamBlock.h"
#include "nxr/NxrTransferEvent.h"

namespace quillpad {

enum class ENxrTransferKind { XModemSend, XModemReceive, AsciiSend, AsciiReceive };

struct SNxrTransferOptions {
    bool use1K = false;
    SAsciiPacing pacing;
    SXModemSenderOptions sender;
    SXModemReceiverOptions receiver;
};

// ASCII Send's request block: the file's path, then optionally the pause
// after each line and the one after each character, in ms. A block with the
// path alone sends unpaced.
inline constexpr std::uint32_t kNxrMaxPacingMs = 10000;
CNxrParamBlock NxrAsciiSendBlock(std::string_view path, SAsciiPacing pacing);
// The pacing of such a block; false with the reason when a pause is not a
// number from 0 to kNxrMaxPacingMs.
bool NxrReadAsciiPacing(const CNxrParamBlock& block, SAsciiPacing& pacing, std::string* error);

class CNxrTransferJob {
  public:
    static constexpr std::size_t kProgressBytes = 64 * 1024;
    static constexpr std::uint32_t kProgressMs = 100;

    // Opens the file; nullptr with the reason in `error` when it cannot.
    static std::unique_ptr<CNxrTransferJob> Start(ENxrTransferKind kind, const std::string& path,
                                                  SNxrTransferOptions options, std::uint32_t nowMs,
                                                  std::string* error);
    ~CNxrTransferJob();

    // Returns how many bytes the transfer took; what follows the end of an
    // XModem transfer is console data again.
    std::size_t Feed(std::string_view bytes, std::uint32_t nowMs);
    void Tick(std::uint32_t nowMs);
    // Ends the transfer; an ASCII receive ends this way by design and so
    // succeeds.
    void Cancel(std::uint32_t nowMs);
    // The link went down: the transfer fails with `why`.
    void LinkLost(const std::string& why);

    ByteString TakeOutput();
    std::vector<SNxrTransferEvent> TakeEvents();

    bool Finished() const { return m_finished; }
    bool Succeeded() const { return m_succeeded; }
    const std::string& ErrorText() const { return m_error; }
    std::uint32_t NextDeadline() const;
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
