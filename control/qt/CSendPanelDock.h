#pragma once
// The send panel beside the console: the panel files of the data folder in
// a chooser, the panel's sends in a list, and buttons to add, edit, remove,
// send once and repeat. Repeats run on a CSendScheduler over the console's
// clock, driven by one precise single-shot timer armed to the next due send,
// on the user-interface thread that owns the link's send.
//
// Everything that would run a modal loop goes through the control's
// IControlUi (the send's dialog, a new panel's name, the question before
// saving over refused sends); a panel's refused sends are named in a box the
// control posts, never shown from inside the load.

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "input/CSendPanel.h"
#include "input/CSendScheduler.h"
#include "platform/Clock.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace quillpad {

class IControlUi;

struct SSendPanelServices {
    // The controller's byte send: true when the link took the bytes.
    std::function<bool(std::string_view)> send;
    // A note for the status bar.
    std::function<void(const QString&)> status;
    // A message box, posted: caption and text.
    std::function<void(const std::string&, const std::string&)> message;
};

class CSendPanelDock final : public QWidget {
    Q_OBJECT
  public:
    CSendPanelDock(IControlUi& ui, std::string dataDirectory, SSendPanelServices services,
                   const IClock& clock, QWidget* parent = nullptr);
    ~CSendPanelDock() override;

    // Opens the panel file (a missing one is an empty panel that is written
    // at the first change); running repeats stop.
    void OpenPanel(const std::string& path);
    // Lists the data folder's panel files again (the chooser about to show).
    void RefreshChooser();
    const CSendPanel& Panel() const { return m_panel; }

    // The buttons' work, by row of the list.
    void SendOnce(int row);
    void StartRepeat(int row);
    void StopRepeat(int row);
    void AddSend();
    void EditSend(int row);
    void RemoveSend(int row);
    void NewPanel();
    bool Repeating(int row) const;
    std::uint32_t SentCount(int row) const;
    const CSendScheduler& Scheduler() const { return m_scheduler; }

    QComboBox* Chooser() const { return m_chooser; }
    QListWidget* List() const { return m_list; }
    QPushButton* SendButton() const { return m_sendButton; }
    QPushButton* RepeatButton() const { return m_repeatButton; }
    QLabel* StatusLine() const { return m_statusLine; }

  signals:
    // Another panel file was opened.
    void PanelOpened(const QString& path);

  private:
    void RunDue();
    void Rearm();
    // The list's rows; with `tips` also the bytes each sends, as hex.
    void ShowItems(bool tips = true);
    void UpdateButtons();
    int CurrentRow() const;
    bool SavePanel();
    void OnChooserActivated(int index);
    QString RowText(int row) const;

    IControlUi& m_ui;
    std::string m_dataDirectory;
    SSendPanelServices m_services;
    CSendPanel m_panel;
    CSendScheduler m_scheduler;
    std::vector<std::uint32_t> m_ids;  // a scheduler id per send, as listed
    std::uint32_t m_nextId = 1;
    bool m_saveAgreed = false;  // the user agreed to save over refused sends
    QTimer m_timer;
    QComboBox* m_chooser = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_addButton = nullptr;
    QPushButton* m_editButton = nullptr;
    QPushButton* m_removeButton = nullptr;
    QPushButton* m_sendButton = nullptr;
    QPushButton* m_repeatButton = nullptr;
    QPushButton* m_newButton = nullptr;
    QLabel* m_statusLine = nullptr;
    std::vector<std::string> m_files;  // the chooser's, in its order
};

}  // namespace quillpad
