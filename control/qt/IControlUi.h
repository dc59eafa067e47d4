#pragma once
// What the control shows that would run a modal loop or leave the program:
// the right-click menu, the About box, the help and the console's dialogs
// (history, shortcut setup, style editor, Log Files, the file choosers, the
// overwrite question;
// message boxes go through the session's ISessionUi). Tests answer it; the Qt
// form (CQtControlUi) shows the real thing. The logging dialogs answer
// "cancelled" unless a UI offers them.

#include <QPoint>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/CQuillpadSettings.h"
#include "control/LineCommands.h"
#include "control/MenuModel.h"
#include "control/Triggers.h"
#include "data/LogRequest.h"
#include "input/CCommandHistory.h"
#include "input/CKeySet.h"
#include "input/CSendPanel.h"
#include "nxr/CNxrAsciiTransfer.h"
#include "nxr/NxrLib.h"

class QWidget;

namespace quillpad {

class CStyleEditorDlg;
class IStyleEditorUi;

// How the link is to be shared: the TCP port (0: any free port), telnet or
// raw, and every interface or 127.0.0.1 only.
struct SShareLinkChoice {
    std::uint16_t port = 0;
    bool telnet = false;
    bool anyInterface = false;
};

class IControlUi {
  public:
    virtual ~IControlUi() = default;
    // Shows the items at a screen position and returns the chosen command
    // (0: none), as a menu tracked to return its choice.
    virtual cmd::CommandId TrackPopup(const std::vector<SMenuItem>& items, QPoint globalPos,
                                      QWidget* owner) = 0;
    // "About Quillpad2 Control", modal.
    virtual void ShowAbout(QWidget* owner) = 0;
    // The maker's help at a topic (no text, flags 15).
    virtual void ShowHelp(int topic, QWidget* owner) = 0;

    // "Log Files", modal: the request on OK, none on Cancel. The dialog may
    // change the settings' log folder and check-box defaults.
    virtual std::optional<SLogRequest> RunLogFilesDialog(CQuillpadSettings& /*settings*/,
                                                         QWidget* /*owner*/) {
        return std::nullopt;
    }
    // A file-open dialog: the chosen path, none when cancelled.
    virtual std::optional<std::string> ChooseFileToOpen(const QString& /*filter*/,
                                                        const QString& /*defaultSuffix*/,
                                                        const std::string& /*folder*/,
                                                        QWidget* /*owner*/) {
        return std::nullopt;
    }
    // A file-save dialog that takes any new name: the chosen path, none
    // when cancelled. It does not ask about an existing file: the caller
    // does, with ConfirmOverwrite.
    virtual std::optional<std::string> ChooseFileToSave(const QString& /*filter*/,
                                                        const std::string& /*folder*/,
                                                        QWidget* /*owner*/) {
        return std::nullopt;
    }
    // Asks `question` (recovering a dead console's history); true for yes.
    // By default no.
    virtual bool AskYesNo(const std::string& /*question*/, QWidget* /*owner*/) { return false; }
    // Asks whether an existing file may be replaced; true for yes.
    virtual bool ConfirmOverwrite(const std::string& /*path*/, QWidget* /*owner*/) { return false; }
    // The history popup at a screen position (the caret's top left): the
    // line to send, or nothing. Delete in it changes `history` at once.
    virtual std::optional<ByteString> RunHistoryPopup(CCommandHistory& history, QPoint caret,
                                                      QWidget* owner) = 0;
    // "Shortcut Setup" on the key set; true for OK. Browse replaces the key
    // set at once, whatever the answer.
    virtual bool RunShortcutSetup(const std::string& dataDirectory, CKeySet& keySet,
                                  QWidget* owner) = 0;
    // The style editor's choosers and message boxes; by default the real
    // ones, with help through ShowHelp.
    virtual std::unique_ptr<IStyleEditorUi> MakeStyleEditorUi();
    // Runs the style editor modally: QDialog::Accepted or Rejected.
    virtual int RunStyleEditor(CStyleEditorDlg& editor);
    // An ability group's dialog for the session's two ability values,
    // modal; false when that session is no longer open.
    virtual bool HandleAbilityGroup(std::uint32_t a, std::uint32_t b, EAbilityGroup group);
    // The session's question, modal over `owner`; true with `answer`
    // filled when the user answered.
    virtual bool HandleQuery(int queryType, const WideString& prompt, WideString& answer,
                             QWidget* owner);
    // "ASCII Send", modal, for the chosen file: the pauses after each line
    // and each character, changed in `pacing` on OK; false on Cancel. By
    // default OK with the pauses as they are.
    virtual bool RunAsciiSendDialog(const std::string& /*path*/, SAsciiPacing& /*pacing*/,
                                    QWidget* /*owner*/) {
        return true;
    }
    // "Send", modal, on one send of the send panel: true with `item`
    // changed on OK. By default cancelled.
    virtual bool RunSendItemDialog(SSendItem& /*item*/, QWidget* /*owner*/) { return false; }
    // The name of a new send panel (its file name less ".sendpanel"); none
    // when cancelled, as by default.
    virtual std::optional<std::string> AskSendPanelName(QWidget* /*owner*/) { return std::nullopt; }
    // "Reset Pulse", modal: true on OK with `choice` changed to what the
    // user chose; by default Cancel.
    virtual bool RunResetPulseDialog(SResetPulseChoice& /*choice*/, QWidget* /*owner*/) {
        return false;
    }
    // "Break", modal: the break's length in ms, starting from `lastMs`;
    // none on Cancel, which is the default.
    virtual std::optional<int> AskBreakLength(int /*lastMs*/, QWidget* /*owner*/) {
        return std::nullopt;
    }
    // "Triggers", modal, on the console's list: true with `triggers`
    // changed on OK; by default Cancel. `notes` says, per trigger, what
    // stopped it ("paused", "fired once"), empty for one that is live.
    virtual bool RunTriggersDialog(std::vector<STrigger>& /*triggers*/,
                                   const std::vector<std::string>& /*notes*/,
                                   const std::string& /*dataDirectory*/, QWidget* /*owner*/) {
        return false;
    }
    // "Go to Time", modal: the text typed, starting from `last`; none on
    // Cancel, which is the default.
    virtual std::optional<std::string> AskGoToTime(const std::string& /*last*/,
                                                   QWidget* /*owner*/) {
        return std::nullopt;
    }
    // "Share Link", modal: how to share the link, starting from `last`;
    // none on Cancel, which is the default.
    virtual std::optional<SShareLinkChoice> AskShareLink(const SShareLinkChoice& /*last*/,
                                                         QWidget* /*owner*/) {
        return std::nullopt;
    }
    // A trigger's beep; by default none.
    virtual void Beep() {}
};

class CQtControlUi final : public IControlUi {
  public:
    cmd::CommandId TrackPopup(const std::vector<SMenuItem>& items, QPoint globalPos,
                              QWidget* owner) override;
    void ShowAbout(QWidget* owner) override;
    void ShowHelp(int topic, QWidget* owner) override;
    std::optional<SLogRequest> RunLogFilesDialog(CQuillpadSettings& settings,
                                                 QWidget* owner) override;
    std::optional<std::string> ChooseFileToOpen(const QString& filter, const QString& defaultSuffix,
                                                const std::string& folder, QWidget* owner) override;
    std::optional<std::string> ChooseFileToSave(const QString& filter, const std::string& folder,
                                                QWidget* owner) override;
    bool ConfirmOverwrite(const std::string& path, QWidget* owner) override;
    bool AskYesNo(const std::string& question, QWidget* owner) override;
    std::optional<ByteString> RunHistoryPopup(CCommandHistory& history, QPoint caret,
                                              QWidget* owner) override;
    bool RunShortcutSetup(const std::string& dataDirectory, CKeySet& keySet,
                          QWidget* owner) override;
    bool RunAsciiSendDialog(const std::string& path, SAsciiPacing& pacing, QWidget* owner) override;
    bool RunSendItemDialog(SSendItem& item, QWidget* owner) override;
    std::optional<std::string> AskSendPanelName(QWidget* owner) override;
    bool RunResetPulseDialog(SResetPulseChoice& choice, QWidget* owner) override;
    std::optional<int> AskBreakLength(int lastMs, QWidget* owner) override;
    std::optional<std::string> AskGoToTime(const std::string& last, QWidget* owner) override;
    std::optional<SShareLinkChoice> AskShareLink(const SShareLinkChoice& last,
                                                 QWidget* owner) override;
    bool RunTriggersDialog(std::vector<STrigger>& triggers, const std::vector<std::string>& notes,
                           const std::string& dataDirectory, QWidget* owner) override;
    void Beep() override;

    // The Log Files dialog's folder browser ("Select Log Folder"), from
    // `start`: the chosen folder, none when cancelled.
    static std::optional<std::string> ChooseLogFolder(const std::string& start, QWidget* owner);
};

}  // namespace quillpad
