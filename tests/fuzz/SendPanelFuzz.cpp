// Send panel files: arbitrary file bytes read as the panel reads them. Every
// send either loads or is refused with a reason, never both; what loaded
// builds its bytes (or says why hex text cannot), saving and reading back
// gives the same sends and refusals, and a save of that the same text.

#include <cstdint>
#include <fstream>
#include <string>

#include "input/CSendPanel.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/FuzzScratch.h"

using quillpad::fuzz::Check;
using quillpad::fuzz::CScratch;

namespace {

bool SameSend(const quillpad::SSendItem& a, const quillpad::SSendItem& b) {
    return a.name == b.name && a.text == b.text && a.format == b.format && a.lineEnd == b.lineEnd &&
           a.checksum == b.checksum && a.byteOrder == b.byteOrder && a.periodMs == b.periodMs &&
           a.count == b.count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillpad;
    static const CScratch scratch("sendpanelfuzz");
    const std::string input = scratch.File("input.sendpanel");
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        Check(static_cast<bool>(out));
    }

    CSendPanel panel;
    const ESendPanelLoad load = panel.Load(input);
    Check(load == ESendPanelLoad::Loaded || load == ESendPanelLoad::NotAPanel);
    if (load == ESendPanelLoad::NotAPanel) {
        Check(panel.Items().empty() && panel.Refused().empty() && !panel.Save());
        return 0;
    }
    Check(panel.AskBeforeSaving() == !panel.Refused().empty());
    Check(panel.RefusalMessage().empty() == panel.Refused().empty());
    for (const SRefusedSend& refused : panel.Refused()) {
        Check(!refused.reason.empty());
    }
    for (const SSendItem& item : panel.Items()) {
        Check(item.periodMs >= kMinSendPeriodMs && item.periodMs <= kMaxSendPeriodMs);
        ByteString bytes;
        std::string error;
        const bool built = BuildSendBytes(item, bytes, error);
        Check(built == error.empty());
        Check(built || item.format == ESendFormat::Hex);
        if (built) {
            const std::size_t tail =
                ChecksumInfo(item.checksum).width + LineEndBytes(item.lineEnd).size();
            Check(bytes.size() >= tail);
        }
    }

    const std::string saved = scratch.File("saved.sendpanel");
    panel.SetPath(saved);
    Check(panel.Save());
    CSendPanel again;
    Check(again.Load(saved) == ESendPanelLoad::Loaded);
    Check(again.Items().size() == panel.Items().size());
    Check(again.Refused().size() == panel.Refused().size());
    for (std::size_t i = 0; i < panel.Items().size(); ++i) {
        Check(SameSend(panel.Items()[i], again.Items()[i]));
    }
    for (std::size_t i = 0; i < panel.Refused().size(); ++i) {
        Check(panel.Refused()[i].reason == again.Refused()[i].reason);
    }
    // The INI engine may settle a bare line once (it keeps the line end it
    // was read with); from the first save on, the text stays the same.
    const std::string resaved = scratch.File("resaved.sendpanel");
    again.SetPath(resaved);
    Check(again.Save());
    CSendPanel third;
    Check(third.Load(resaved) == ESendPanelLoad::Loaded);
    Check(third.SaveText() == again.SaveText());
    return 0;
}
