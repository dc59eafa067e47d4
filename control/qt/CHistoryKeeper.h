#pragma once
// The console's command history: fed with every typed character and every
// text before it is sent, shown in the history popup (whose line goes out
// as if pasted, then CR), and kept in the data directory's history file
// when the setting says so: read at creation, written a second after a
// change and at teardown.

#include <QObject>
#include <QTimer>

#include <string>
#include <string_view>

#include "input/CCommandHistory.h"
#include "input/SecretPrompt.h"

namespace quillpad {

class CQuillpad2Ctrl;

class CHistoryKeeper final : public QObject {
    Q_OBJECT
  public:
    explicit CHistoryKeeper(CQuillpad2Ctrl& control);

    const CCommandHistory& History() const { return m_history; }

    // What the history sees of the console's input.
    void OnCharTyped(char ch);
    void OnTextSending(std::string_view text);
    // What the device says: a line typed while it asks for a password is
    // sent, but never kept.
    void OnDeviceData(std::string_view data) { m_prompt.Feed(data); }

    // Forget Command History: every entry, in memory and in the file.
    void Forget();

    // The history popup above the caret (UM_HISTORY_POPUP).
    void RunPopup();

    // The file: read when the setting is on; written now (and no later
    // write pending) when it is on, else nothing.
    void Load();
    void Save();
    // At teardown: a pending write is done now.
    void Flush();
    // "Keep Command History" was switched: on writes the file at once, off
    // drops a pending write.
    void KeepingChanged();

    std::string FilePath() const;

  private:
    void Changed();

    CQuillpad2Ctrl& m_control;
    CCommandHistory m_history;  // with the typed line
    CPromptWatch m_prompt;
    QTimer m_saveTimer;
};

}  // namespace quillpad
