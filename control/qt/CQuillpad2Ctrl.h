#pragma once
// The console: one control per console window of the host. It owns
// everything of one console (settings, data store, view, the list of
// styles) and is, through its base, the console's side of the connection.
// It wires four parts: the menus (CControlMenus), the keys (CControlKeys),
// the command history (CHistoryKeeper) and the progress dialogs
// (CProgressRouter); logging and review are CControlLogging's.
//
// The host talks to it by name (Q_INVOKABLE: the IWB... methods, AboutBox,
// InPlaceMenuActions); it calls the host back through the environment object
// the host hands over (CQtHostEnvironment).
//
// Creation and teardown keep one order (Create, Destroy): a step's trace
// names it, so tests can hold the order to account. Every command, whether it
// comes from the host's menu bar, the right-click menu or a key, goes through
// OnCommand: a switch of the command table flips its setting, and the console
// follows it (FollowSwitch); the rest are verbs OnCommand runs. The enable
// and check rules run when a menu is about to show.
//
// Private messages (on top of the connection's, see CConnectionController):
//   UM_TOGGLE_HEX      Hex Mode on or off, for other senders (Alt+H and
//                      "Toggle Hex Mode" call ToggleHexMode)
//   UM_GO_TO_TIME      posted by Ctrl+G and "Go to Time...": asks for a time
//                      and scrolls to it
//   UM_SHARE_LINK      posted by "Share Link...": asks how to share the link
//                      and asks the session to share it
//   UM_HISTORY_POPUP   posted by Up and "Command History": the history popup;
//                      its line goes out as UM_SEND_TEXT, then UM_SEND_CHAR CR
//   UM_CANCEL_REQUEST  lParam = request id, posted by the progress dialogs'
//                      buttons: the session's Cancel (id, 2)
//   UM_ABILITY, UM_ABILITY_GROUP  see CConnectionController; the group
//                      dialog and the questions are in ControlAbilities.cpp
//   UM_SEND_REPEAT     payload = SSendRepeatNews, posted from OnSendRepeat: a
//                      repeat's count or end, for the send panel
//
// The send panel (CSendPanelDock) sends once through SendBytes, like a
// macro, and repeats through StartRepeat, on the session's I/O thread,
// while the session is open. The triggers (CControlTriggers) see every
// record of the link; a script run from the menu or a trigger
// (CControlScript) sees what the device sends, and its task window's Cancel
// comes back as UM_CANCEL_REQUEST with CControlScript::kRequestId.

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "control/CQuillpadSettings.h"
#include "control/CommandRules.h"
#include "control/KeyRouting.h"
#include "control/MenuModel.h"
#include "control/qt/IControlUi.h"
#include "input/CCommandHistory.h"
#include "input/CKeySet.h"
#include "nxr/NxrRequestBlocks.h"
#include "platform/qt/CQtMessageChannel.h"
#include "session/CConnectionController.h"
#include "styles/CSchemeList.h"
#include "view/TextInfo.h"

class QAction;
class QKeyEvent;

namespace quillpad {

class CConsoleView;
class CFilterView;
class CControlKeys;
class CControlScript;
class CControlTriggers;
class CControlLogging;
class CControlMenus;
class CDataStore;
class CFindBar;
class CHistoryKeeper;
class CProgressRouter;
class CSendPanelDock;
class CHexPane;
class CNxrDialogEventFile;
class CNxrDialogEventTask;

// The channel must exist before the connection base registers with it, so
// it sits in a base of its own, in front of that one.
struct SControlChannel {
    CQtMessageChannel channel;
};

// What a control is made with; the defaults are the real ones.
struct SControlServices {
    SSessionServices session;                       // empty factory: our session object
    std::unique_ptr<IControlUi> ui;                 // null: CQtControlUi
    std::function<void(const std::string&)> trace;  // each step of Create and Destroy
    // The modifiers held at the moment of a key; null: the keyboard's.
    std::function<SKeyModifiers()> modifiers;
};

class CQuillpad2Ctrl final : public QWidget, private SControlChannel, public CConnectionController {
    Q_OBJECT
  public:
    static constexpr int kViewId = 1000;
    static constexpr int kHelpTopic = 1007;

    explicit CQuillpad2Ctrl(QWidget* parent = nullptr, SControlServices services = {});
    ~CQuillpad2Ctrl() override;

    // The host's calls.
    Q_INVOKABLE void IWBGetWindowSizes(short* minCx, short* minCy, short* maxCx, short* maxCy,
                                       short* preferredCx, short* preferredCy);
    Q_INVOKABLE void IWBSetConnectionParameters(const QByteArray& parameters);
    Q_INVOKABLE void IWBSetEnvIDispatchViaStream(int stream);
    Q_INVOKABLE void IWBGetSaveData(QByteArray* data, int* length);
    Q_INVOKABLE void IWBLoadSaveData(const QByteArray& data, int length);
    Q_INVOKABLE void AboutBox();
    // The menu bar's popups ("Quillpad", "Lo&gging", "C&ommunications").
    Q_INVOKABLE QList<QAction*> InPlaceMenuActions();

    // The one way to run a command.
    void OnCommand(cmd::CommandId id);
    SCommandContext CommandContext() const;
    // The menu bar's popups, the style and key set popups and their rules.
    CControlMenus& Menus() const { return *m_menus; }

    // Styles. A rescan reads the data folder's sheets afresh; a refresh (the
    // style menu about to show) takes in what changed there since and keeps
    // the current style.
    void RescanStyles();
    void RefreshStyles();
    bool SelectSchemeByName(const std::string& name);
    void ToggleHexMode();
    // "Edit Styles...": the style editor on the current style (ControlStyleEditor.cpp).
    void EditStyles();
    const CSchemeList& Schemes() const { return m_schemes; }

    // Send Break and the four transfer commands (ControlTransfers.cpp).
    void SendBreak(std::int32_t ms = kNxrDefaultBreakMs);
    // The modem line commands (ControlTransfers.cpp).
    void RunLineCommand(cmd::CommandId id);
    void RunTransfer(cmd::CommandId id);
    // The request a transfer command makes once its questions are answered,
    // for `path`, with the console's options (ASCII Send's pauses as the
    // settings keep them); the session's status. A script's transfers start
    // here without the questions.
    std::int32_t StartTransfer(cmd::CommandId id, const std::string& path,
                               std::uint32_t& requestId);
    // "Go to Time...": asks for a time, then shows the first record at or
    // after it at the top of the view (ControlGoToTime.cpp). Run from
    // UM_GO_TO_TIME, never inside a handler.
    void GoToTime();
    // "Share Link...": asks through the control UI, then asks the session to
    // serve the link; run from UM_SHARE_LINK (ControlShareLink.cpp). "Stop
    // Sharing" ends it. The outcome, and each client that attaches, leaves or
    // is dropped, is told in the status bar.
    void ShareLink();
    void StopSharing();
    // The progress dialogs, null once closed at teardown.
    CNxrDialogEventFile* FileProgress() const;
    CNxrDialogEventTask* TaskProgress() const;

    // A script's transfer ends in its script (CControlScript), without the
    // error box the others show when they fail; a share's start is told in
    // the status bar.
    std::int32_t OnRequestCompleted(std::uint32_t requestId, std::uint32_t code, bool success,
                                    std::int32_t extra,
                                    const std::optional<WideString>& userText) override;
    // Closing the session ends its requests without completions: a script's
    // transfer ends then.
    std::int32_t OnConnectionStatus(std::uint16_t status) override;

    // Progress events, to the dialogs while they exist (CProgressRouter);
    // each answers 0.
    std::int32_t OnTaskStart(std::uint32_t requestId, const WideString& title,
                             const WideString& text) override;
    std::int32_t OnTaskProgress(std::uint32_t requestId, std::int32_t percent,
                                const WideString& text, std::int32_t value) override;
    std::int32_t OnTaskComplete(std::uint32_t requestId, bool success) override;
    std::int32_t OnFileBatchStart(std::uint32_t requestId, const WideString& title,
                                  std::int32_t files, std::int32_t bytes) override;
    std::int32_t OnFileStart(std::uint32_t requestId, const WideString& source,
                             const WideString& target, std::int32_t size, bool sending,
                             const WideString& protocol) override;
    std::int32_t OnFileProgress(std::uint32_t requestId, std::int32_t done, std::int32_t total,
                                std::int32_t errors, std::int32_t retries) override;
    std::int32_t OnFileFinish(std::uint32_t requestId, bool success) override;
    std::int32_t OnFileBatchFinish(std::uint32_t requestId, bool success) override;
    // The share's start, and its changes, for the status bar
    // (ControlShareLink.cpp); the connection's handling runs as well.
    void ShareRequestCompleted(std::uint32_t requestId, std::uint32_t code, bool success);
    std::int32_t OnShareChanged(std::int32_t port, std::int32_t clients,
                                std::string_view note) override;

    // The send panel beside the console ("Send Panel"); it exists from
    // creation on, hidden unless shown.
    void ShowSendPanel(bool shown);
    bool SendPanelShown() const;
    CSendPanelDock* SendPanel() const { return m_sendPanel.get(); }
    // The hex dump of the history, between the view and the send panel.
    void ShowHexPane(bool shown);
    bool HexPaneShown() const;
    CHexPane* HexPane() const { return m_hexPane.get(); }

    // The keys the console takes before its view.
    CControlKeys& Keys() const { return *m_keys; }
    // Loads the key set (a missing file is created with the defaults).
    void LoadKeySet(const std::string& path);
    const CKeySet& KeySet() const { return m_keySet; }
    const CCommandHistory& History() const;

    // The triggers at work and "Run Script..." (CControlTriggers, CControlScript).
    CControlTriggers& Triggers() const { return *m_triggers; }
    CControlScript& Script() const { return *m_script; }
    // Whether there is a session to send to (none while a log is reviewed).
    bool SessionOpen() const;

    CQuillpadSettings& Settings() { return m_settings; }
    const CQuillpadSettings& Settings() const { return m_settings; }
    CConsoleView* View() const { return m_view.get(); }
    CDataStore* Store() const { return m_store.get(); }
    // The find bar (Ctrl+F), below the view while it is open.
    CFindBar* FindBar() const { return m_findBar.get(); }
    CControlLogging& Logging() const { return *m_logging; }
    // A short message for the host's status bar (StatusText and a status tip).
    void ShowStatus(const QString& text);
    // "The device session is not open.", in the status bar and, while the
    // host shows no footer, in a posted box.
    void SayNoSession();
    const QString& LastStatusText() const { return m_statusText; }
    // The control's dialogs and choosers.
    IControlUi& ControlUi() const { return *m_ui; }
    CMessageChannel& MessageChannel() { return channel; }

    std::int64_t HandleMessage(SMessage& message) override;
    SConnectionOptions Options() const override;

  signals:
    // A short message for the host's status bar (also sent as a status tip).
    void StatusText(const QString& text);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    // A note made before the host placed the console (an unreadable key set
    // or style sheet at creation) reaches its status bar now.
    void showEvent(QShowEvent* event) override;
    // The history sees every typed character and every text before it is sent.
    void OnCharTyped(char ch) override;
    void OnTextSending(std::string_view text) override;
    void OnDeviceData(std::string_view data) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void ShowAbilityGroup(std::uint32_t a, std::uint32_t b, EAbilityGroup group) override;
    bool AskUser(std::int32_t queryType, const WideString& prompt, WideString& answer) override;
    void OnShareNote(std::string_view note) override;
    // Posted on to the send panel, which is no part of a session event.
    std::int32_t OnSendRepeat(std::uint32_t id, std::uint32_t sent,
                              std::optional<ESendEnd> end) override;

  private:
    void Create();
    void Destroy();
    void Trace(const std::string& step) const;
    void EditSequenceKeys();
    void ShowContextMenu(QPoint globalPos);
    void ApplySettingsToView();
    // What the console does after a switch of its settings flipped.
    void FollowSwitch(bool CQuillpadSettings::*setting);
    // Time stamps in that form and gap, shown at once and kept in the settings.
    void SetStamps(EStampMode mode, std::uint32_t gapMs);
    // The view, and when shown the send panel at its right and the find
    // bar below it.
    void LayOut();
    void PostSchemeToView();
    // Names, once per file, the style sheets the last rescan left out.
    void NoteSkippedSheets();

    std::unique_ptr<IControlUi> m_ui;
    std::function<void(const std::string&)> m_trace;
    CQuillpadSettings m_settings;
    // The Reset Pulse dialog's and the Break dialog's last answers.
    SResetPulseChoice m_resetPulse;
    int m_breakMs = kNxrDefaultBreakMs;
    // What Go to Time was last given, offered again.
    std::string m_lastGoToTime;
    // The Share Link dialog's last answer, offered again, and the request
    // it started (0: none waits).
    SShareLinkChoice m_shareChoice;
    std::uint32_t m_shareRequestId = 0;
    SViewSettings m_viewSettings;  // the view reads it live
    CSchemeList m_schemes;
    CKeySet m_keySet;
    std::unique_ptr<CControlMenus> m_menus;
    std::unique_ptr<CControlKeys> m_keys;
    std::unique_ptr<CHistoryKeeper> m_historyKeeper;
    std::unique_ptr<CControlLogging> m_logging;  // the logging and review commands
    std::unique_ptr<CDataStore> m_store;
    std::unique_ptr<CConsoleView> m_view;
    std::unique_ptr<CFindBar> m_findBar;
    std::unique_ptr<CFilterView> m_filterView;    // in the view's place while the bar filters
    std::unique_ptr<CProgressRouter> m_progress;  // both progress dialogs
    std::unique_ptr<CSendPanelDock> m_sendPanel;
    std::unique_ptr<CControlScript> m_script;
    std::unique_ptr<CControlTriggers> m_triggers;
    std::unique_ptr<CHexPane> m_hexPane;
    QString m_statusText;
    std::set<std::string> m_notedSheets;   // unreadable sheets already named
    std::set<std::string> m_notedKeySets;  // unreadable key sets already named
    bool m_statusUnseen = false;           // the last note came while hidden
    bool m_created = false;
};

}  // namespace quillpad
