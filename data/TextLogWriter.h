#pragma once
// The plain and the formatted text log. Both take only data records of this
// console's own source (every source when show-all-sources was on as the
// writer was made). While the console shows line stamps (EStampMode), both
// write them, in the same forms, before each line (CLineStartStamps); a
// change of form takes effect from the next line. Where the screen shows gap
// stamps instead (the renderer view says so with each record's text), the
// formatted log writes them as the screen places them (CGapStamps).
// Otherwise they stamp by
// CTextLogStamper, as they always did. The plain log writes
// each record's bytes as they are; the formatted one writes the text its
// render function makes of the record, so it reads as the screen shows it,
// without colours.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "data/CTextLogStamper.h"
#include "data/LineStamps.h"
#include "data/LiveLogWriter.h"
#include "platform/StampMode.h"

namespace quillpad {

// The store's time base, read at each stamp: a clear while logging moves it.
struct STimeBaseRef {
    const std::int64_t& startTime;
    const std::uint32_t& startTick;
};

// What the formatted log learns with a record's text: whether the console
// stamps gaps, not lines (its text then has no lines of the device's), and
// their threshold.
struct SRenderTextStamps {
    bool gaps = false;
    std::uint32_t gapMs = kDefaultGapMs;
};

// Replaces `text` with the record as the console shows it, without fonts or
// colours (keeping the string's capacity).
using TextRenderer = std::function<SRenderTextStamps(const SDataRecord& record, std::string& text)>;

class CTextLogWriter final : public ILiveLogWriter {
  public:
    CTextLogWriter(ELogKind kind, std::unique_ptr<CLogFile> file, bool insertTimestamps,
                   bool showAllSources, STimeBaseRef timeBase, TextRenderer renderer = {},
                   EStampMode stampMode = EStampMode::Off);

    void Write(const SDataRecord& record) override;
    void SetStampMode(EStampMode mode) override;
    ELogKind Kind() const override { return m_kind; }
    CLogFile& File() override { return *m_file; }

  private:
    ELogKind m_kind;
    std::unique_ptr<CLogFile> m_file;
    bool m_insertTimestamps;
    CTextLogStamper m_stamper;
    CLineStartStamps m_lines;
    CGapStamps m_gaps;
    bool m_showAllSources;
    STimeBaseRef m_timeBase;
    TextRenderer m_renderer;  // none: records render empty
    std::string m_text;
    bool m_wroteText = false;  // anything at all went to the file
};

}  // namespace quillpad
