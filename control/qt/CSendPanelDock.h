#pragma once
// The send panel beside the console: the panel files of the data folder in
// a chooser, the panel's sends in a list, and buttons to add, edit, remove,
// send once and repeat. Repeats run in the session, on the thread that
// writes the link, so that a busy user interface never holds one up; the
// panel starts and stops them and shows the counts and ends the session
// tells (UM_SEND_REPEAT, a few times a second).
//
// Everything that would run a modal loop goes through the control's
// IControlUi (the send's dialog, a new panel's name, the question before
// saving over refused sends); a panel's refused sends are named in a box the
// control posts, never shown from inside the load.

#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/CSendPanel.h"
#include "nxr/CSendScheduler.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace quillpad {

class IControlUi;

// A periodic send's count, or its end (UM_SEND_REPEAT's payload).
struct SSendRepeatNews {
    std::uint32_t id = 0;
    std::uint32_t sent = 0;
    std::optional<ESendEnd> end;
};

struct SSendPanelServices {
    // The controller's byte send: true when the link took the bytes.
    std::function<bool(std::string_view)> send;
    // The controller's periodic send (id, bytes, period, count): true when
    // the session took it; its news comes back through RepeatNews.
    std::function<bool(std::uint32_t, std::string_view, std::uint32_t, std::uint32_t)> startRepeat;
    std::function<void(std::uint32_t)> stopRepeat;
    // A note for the status bar.
    std::function<void(const QString&)> status;
    // A message box, posted: caption and text.
    std::function<void(const std::string&, const std::string&)> message;
};

class CSendPanelDock final : public QWidget {
    Q_OBJECT
  public:
    CSendPanelDock(IControlUi& ui, std::string dataDirectory, SSendPanelServices services,
                   QWidget* parent = nullptr);
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
    // What the session tells of a repeat.
    void RepeatNews(const SSendRepeatNews& news);

    QComboBox* Chooser() const { return m_chooser; }
    QListWidget* List() const { return m_list; }
    QPushButton* SendButton() const { return m_sendButton; }
    QPushButton* RepeatButton() const { return m_repeatButton; }
    QLabel* StatusLine() const { return m_statusLine; }

  signals:
    // Another panel file was opened.
    void PanelOpened(const QString& path);

  private:
    // Ends the row's repeat without a note (the send changed or went).
    void Forget(int row);
    void StopAll();
    QString NameOf(std::uint32_t id) const;
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
    // A repeat id per send, as listed: a new one for each run, so that news
    // of an earlier run is never taken for the current one's.
    std::vector<std::uint32_t> m_ids;
    std::uint32_t m_nextId = 1;
    std::map<std::uint32_t, std::uint32_t> m_running;  // repeat id: count told
    // The run the user stopped last and its note, which its exact count
    // replaces when the session tells it.
    std::uint32_t m_stopped = 0;
    QString m_stoppedNote;
    bool m_saveAgreed = false;  // the user agreed to save over refused sends
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
