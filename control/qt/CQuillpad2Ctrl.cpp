#include "control/qt/CQuillpad2Ctrl.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusTipEvent>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "control/CommandTable.h"
#include "control/LineEnds.h"
#include "control/qt/CControlKeys.h"
#include "control/qt/CControlMenus.h"
#include "control/qt/CControlScript.h"
#include "control/qt/CControlTriggers.h"
#include "control/qt/CFindBar.h"
#include "control/qt/CHistoryKeeper.h"
#include "control/qt/CProgressRouter.h"
#include "control/qt/CQtHostEnvironment.h"
#include "control/qt/CSendPanelDock.h"
#include "control/qt/ControlLogging.h"
#include "control/qt/FindFilter.h"
#include "control/qt/IControlUi.h"
#include "data/DataStore.h"
#include "devsim/qt/CDevSimTransport.h"
#include "nxr/NxrCodes.h"
#include "platform/Paths.h"
#include "platform/qt/EnvironmentStream.h"
#include "platform/qt/FileName.h"
#include "platform/qt/Latin1.h"
#include "session/qt/CQtSessionUi.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CFilterView.h"
#include "view/qt/CHexPane.h"

namespace quillpad {
namespace {

SSessionServices WithDefaults(SSessionServices services) {
    // The built-in simulated controller is part of every console.
    RegisterDevSimTransport();
    SSessionServices real = MakeQtSessionServices();
    if (!services.factory) {
        services.factory = std::move(real.factory);
    }
    if (!services.ui) {
        services.ui = std::move(real.ui);
    }
    if (!services.deferred) {
        services.deferred = std::move(real.deferred);
    }
    return services;
}

constexpr const char* kArrowKeysNotice =
    "The command history UP key is now disabled, and instead will send non-printable "
    "characters to the device corresponding to the UP, DOWN, LEFT, and RIGHT arrow "
    "keys.\n\nDisable this feature to re-enable the command history UP key.";

}  // namespace

CQuillpad2Ctrl::CQuillpad2Ctrl(QWidget* parent, SControlServices services)
    : QWidget(parent),
      CConnectionController(channel, WithDefaults(std::move(services.session))),
      m_ui(services.ui ? std::move(services.ui) : std::make_unique<CQtControlUi>()),
      m_trace(std::move(services.trace)),
      m_menus(std::make_unique<CControlMenus>(*this)),
      m_keys(std::make_unique<CControlKeys>(*this, std::move(services.modifiers))),
      m_historyKeeper(std::make_unique<CHistoryKeeper>(*this)),
      m_logging(std::make_unique<CControlLogging>(*this, *m_ui)),
      m_script(std::make_unique<CControlScript>(*this)),
      m_triggers(std::make_unique<CControlTriggers>(*this)) {
    Trace("construct");
    if (auto* ui = dynamic_cast<CQtSessionUi*>(&Ui())) {
        ui->SetWindow(this);
    }
    // Without a host, a console asked to open another starts the host program.
    SetHostStarter([](const std::string& commandLine) {
        QString host = QCoreApplication::applicationDirPath() + QStringLiteral("/workbay");
        if (!QFileInfo(host).isExecutable()) {
            host = QStandardPaths::findExecutable(QStringLiteral("workbay"));
        }
        return !host.isEmpty() &&
               QProcess::startDetached(
                   host, QProcess::splitCommand(QString::fromLatin1(commandLine.c_str())));
    });
    Create();
}

CQuillpad2Ctrl::~CQuillpad2Ctrl() {
    Destroy();
    Trace("destruct");
}

void CQuillpad2Ctrl::Trace(const std::string& step) const {
    if (m_trace) {
        m_trace(step);
    }
}

// ---- creation and teardown

void CQuillpad2Ctrl::Create() {
    Trace("create");
    m_menus->Build();
    Trace("menus");
    m_settings.LoadFromRegistry();
    ApplySettingsToView();
    Trace("settings");
    RescanStyles();
    Trace("styles");
    m_store = std::make_unique<CDataStore>(channel);
    SetDataStore(m_store.get());
    m_logging->AttachStore(*m_store);
    m_logging->AttachHistory(*m_store);
    m_triggers->Observe(*m_store);
    Trace("store");
    m_view = std::make_unique<CConsoleView>(channel, *m_store, m_viewSettings, this);
    m_view->setObjectName(QStringLiteral("view%1").arg(kViewId));
    m_view->SetControl(Handle());
    m_store->SetTextRenderer([view = m_view.get()](const SDataRecord& record, std::string& text) {
        return view->RenderText(record, text);
    });
    m_view->SetKeyFilter([this](const QKeyEvent& key) { return m_keys->HandleKey(key); });
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    setFocusProxy(m_view.get());
    m_view->setGeometry(rect());
    m_view->show();
    m_hexPane = std::make_unique<CHexPane>(*m_view, this);
    m_hexPane->SetKeyFilter([this](const QKeyEvent& key) { return m_keys->HandleKey(key); });
    m_hexPane->installEventFilter(this);
    m_hexPane->hide();
    ShowHexPane(m_settings.m_showHexPane);
    m_findBar = std::make_unique<CFindBar>(*m_store, *m_view, this);
    connect(m_findBar.get(), &CFindBar::Closed, this, [this] { LayOut(); });
    m_filterView = std::make_unique<CFilterView>(*m_view, this);
    m_filterView->SetKeyFilter([this](const QKeyEvent& key) { return m_keys->HandleKey(key); });
    ConnectFilter(*m_findBar, *m_filterView, *m_view, [this] { LayOut(); });
    Trace("view");
    // Modeless and hidden; their buttons post UM_CANCEL_REQUEST here.
    m_progress = std::make_unique<CProgressRouter>(this, channel, Handle());
    Trace("progress dialogs");
    SSendPanelServices sends;
    sends.send = [this](std::string_view bytes) {
        return SessionOpen() && SendBytes(bytes, kSendTimeoutMs);
    };
    sends.startRepeat = [this](std::uint32_t id, std::string_view bytes, std::uint32_t periodMs,
                               std::uint32_t count) {
        return SessionOpen() && StartRepeat(id, bytes, periodMs, count);
    };
    sends.stopRepeat = [this](std::uint32_t id) { StopRepeat(id); };
    sends.status = [this](const QString& text) { ShowStatus(text); };
    sends.message = [this](const std::string& caption, const std::string& text) {
        channel.Post(Handle(), UM_SHOW_MESSAGE, 0, 0,
                     CPayload::Make(SMessageBox{caption, text, EMessageIcon::Warning}));
    };
    m_sendPanel =
        std::make_unique<CSendPanelDock>(*m_ui, m_settings.m_dataDirectory, std::move(sends), this);
    m_sendPanel->hide();
    connect(m_sendPanel.get(), &CSendPanelDock::PanelOpened, this,
            [this](const QString& path) { m_settings.m_sendPanelPath = QStringToFileName(path); });
    m_sendPanel->OpenPanel(m_settings.m_sendPanelPath);
    ShowSendPanel(m_settings.m_showSendPanel);
    Trace("send panel");
    SelectSchemeByName(m_settings.m_defaultSchemeName);
    Trace("default style");
    LoadKeySet(m_settings.m_keySetPath.empty() ? m_settings.DefaultKeySetPath()
                                               : m_settings.m_keySetPath);
    Trace("key set");  // the folder's key sets are listed when the popup opens
    m_historyKeeper->Load();
    m_triggers->Apply();
    Trace("triggers");
    m_created = true;
    Trace("created");
}

void CQuillpad2Ctrl::Destroy() {
    if (!m_created && !m_view && !m_store) {
        return;
    }
    m_created = false;
    Trace("destroy");
    // Its repeats, a script and the triggers stop before the session goes.
    m_sendPanel.reset();
    m_script->Cancel();
    m_triggers->Stop();
    if (ConsoleOpen()) {
        Trace("close console");
    }
    Shutdown();  // asks the device to close its console (2000 ms at most), then closes
    Trace("session closed");
    m_historyKeeper->Flush();
    m_schemes = CSchemeList();
    m_menus->ClearSubPopups();
    Trace("styles released");
    if (m_progress) {
        m_progress->CloseFileDialog();
    }
    Trace("file progress dialog");
    if (m_progress) {
        m_progress->CloseTaskDialog();
    }
    Trace("task progress dialog");
    m_filterView.reset();
    m_findBar.reset();
    m_hexPane.reset();  // it follows the view
    if (m_store) {
        m_store->SetTextRenderer({});  // the formatted log renders through the view
    }
    m_view.reset();
    Trace("view");
    SetDataStore(nullptr);
    m_store.reset();
    Trace("store");
}

void CQuillpad2Ctrl::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_statusUnseen) {
        m_statusUnseen = false;
        QStatusTipEvent tip(m_statusText);
        QCoreApplication::sendEvent(this, &tip);
    }
}

void CQuillpad2Ctrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

// The send panel takes the right, the find bar the bottom of the rest.
void CQuillpad2Ctrl::LayOut() {
    int viewWidth = width();
    if (m_sendPanel && !m_sendPanel->isHidden()) {
        // At least its own width, at most half the console's.
        const int panelWidth =
            std::min(std::max(m_sendPanel->sizeHint().width(), 260), width() / 2);
        viewWidth = width() - panelWidth;
        m_sendPanel->setGeometry(viewWidth, 0, panelWidth, height());
    }
    if (m_hexPane && !m_hexPane->isHidden()) {
        // A whole row when there is room, never more than half of what is left.
        const int paneWidth = std::min(m_hexPane->PreferredWidth(), viewWidth / 2);
        viewWidth -= paneWidth;
        m_hexPane->setGeometry(viewWidth, 0, paneWidth, height());
    }
    int viewHeight = height();
    if (m_findBar && m_findBar->isVisible()) {
        const int barHeight = std::min(m_findBar->sizeHint().height(), height());
        viewHeight -= barHeight;
        m_findBar->setGeometry(0, viewHeight, viewWidth, barHeight);
    }
    if (m_view) {
        m_view->setGeometry(0, 0, viewWidth, viewHeight);
    }
    if (m_filterView && m_filterView->isVisible()) {
        m_filterView->setGeometry(0, 0, viewWidth, viewHeight);
    }
}

void CQuillpad2Ctrl::ShowSendPanel(bool shown) {
    m_settings.m_showSendPanel = shown;
    if (!m_sendPanel) {
        return;
    }
    if (shown) {
        m_sendPanel->RefreshChooser();
    }
    m_sendPanel->setVisible(shown);
    LayOut();
}

void CQuillpad2Ctrl::ShowHexPane(bool shown) {
    m_settings.m_showHexPane = shown;
    if (!m_hexPane) {
        return;
    }
    m_hexPane->setVisible(shown);
    LayOut();
    if (shown) {
        m_hexPane->SyncFromView();
    } else if (m_hexPane->hasFocus() && m_view) {
        m_view->setFocus();
    }
}

bool CQuillpad2Ctrl::HexPaneShown() const {
    return m_hexPane && !m_hexPane->isHidden();
}

bool CQuillpad2Ctrl::SendPanelShown() const {
    return m_sendPanel && !m_sendPanel->isHidden();
}

std::int32_t CQuillpad2Ctrl::OnRequestCompleted(std::uint32_t requestId, std::uint32_t code,
                                                bool success, std::int32_t extra,
                                                const std::optional<WideString>& userText) {
    ShareRequestCompleted(requestId, code, success);
    if (m_script && m_script->OnRequestCompleted(requestId, success)) {
        return 0;
    }
    return CConnectionController::OnRequestCompleted(requestId, code, success, extra, userText);
}

std::int32_t CQuillpad2Ctrl::OnConnectionStatus(std::uint16_t status) {
    if (m_script && status == static_cast<std::uint16_t>(ENxrConnectionStatus::NotConnected)) {
        m_script->OnSessionClosed();
    }
    return CConnectionController::OnConnectionStatus(status);
}

// ---- progress, to the dialogs while they exist

CNxrDialogEventFile* CQuillpad2Ctrl::FileProgress() const {
    return m_progress ? m_progress->FileDialog() : nullptr;
}

CNxrDialogEventTask* CQuillpad2Ctrl::TaskProgress() const {
    return m_progress ? m_progress->TaskDialog() : nullptr;
}

std::int32_t CQuillpad2Ctrl::OnTaskStart(std::uint32_t requestId, const WideString& title,
                                         const WideString& text) {
    return m_progress ? m_progress->OnTaskStart(requestId, title, text) : 0;
}

std::int32_t CQuillpad2Ctrl::OnTaskProgress(std::uint32_t requestId, std::int32_t percent,
                                            const WideString& text, std::int32_t value) {
    return m_progress ? m_progress->OnTaskProgress(requestId, percent, text, value) : 0;
}

std::int32_t CQuillpad2Ctrl::OnTaskComplete(std::uint32_t requestId, bool success) {
    return m_progress ? m_progress->OnTaskComplete(requestId, success) : 0;
}

std::int32_t CQuillpad2Ctrl::OnFileBatchStart(std::uint32_t requestId, const WideString& title,
                                              std::int32_t files, std::int32_t bytes) {
    return m_progress ? m_progress->OnFileBatchStart(requestId, title, files, bytes) : 0;
}

std::int32_t CQuillpad2Ctrl::OnFileStart(std::uint32_t requestId, const WideString& source,
                                         const WideString& target, std::int32_t size, bool sending,
                                         const WideString& protocol) {
    return m_progress ? m_progress->OnFileStart(requestId, source, target, size, sending, protocol)
                      : 0;
}

std::int32_t CQuillpad2Ctrl::OnFileProgress(std::uint32_t requestId, std::int32_t done,
                                            std::int32_t total, std::int32_t errors,
                                            std::int32_t retries) {
    return m_progress ? m_progress->OnFileProgress(requestId, done, total, errors, retries) : 0;
}

std::int32_t CQuillpad2Ctrl::OnFileFinish(std::uint32_t requestId, bool success) {
    return m_progress ? m_progress->OnFileFinish(requestId, success) : 0;
}

std::int32_t CQuillpad2Ctrl::OnFileBatchFinish(std::uint32_t requestId, bool success) {
    return m_progress ? m_progress->OnFileBatchFinish(requestId, success) : 0;
}

// ---- the command history

const CCommandHistory& CQuillpad2Ctrl::History() const {
    return m_historyKeeper->History();
}

void CQuillpad2Ctrl::OnCharTyped(char ch) {
    m_historyKeeper->OnCharTyped(ch);
}

void CQuillpad2Ctrl::OnTextSending(std::string_view text) {
    m_historyKeeper->OnTextSending(text);
}

void CQuillpad2Ctrl::OnDeviceData(std::string_view data) {
    m_historyKeeper->OnDeviceData(data);
    m_script->OnDeviceData(data);
}

// ---- menus

QList<QAction*> CQuillpad2Ctrl::InPlaceMenuActions() {
    return m_menus->InPlaceMenuActions();
}

SCommandContext CQuillpad2Ctrl::CommandContext() const {
    SCommandContext c;
    const auto& current = m_schemes.Current();
    c.hasCurrentScheme = current != nullptr;
    c.currentSchemeName = current ? current->Name : std::string();
    c.currentStyleCommand = m_schemes.CheckedCommand();
    for (const auto& item : m_menus->KeySetFiles().Items(m_settings.m_keySetPath)) {
        if (item.checked) {
            c.currentKeySetCommand = item.command;
        }
    }
    c.connectionKind = ConnectionSpec().m_nConnectionKind;
    c.modemLines = ModemLines();
    c.waitingForLink = WaitingForLink();
    c.linkUp = ConnectionStatus() == static_cast<std::uint32_t>(ENxrConnectionStatus::Connected);
    c.sharePort = SharePort();
    c.logging = m_logging->State();
    c.reviewing = m_logging->Review() != CControlLogging::EReview::Online;
    c.settings = &m_settings;
    return c;
}

bool CQuillpad2Ctrl::SessionOpen() const {
    return Session() != nullptr && ConnectionHandle() != 0;
}

void CQuillpad2Ctrl::ShowStatus(const QString& text) {
    m_statusText = text;
    m_statusUnseen = !isVisible();
    emit StatusText(text);
    // A main window above shows it in its status bar.
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(this, &tip);
}

void CQuillpad2Ctrl::SayNoSession() {
    static constexpr const char* kNoSession = "The device session is not open.";
    ShowStatus(QString::fromLatin1(kNoSession));
    // The host hides its footer while a log is reviewed (or refused): the
    // status bar would say it to nobody.
    if (m_logging->Review() != CControlLogging::EReview::Online) {
        channel.Post(Handle(), UM_SHOW_MESSAGE, 0, 0,
                     CPayload::Make(SMessageBox{"Notice", kNoSession, EMessageIcon::Information}));
    }
}

// ---- commands

void CQuillpad2Ctrl::OnCommand(cmd::CommandId id) {
    if (cmd::IsStyleCommand(id)) {
        if (m_schemes.SelectByCommand(static_cast<std::uint16_t>(id))) {
            m_settings.m_defaultSchemeName = m_schemes.Current()->Name;
            PostSchemeToView();
        }
        return;
    }
    if (cmd::IsKeySetCommand(id)) {
        if (const auto file =
                m_menus->KeySetFiles().FileForCommand(static_cast<std::uint16_t>(id))) {
            LoadKeySet(*file);
        }
        return;
    }
    const SCommandRow* row = FindCommand(id);
    if (row == nullptr) {
        return;
    }
    if (row->needsSession && !SessionOpen()) {
        // Before any chooser: a file picked for a transfer that cannot run
        // would be the user's time lost.
        SayNoSession();
        return;
    }
    if (FlipSetting(*row, m_settings)) {
        FollowSwitch(row->setting);
        return;
    }
    switch (id) {
        case cmd::Reconnect:
            Reconnect();
            break;
        case cmd::Disconnect:
            Disconnect();
            break;
        case cmd::StopWaiting:
            StopWaiting();
            break;
        case cmd::ShareLink:
            if (SharePort() != 0) {
                StopSharing();
            } else {
                channel.Post(Handle(), UM_SHARE_LINK);
            }
            break;
        case cmd::Find:
            if (m_findBar) {
                m_findBar->Open();
                LayOut();
            }
            break;
        case cmd::GoToTime:
            channel.Post(Handle(), UM_GO_TO_TIME);
            break;
        case cmd::ClearData:
        case cmd::ContextClear:
            if (m_store) {
                channel.Send(m_store->Handle(), UM_CLEAR_DATA);
            }
            break;
        case cmd::MakeDefault:
            if (const auto& current = m_schemes.Current()) {
                m_settings.m_defaultSchemeName = current->Name;
            }
            m_settings.SaveToRegistry();
            break;
        case cmd::ToggleHexMode:
            ToggleHexMode();
            break;
        case cmd::StampsOff:
        case cmd::StampsAbsolute:
        case cmd::StampsSinceStart:
        case cmd::StampsSincePrevious:
            SetStamps(static_cast<EStampMode>(id - cmd::StampsOff), m_settings.m_stampGapMs);
            break;
        case cmd::CycleStamps:
            SetStamps(NextStampMode(m_settings.m_stampMode), m_settings.m_stampGapMs);
            break;
        case cmd::StampGap10:
        case cmd::StampGap100:
        case cmd::StampGap1000:
            SetStamps(m_settings.m_stampMode, kGapThresholdsMs[id - cmd::StampGap10]);
            break;
        case cmd::ContextCopy:
            if (m_view) {
                m_view->Copy();
            }
            break;
        case cmd::ContextPaste:
            if (m_view) {
                m_view->Paste();
            }
            break;
        case cmd::CommandHistory:
            channel.Post(Handle(), UM_HISTORY_POPUP);
            break;
        case cmd::ForgetCommandHistory:
            m_historyKeeper->Forget();
            break;
        case cmd::Triggers:
            m_triggers->EditTriggers();
            break;
        case cmd::RunScript:
            m_script->ChooseAndRun();
            break;
        case cmd::EditSequenceKeys:
            EditSequenceKeys();
            break;
        case cmd::StartLogging:
            m_logging->StartOrStopLogging();
            break;
        case cmd::PauseLogging:
            m_logging->PauseOrResumeLogging();
            break;
        case cmd::SaveBuffer:
            m_logging->SaveBuffer();
            break;
        case cmd::LoadLog:
            m_logging->LoadLog();
            break;
        case cmd::GoBackOnline:
            m_logging->GoBackOnline();
            break;
        case cmd::EditStyles:
            EditStyles();
            break;
        case cmd::LineDtr:
        case cmd::LineRts:
        case cmd::PulseDtr:
        case cmd::PulseRts:
        case cmd::ResetPulse:
        case cmd::BreakLength:
            RunLineCommand(id);
            break;
        case cmd::SendBreak:
            SendBreak();
            break;
        case cmd::XModemSend:
        case cmd::XModemReceive:
        case cmd::AsciiSend:
        case cmd::AsciiReceive:
            RunTransfer(id);
            break;
        default:
            break;
    }
}

void CQuillpad2Ctrl::FollowSwitch(bool CQuillpadSettings::*setting) {
    if (setting == &CQuillpadSettings::m_showSendPanel) {
        ShowSendPanel(m_settings.m_showSendPanel);
    } else if (setting == &CQuillpadSettings::m_showHexPane) {
        ShowHexPane(m_settings.m_showHexPane);
    } else if (setting == &CQuillpadSettings::m_keepCommandHistory) {
        m_historyKeeper->KeepingChanged();
    } else if (setting == &CQuillpadSettings::m_transmitArrowCharacters) {
        if (m_settings.m_transmitArrowCharacters) {
            channel.Post(
                Handle(), UM_SHOW_MESSAGE, 0, 0,
                CPayload::Make(SMessageBox{"Notice", kArrowKeysNotice, EMessageIcon::Information}));
        }
    } else if (setting != &CQuillpadSettings::m_outgoingCRToCRLF) {
        ApplySettingsToView();  // the hover window's switches
    }
    // CR to CR LF is read as each line goes out.
}

SConnectionOptions CQuillpad2Ctrl::Options() const {
    return {.outgoingCRToCRLF = m_settings.m_outgoingCRToCRLF,
            .waitForDeviceSeconds = m_settings.m_waitForDeviceSeconds};
}

void CQuillpad2Ctrl::ApplySettingsToView() {
    m_viewSettings.showAllSources = m_settings.m_showAllSources;
    m_viewSettings.textInfo = {m_settings.m_showAbsoluteTime, m_settings.m_showRelativeTime,
                               m_settings.m_showDataDirection, m_settings.m_showRelatedData};
    const bool stampsChanged = m_viewSettings.stampMode != m_settings.m_stampMode ||
                               m_viewSettings.stampGapMs != m_settings.m_stampGapMs;
    m_viewSettings.stampMode = m_settings.m_stampMode;
    m_viewSettings.stampGapMs = m_settings.m_stampGapMs;
    if (m_store) {
        m_store->SetStampMode(m_settings.m_stampMode);
    }
    if (stampsChanged && m_view) {
        m_view->StampsChanged();
    }
}

void CQuillpad2Ctrl::SetStamps(EStampMode mode, std::uint32_t gapMs) {
    m_settings.m_stampMode = mode;
    m_settings.m_stampGapMs = gapMs;
    ApplySettingsToView();
}

// ---- styles

void CQuillpad2Ctrl::RescanStyles() {
    m_schemes.Rescan(m_settings.m_dataDirectory, m_settings.m_showAllSources);
    m_menus->StylesChanged();
    NoteSkippedSheets();
}

void CQuillpad2Ctrl::RefreshStyles() {
    // The cache's folder watch makes this cheap while nothing changed.
    if (m_schemes.Refresh(m_settings.m_dataDirectory, m_settings.m_showAllSources)) {
        m_menus->StylesChanged();
    }
    NoteSkippedSheets();
}

void CQuillpad2Ctrl::NoteSkippedSheets() {
    std::set<std::string> skipped;
    QStringList named;
    QString reason;
    for (const SSkippedScheme& sheet : m_schemes.Skipped()) {
        skipped.insert(sheet.path);
        if (m_notedSheets.insert(sheet.path).second) {
            named << FileNameToQString(std::filesystem::path(sheet.path).filename().string());
            if (reason.isEmpty()) {
                reason = QString::fromLocal8Bit(sheet.reason.c_str());
            }
        }
    }
    // A sheet that reads again is named again should it break later.
    std::erase_if(m_notedSheets, [&](const std::string& path) { return !skipped.count(path); });
    if (named.size() == 1) {
        ShowStatus(
            QStringLiteral("The style sheet %1 is not listed: %2.").arg(named.front(), reason));
    } else if (named.size() > 1) {
        ShowStatus(
            QStringLiteral("The style sheets %1 are not listed: they cannot be read as styles.")
                .arg(named.join(QStringLiteral(", "))));
    }
}

bool CQuillpad2Ctrl::SelectSchemeByName(const std::string& name) {
    if (!m_schemes.SelectByName(name)) {
        return false;
    }
    m_settings.m_defaultSchemeName = m_schemes.Current()->Name;
    PostSchemeToView();
    return true;
}

void CQuillpad2Ctrl::ToggleHexMode() {
    if (m_schemes.ToggleHexMode()) {
        m_settings.m_defaultSchemeName = m_schemes.Current()->Name;
        PostSchemeToView();
    }
}

void CQuillpad2Ctrl::PostSchemeToView() {
    // However many schemes matched, the view replays once, for the last.
    if (m_view) {
        channel.Post(m_view->Handle(), UM_SET_SCHEME, 0, 0,
                     CPayload::Make(std::shared_ptr<CStyleScheme>(m_schemes.Current())));
    }
}

// ---- messages and keys

std::int32_t CQuillpad2Ctrl::OnSendRepeat(std::uint32_t id, std::uint32_t sent,
                                          std::optional<ESendEnd> end) {
    channel.Post(Handle(), UM_SEND_REPEAT, 0, 0, CPayload::Make(SSendRepeatNews{id, sent, end}));
    return 0;
}

std::int64_t CQuillpad2Ctrl::HandleMessage(SMessage& message) {
    switch (message.id) {
        case UM_TOGGLE_HEX:
            ToggleHexMode();
            return 0;
        case UM_HISTORY_POPUP:
            m_historyKeeper->RunPopup();
            return 0;
        case UM_GO_TO_TIME:
            GoToTime();
            return 0;
        case UM_SHARE_LINK:
            ShareLink();
            return 0;
        case UM_SEND_REPEAT:
            if (const auto* news = message.payload.Get<SSendRepeatNews>(); news && m_sendPanel) {
                m_sendPanel->RepeatNews(*news);
            }
            return 0;
        case UM_CANCEL_REQUEST:
            if (static_cast<std::uint32_t>(message.lParam) == CControlScript::kRequestId) {
                m_script->Cancel();
            } else {
                CancelRequest(static_cast<std::uint32_t>(message.lParam));
            }
            return 0;
        case UM_SEND_TEXT:
            // A paste or a history line: its lines end as the device expects,
            // in the history as on the wire.
            if (ByteString* text = message.payload.Get<ByteString>()) {
                *text = EndLinesForDevice(*text);
            }
            break;
        default:
            break;
    }
    std::int64_t result = 0;
    HandleConnectionMessage(message, result);
    return result;
}

void CQuillpad2Ctrl::LoadKeySet(const std::string& path) {
    const EKeySetStart start = m_keySet.LoadOrCreate(path);
    if (start == EKeySetStart::Loaded || start == EKeySetStart::Created) {
        m_settings.m_keySetPath = path;
    } else if (m_notedKeySets.insert(path).second) {
        ShowStatus(QStringLiteral("The key set %1 could not be %2; the default keys are used.")
                       .arg(FileNameToQString(path), start == EKeySetStart::Unreadable
                                                         ? QStringLiteral("read")
                                                         : QStringLiteral("written")));
    }
    m_menus->KeySetsChanged();
}

void CQuillpad2Ctrl::EditSequenceKeys() {
    if (!m_ui->RunShortcutSetup(m_settings.m_dataDirectory, m_keySet, this)) {
        return;  // a browsed key set stays, unsaved, and is not made the setting
    }
    if (!m_keySet.SaveFile(m_keySet.GetPath())) {
        const std::string path = m_keySet.GetPath();
        channel.Post(Handle(), UM_SHOW_MESSAGE, 0, 0,
                     CPayload::Make(SMessageBox{
                         "Error",
                         "The key set could not be saved" +
                             (path.empty() ? std::string(": it has no file name.")
                                           : " to " + path + ": " + m_keySet.LastError()),
                         EMessageIcon::Error}));
        return;
    }
    m_settings.m_keySetPath = m_keySet.GetPath();
    m_menus->KeySetsChanged();
}

bool CQuillpad2Ctrl::eventFilter(QObject* watched, QEvent* event) {
    const bool console =
        (m_view && watched == m_view.get()) || (m_hexPane && watched == m_hexPane.get());
    if (console && event->type() == QEvent::ShortcutOverride) {
        // The console's keys are its own: no shortcut or menu mnemonic of
        // the host takes Alt+C, Ctrl+V or a function key from it.
        if (m_keys->ClaimsShortcut(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    }
    if (m_view && watched == m_view->viewport() && event->type() == QEvent::ContextMenu) {
        ShowContextMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CQuillpad2Ctrl::ShowContextMenu(QPoint globalPos) {
    const cmd::CommandId chosen = m_ui->TrackPopup(MakeContextMenu(), globalPos, this);
    if (chosen != 0) {
        OnCommand(chosen);
    }
}

// ---- the host's calls

void CQuillpad2Ctrl::IWBGetWindowSizes(short* minCx, short* minCy, short* maxCx, short* maxCy,
                                       short* preferredCx, short* preferredCy) {
    const auto put = [](short* p, short v) {
        if (p != nullptr) {
            *p = v;
        }
    };
    put(minCx, 400);
    put(minCy, 200);
    put(maxCx, 10000);
    put(maxCy, 10000);
    put(preferredCx, 650);
    put(preferredCy, 400);
}

void CQuillpad2Ctrl::IWBSetConnectionParameters(const QByteArray& parameters) {
    SetConnectionParameters(BytesToWide(
        std::string_view(parameters.constData(), static_cast<std::size_t>(parameters.size()))));
    // After "New Console..." the user types at once.
    if (m_view) {
        m_view->setFocus();
    }
}

void CQuillpad2Ctrl::IWBSetEnvIDispatchViaStream(int stream) {
    SetHostEnvironment(nullptr);
    if (QObject* environment = UnmarshalEnvironment(stream)) {
        SetHostEnvironment(std::make_shared<CQtHostEnvironment>(environment));
    }
}

void CQuillpad2Ctrl::IWBGetSaveData(QByteArray* data, int* length) {
    m_settings.Store();
    const std::size_t size = m_settings.SaveText(nullptr, 0);
    if (size == 0 || data == nullptr || length == nullptr) {
        return;
    }
    std::string buffer(size, '\0');
    m_settings.Store();
    m_settings.SaveText(buffer.data(), buffer.size());
    *data = QByteArray(buffer.data(), static_cast<qsizetype>(buffer.size()));
    *length = static_cast<int>(size);
}

void CQuillpad2Ctrl::IWBLoadSaveData(const QByteArray& data, int length) {
    // Never past the blob, whatever the length claims; a blob without its
    // zero byte is read to its length.
    const auto size = static_cast<std::size_t>(std::clamp<qsizetype>(length, 0, data.size()));
    m_settings.LoadText(std::string_view(data.constData(), size), true);
    m_settings.Read();
    ApplySettingsToView();
    SelectSchemeByName(m_settings.m_defaultSchemeName);
    LoadKeySet(m_settings.m_keySetPath.empty() ? m_settings.DefaultKeySetPath()
                                               : m_settings.m_keySetPath);
    if (m_sendPanel) {
        if (m_sendPanel->Panel().Path() != m_settings.m_sendPanelPath) {
            m_sendPanel->OpenPanel(m_settings.m_sendPanelPath);
        }
        ShowSendPanel(m_settings.m_showSendPanel);
    }
    m_triggers->Apply();
    ShowHexPane(m_settings.m_showHexPane);
}

void CQuillpad2Ctrl::AboutBox() {
    m_ui->ShowAbout(this);
}

}  // namespace quillpad
