#include "data/TextLogWriter.h"

#include "data/RenderTextRequest.h"

namespace quillpad {

CTextLogWriter::CTextLogWriter(ELogKind kind, std::unique_ptr<CLogFile> file, bool insertTimestamps,
                               bool showAllSources, STimeBaseRef timeBase, SRendererRef renderer)
    : m_kind(kind),
      m_file(std::move(file)),
      m_stamper(insertTimestamps),
      m_showAllSources(showAllSources),
      m_timeBase(timeBase),
      m_renderer(renderer) {}

void CTextLogWriter::Write(const SDataRecord& record) {
    if (record.kind != kDataRecordKind || (!m_showAllSources && record.source != kSourceOwn) ||
        !m_file->IsOpen()) {
        return;
    }
    std::string_view text = record.bytes;
    if (m_kind == ELogKind::Formatted) {
        m_text.clear();
        if (m_renderer.channel != nullptr) {
            m_renderer.channel->Send(m_renderer.view, UM_RENDER_TEXT, 0, 0,
                                     CPayload::Borrow(SRenderTextRequest{record, &m_text}));
        }
        text = m_text;
    }
    const std::string stamp =
        m_stamper.Next(record.tick, m_timeBase.startTime, m_timeBase.startTick);
    std::string& out = m_file->Pending();
    out.append(stamp);
    out.append(text);
    m_file->CommitPending();
}

}  // namespace quillpad
