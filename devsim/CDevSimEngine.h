#pragma once
// The simulated controller's console: a prompt, echo, a handful of commands,
// and the abilities the default key set names. Pure: bytes in, bytes out; the
// host that serves it (in-process, TCP, telnet, a pseudo-terminal) moves them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "nxr/CNxrXModemReceiver.h"
#include "nxr/CNxrXModemSender.h"
#include "platform/Bytes.h"

namespace quillpad {

struct SDevSimOptions {
    std::string name = "QX-200";
    bool echo = true;
};

class CDevSimEngine {
  public:
    static constexpr std::size_t kMaxLine = 1024;
    static constexpr std::uint64_t kMaxBurst = 64ull << 20;
    static constexpr std::size_t kFloodLine = 64;

    // `nowSeconds` gives the calendar time for "time" (local time).
    explicit CDevSimEngine(SDevSimOptions options = {},
                           std::function<std::int64_t()> nowSeconds = {});

    // The banner and first prompt, sent when a link comes up.
    ByteString Start() const;
    // Everything the device answers to these received bytes (echo included).
    ByteString Receive(std::string_view bytes);
    // A break condition on the line.
    ByteString Break();

    // "xmodem receive" and "xmodem send N" run an XModem transfer with the
    // console; while one runs, received bytes are its protocol. Its time-outs
    // need the time: call Tick at least every 100 ms while XModemRunning().
    ByteString Tick(std::uint32_t nowMs);
    bool XModemRunning() const { return m_xReceiver || m_xSender; }
    // Whether the engine waits for time: a transfer, or a bus scan.
    bool NeedsTick() const { return XModemRunning() || m_scanStep > 0; }
    static constexpr std::uint32_t kScanStepMs = 150;
    // The 32-bit sum of the bytes, as "xmodem" reports it.
    static std::uint32_t Sum(std::string_view bytes, std::uint32_t sum = 0);

    // Flood: `rate` bytes per second (0 = as fast as the link takes), `count`
    // bytes in all (0 = until stopped).
    bool Flooding() const { return m_flooding; }
    std::uint64_t FloodRate() const { return m_floodRate; }
    // Bytes due after `elapsedMs` since the flood began, at its rate, less what
    // was already taken; for rate 0 the remaining count (or `linkRoom`).
    std::size_t FloodDue(std::uint64_t elapsedMs, std::size_t linkRoom) const;
    // The next `n` flood bytes; ends the flood (with its closing line) when the
    // count is reached.
    ByteString TakeFlood(std::size_t n);
    std::uint64_t FloodSent() const { return m_floodSent; }

    int BreaksSeen() const { return m_breaks; }

    // The flood's bytes from `offset` on: 64-byte lines, numbered, so that a
    // receiver can tell exactly what is missing.
    static ByteString FloodBytes(std::uint64_t offset, std::size_t n);
    // The burst's byte at `index`: every value 0x00-0xFF in turn.
    static char BurstByte(std::uint64_t index) { return static_cast<char>(index & 0xFF); }

  private:
    void Command(std::string_view line, ByteString& out);
    void StopFlood(ByteString& out, bool byUser);
    void XModemStep(ByteString& out);
    void ScanStep(ByteString& out);
    void AnswerQuestion(std::string_view line, ByteString& out);
    // Ctrl-C: the device drops the question or scan it is in.
    bool Interrupt(ByteString& out);

    SDevSimOptions m_options;
    std::function<std::int64_t()> m_nowSeconds;
    std::string m_line;
    bool m_afterCr = false;
    std::uint64_t m_rawLeft = 0;
    std::uint64_t m_rawTotal = 0;
    bool m_flooding = false;
    std::uint64_t m_floodRate = 0;
    std::uint64_t m_floodCount = 0;
    std::uint64_t m_floodSent = 0;
    int m_breaks = 0;
    bool m_programRunning = true;
    std::uint32_t m_nowMs = 0;
    std::unique_ptr<CNxrXModemReceiver> m_xReceiver;
    std::unique_ptr<CNxrXModemSender> m_xSender;
    std::uint64_t m_xBytes = 0;
    bool m_askingStop = false;      // "ProgramStop" waits for its answer line
    bool m_askingPassword = false;  // "login" reads the next line unechoed
    int m_scanStep = 0;             // 1.. while "QbusMasterReportDevices" scans
    std::uint32_t m_scanDue = 0;
    std::string m_scanArgs;
    std::uint32_t m_xSum = 0;
};

}  // namespace quillpad
