#include "data/TextLogWriter.h"

namespace quillpad {

CTextLogWriter::CTextLogWriter(ELogKind kind, std::unique_ptr<CLogFile> file, bool insertTimestamps,
                               bool showAllSources, STimeBaseRef timeBase, TextRenderer renderer,
                               EStampMode stampMode)
    : m_kind(kind),
      m_file(std::move(file)),
      m_insertTimestamps(insertTimestamps),
      m_stamper(insertTimestamps),
      m_lines(stampMode, STimeBase{timeBase.startTime, timeBase.startTick}),
      m_gaps(stampMode, STimeBase{timeBase.startTime, timeBase.startTick}, kDefaultGapMs),
      m_showAllSources(showAllSources),
      m_timeBase(timeBase),
      m_renderer(std::move(renderer)) {}

void CTextLogWriter::Write(const SDataRecord& record) {
    // The formatted log shows what the console shows, marks included; the
    // plain one holds the traffic alone.
    const bool shown =
        m_kind == ELogKind::Formatted
            ? IsShownRecord(record, m_showAllSources)
            : record.kind == kDataRecordKind && (m_showAllSources || record.source == kSourceOwn);
    if (!shown || !m_file->IsOpen()) {
        return;
    }
    std::string_view text = record.bytes;
    // Only the formatted log can lose the device's lines: the plain one
    // writes the bytes with their own line ends.
    bool gaps = false;
    if (m_kind == ELogKind::Formatted) {
        m_text.clear();
        if (m_renderer) {
            const SRenderTextStamps stamps = m_renderer(record, m_text);
            gaps = stamps.gaps;
            m_gaps.SetGapMs(stamps.gapMs);
        }
        text = m_text;
    }
    std::string& out = m_file->Pending();
    const std::size_t pendingBefore = out.size();
    if (m_lines.Mode() == EStampMode::Off) {
        out.append(m_stamper.Next(record.tick, m_timeBase.startTime, m_timeBase.startTick));
    }
    const STimeBase base{m_timeBase.startTime, m_timeBase.startTick};
    m_lines.SetTimeBase(base);
    m_gaps.SetTimeBase(base);
    if (gaps && m_gaps.Mode() != EStampMode::Off) {
        m_gaps.Append(out, text, record.tick);
        m_lines.Follow(text, record.tick);
    } else {
        m_lines.Append(out, text, record.tick);
        m_gaps.Follow(text, record.tick);
    }
    m_wroteText = m_wroteText || out.size() > pendingBefore;
    m_file->CommitPending();
}

void CTextLogWriter::SetStampMode(EStampMode mode) {
    if (mode == EStampMode::Off && m_lines.Mode() != EStampMode::Off) {
        // The file's own stamps come back as if the log began again: the next
        // record says when it is, with its date.
        m_stamper = CTextLogStamper(m_insertTimestamps, !m_wroteText);
    }
    m_lines.SetMode(mode);
    m_gaps.SetMode(mode);
}

}  // namespace quillpad
