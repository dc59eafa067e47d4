#include "control/qt/CHistoryKeeper.h"

#include <filesystem>
#include <system_error>

#include "control/qt/CQuillpad2Ctrl.h"
#include "input/HistoryFile.h"
#include "platform/Paths.h"
#include "platform/qt/FileName.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {

CHistoryKeeper::CHistoryKeeper(CQuillpad2Ctrl& control) : m_control(control) {
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(1000);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { Save(); });
}

void CHistoryKeeper::OnCharTyped(char ch) {
    // Asked at any character of the line: a device that echoes the secret
    // no longer ends its line in the prompt once the first one is typed.
    if (m_prompt.AsksForSecret()) {
        m_history.MarkLineSecret();
    }
    m_history.RecordTypedChar(ch);
    if (ch == '\r' || ch == '\n') {
        Changed();
    }
}

void CHistoryKeeper::OnTextSending(std::string_view text) {
    if (m_prompt.AsksForSecret()) {
        m_history.MarkLineSecret();
    }
    m_history.CommitToHistory(text);
    Changed();
}

void CHistoryKeeper::RunPopup() {
    CConsoleView* view = m_control.View();
    const QPoint caret = view != nullptr ? view->viewport()->mapToGlobal(view->CaretPoint())
                                         : m_control.mapToGlobal(QPoint(0, 0));
    const std::size_t entries = m_history.Entries().size();
    const std::optional<ByteString> line =
        m_control.ControlUi().RunHistoryPopup(m_history, caret, &m_control);
    if (m_history.Entries().size() != entries) {
        Changed();  // entries deleted in the popup
    }
    if (!line) {
        return;
    }
    // As if the line were pasted and CR typed: both reach the history and
    // the device through their usual handlers, CR as CR LF when that is on.
    CMessageChannel& channel = m_control.MessageChannel();
    channel.Post(m_control.Handle(), UM_SEND_TEXT, 0, 0, CPayload::Make(*line));
    channel.Post(m_control.Handle(), UM_SEND_CHAR, 0, '\r');
}

std::string CHistoryKeeper::FilePath() const {
    return PathCombine(m_control.Settings().m_dataDirectory, kHistoryFileName);
}

void CHistoryKeeper::Load() {
    if (!m_control.Settings().m_keepCommandHistory) {
        return;
    }
    const std::string path = FilePath();
    SHistoryFile file = ReadHistoryFile(path);
    if (file.ok) {
        m_history.SetEntries(std::move(file.entries));
        return;
    }
    // Not ours to overwrite: it goes aside, and the console starts afresh.
    const std::string aside = path + ".bad";
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    m_control.ShowStatus(
        QStringLiteral("The command history could not be read (%1)%2.")
            .arg(QString::fromLocal8Bit(file.error.c_str()),
                 ec ? QString() : QStringLiteral("; it was kept as ") + FileNameToQString(aside)));
}

void CHistoryKeeper::Changed() {
    if (m_control.Settings().m_keepCommandHistory && !m_saveTimer.isActive()) {
        // A burst of lines is written once.
        m_saveTimer.start();
    }
}

void CHistoryKeeper::Save() {
    m_saveTimer.stop();
    if (!m_control.Settings().m_keepCommandHistory) {
        return;
    }
    std::string error;
    if (!WriteHistoryFile(FilePath(), m_history.Entries(), &error)) {
        m_control.ShowStatus(QStringLiteral("The command history could not be saved: %1")
                                 .arg(QString::fromLocal8Bit(error.c_str())));
    }
}

void CHistoryKeeper::Forget() {
    m_history.Clear();
    m_saveTimer.stop();
    // Whether or not it is kept now, the file may hold what was kept before.
    std::error_code ec;
    std::filesystem::remove(FilePath(), ec);
    if (ec) {
        m_control.ShowStatus(QStringLiteral("The command history file could not be removed: %1")
                                 .arg(QString::fromLocal8Bit(ec.message().c_str())));
    }
}

void CHistoryKeeper::Flush() {
    if (m_saveTimer.isActive()) {
        Save();
    }
}

void CHistoryKeeper::KeepingChanged() {
    if (m_control.Settings().m_keepCommandHistory) {
        Save();
    } else {
        m_saveTimer.stop();
    }
}

}  // namespace quillpad
