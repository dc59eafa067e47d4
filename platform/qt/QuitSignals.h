#pragma once
// SIGTERM, SIGINT and SIGHUP as a request to quit: the program ends as its
// own Quit ends it (logs closed, spill files removed, the workspace saved),
// not by the signal's default action, which would leave a spill file to be
// offered as a dead console's history.
//
// The handler only writes the signal's number to a pipe; a socket notifier
// on the other end runs the quit on the event loop, once. A second signal
// while the first is pending or its quit is running ends the process at once
// by that signal's default action: a quit that hangs (a stuck disk, a box
// nobody answers) still yields to a second Ctrl+C or kill.

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace quillpad {

class CQuitSignals {
  public:
    // Installs the handlers; `quit` runs on this thread's event loop. One
    // instance at a time.
    explicit CQuitSignals(std::function<void()> quit);
    // Puts the handlers back as they were.
    ~CQuitSignals();
    CQuitSignals(const CQuitSignals&) = delete;
    CQuitSignals& operator=(const CQuitSignals&) = delete;

    // The signal that asked to quit; 0 while none has.
    int Received() const { return m_received; }

  private:
    void OnReadable();

    std::function<void()> m_quit;
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_received = 0;
};

}  // namespace quillpad
