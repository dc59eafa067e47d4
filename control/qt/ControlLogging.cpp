#include "control/qt/ControlLogging.h"

#include <ctime>

#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QTimer>

#include "control/qt/CLogTurnFlush.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/BinaryLogFormat.h"
#include "data/DataStore.h"
#include "platform/Paths.h"
#include "platform/qt/FileName.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

// The file chooser's folder and the host's address fit buffers of 260 characters.
constexpr std::size_t kMaxPath = 260;

class CWaitCursor {
  public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

}  // namespace

QString LogFailureText(const std::vector<SLogFileFailure>& failures) {
    QString opened;
    QString written;
    for (const auto& f : failures) {
        const QString line =
            QStringLiteral("%1: %2\n    %3\n")
                .arg(QString::fromLatin1(LogKindName(f.kind).data(),
                                         static_cast<qsizetype>(LogKindName(f.kind).size())),
                     FileNameToQString(f.path), QString::fromLocal8Bit(f.reason.c_str()));
        (f.whileWriting ? written : opened) += line;
    }
    QString text;
    if (!opened.isEmpty()) {
        text +=
            QStringLiteral("These log files could not be created and are not written:\n") + opened;
    }
    if (!written.isEmpty()) {
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                QStringLiteral(
                    "Writing these log files failed; they were closed and are not "
                    "written any more:\n") +
                written;
    }
    return text.trimmed();
}

CControlLogging::CControlLogging(CQuillpad2Ctrl& control, IControlUi& ui)
    : m_control(control), m_ui(ui) {}

CControlLogging::~CControlLogging() = default;

void CControlLogging::AttachStore(CDataStore& store) {
    store.SetShowAllSources(m_control.Settings().m_showAllSources);
    store.SetStampMode(m_control.Settings().m_stampMode);
    // Failures arise inside a turn's end or a command: show them from the
    // event loop, never from inside the store.
    QPointer<CQuillpad2Ctrl> control(&m_control);
    store.SetLogFailureHandler([this, control](std::vector<SLogFileFailure> failures) {
        QTimer::singleShot(0, control.data(), [this, control, failures] {
            if (control) {
                ReportFailures(failures);
            }
        });
    });
    m_turnFlush = std::make_unique<CLogTurnFlush>([this] { return m_control.Store(); });
}

ELoggingState CControlLogging::State() const {
    if (!m_request) {
        return ELoggingState::NotLogging;
    }
    return m_request->paused ? ELoggingState::Paused : ELoggingState::Logging;
}

std::string CControlLogging::TitleStatus() const {
    const CDataStore* store = m_control.Store();
    return LoggingTitleStatus(m_request != nullptr, m_request ? *m_request : SLogRequest{},
                              store ? store->LiveLogKinds() : std::vector<ELogKind>{});
}

void CControlLogging::UpdateTitleStatus() {
    // The quick name is part of the files' names: the title shows it as they do.
    m_control.HostAppendToWindowTitle(FileNameToQString(TitleStatus()).toStdU16String());
}

void CControlLogging::ReportFailures(const std::vector<SLogFileFailure>& failures) {
    if (failures.empty()) {
        return;
    }
    if (m_request) {
        UpdateTitleStatus();
    }
    // Message texts carry file names as the file system has them.
    m_control.Ui().ShowMessage("Warning", QStringToFileName(LogFailureText(failures)),
                               EMessageIcon::Warning);
}

void CControlLogging::StartOrStopLogging() {
    CDataStore* store = m_control.Store();
    if (store == nullptr) {
        return;
    }
    if (m_request) {
        store->StopLogging();
        m_request.reset();
    } else {
        auto request = m_ui.RunLogFilesDialog(m_control.Settings(), &m_control);
        if (!request) {
            return;  // cancelled: nothing changes
        }
        // Held here while logging: the store reads its paused flag live.
        m_request = std::make_unique<SLogRequest>(std::move(*request));
        store->StartLogging(*m_request);
    }
    UpdateTitleStatus();
}

bool CControlLogging::StartLoggingQuietly(const std::string& quickName) {
    const CQuillpadSettings& settings = m_control.Settings();
    const SLogPaths paths = BuildLogPaths(settings.m_logFolder, quickName,
                                          static_cast<std::int64_t>(std::time(nullptr)));
    std::string error;
    return StartLoggingWith(SLogRequest{.quickName = quickName,
                                        .plainEnabled = settings.m_logAsPlainText,
                                        .plainPath = paths.plain,
                                        .formattedEnabled = settings.m_logAsFormattedText,
                                        .formattedPath = paths.formatted,
                                        .binaryEnabled = settings.m_logAsBinaryLog,
                                        .binaryPath = paths.binary,
                                        .insertTimestamps = settings.m_insertTimestampsInText,
                                        .paused = false},
                            error);
}

bool CControlLogging::StartLoggingWith(const SLogRequest& request, std::string& error) {
    CDataStore* store = m_control.Store();
    if (store == nullptr || m_review != EReview::Online) {
        error = "the console is not online";
        return false;
    }
    if (m_request) {
        error = "the console is logging already";
        return false;
    }
    m_request = std::make_unique<SLogRequest>(request);
    m_request->paused = false;
    store->StartLogging(*m_request);
    UpdateTitleStatus();
    return true;
}

bool CControlLogging::StopLogging() {
    CDataStore* store = m_control.Store();
    if (store == nullptr || !m_request) {
        return false;
    }
    store->StopLogging();
    m_request.reset();
    UpdateTitleStatus();
    return true;
}

void CControlLogging::PauseOrResumeLogging() {
    if (!m_request) {
        return;
    }
    m_request->paused = !m_request->paused;
    UpdateTitleStatus();
}

void CControlLogging::SaveBuffer() {
    CDataStore* store = m_control.Store();
    if (store == nullptr || m_request) {
        return;
    }
    const auto request = m_ui.RunLogFilesDialog(m_control.Settings(), &m_control);
    if (!request) {
        return;
    }
    CWaitCursor wait;
    store->SaveBuffer(*request);
}

void CControlLogging::LoadLog() {
    CDataStore* store = m_control.Store();
    CConsoleView* view = m_control.View();
    if (store == nullptr || view == nullptr || m_request) {
        return;
    }
    std::string folder = m_control.Settings().m_logFolder;
    if (folder.size() > kMaxPath) {
        folder.resize(kMaxPath);
    }
    const QString extension = QString::fromLatin1(
        kBinaryLogExtension.data(), static_cast<qsizetype>(kBinaryLogExtension.size()));
    const auto path = m_ui.ChooseFileToOpen(
        QStringLiteral("Workbay Log Files (*.%1)").arg(extension), extension, folder, &m_control);
    if (!path) {
        return;
    }
    LoadLogFile(*path);
}

void CControlLogging::LoadLogFile(const std::string& path) {
    CDataStore* store = m_control.Store();
    CConsoleView* view = m_control.View();
    if (store == nullptr || view == nullptr || m_request) {
        return;
    }
    CWaitCursor wait;
    CMessageChannel& channel = m_control.MessageChannel();
    channel.Send(m_control.Handle(), UM_CONNECT);  // no spec: the session closes
    m_control.HostShowFrameFooter(0);
    m_control.HostAppendToWindowTitle(FileNameToQString(PathFileName(path)).toStdU16String());
    // The store clears its views when it takes the log. A refused one shows
    // nothing: the earlier records stay in the store, unshown, until the
    // console goes back online.
    if (store->LoadLogInParts(path).accepted) {
        m_review = EReview::Reviewing;
        channel.Post(store->Handle(), UM_FILL_VIEW, 0, view->Handle());
    } else {
        channel.Send(view->Handle(), UM_CLEAR_DATA);
        m_review = EReview::Refused;
        m_control.Ui().ShowMessage(kLoadErrorCaption, kLoadErrorText, EMessageIcon::Error);
    }
}

void CControlLogging::GoBackOnline() {
    m_control.HostAppendToWindowTitle(WideString());
    m_control.HostShowFrameFooter(1);
    WideString first;
    WideString address;
    WideString third;
    if (m_control.HostGetCurrentAddress(first, address, third) != 0) {
        return;
    }
    if (address.size() > kMaxPath - 1) {
        address.resize(kMaxPath - 1);
    }
    if (address.empty()) {
        return;
    }
    CMessageChannel& channel = m_control.MessageChannel();
    if (CDataStore* store = m_control.Store()) {
        channel.Send(store->Handle(), UM_CLEAR_DATA);  // and its views
    }
    m_review = EReview::Online;
    channel.Send(m_control.Handle(), UM_CONNECT, 0, 0, CPayload::Make(address));
}

}  // namespace quillpad
