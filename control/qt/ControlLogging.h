#pragma once
// The console's logging and review commands: Start/Stop and Pause/Resume
// Logging, Save Buffer, Load Workbay Log and Go back online. The control
// routes the commands here; this object holds the log request while logging,
// keeps the host's title status up to date, reports log files that would not
// open or failed to write, and ends every event-loop turn of the live logs.

#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "control/CommandRules.h"
#include "data/LogRequest.h"

namespace quillpad {

class CDataStore;
class CLogTurnFlush;
class CQuillpad2Ctrl;
class IControlUi;

class CControlLogging {
  public:
    // Online; reviewing a loaded log; a load was refused (view empty).
    enum class EReview { Online, Reviewing, Refused };

    static constexpr const char* kLoadErrorText = "Error loading specified log file.";
    static constexpr const char* kLoadErrorCaption = "Error Loading";

    CControlLogging(CQuillpad2Ctrl& control, IControlUi& ui);
    ~CControlLogging();
    CControlLogging(const CControlLogging&) = delete;
    CControlLogging& operator=(const CControlLogging&) = delete;

    // The store is made: report its failures here, flush it every turn.
    void AttachStore(CDataStore& store);

    void StartOrStopLogging();
    // Without the dialog (a trigger's action): logs to the settings' folder
    // in the kinds they choose, named after `quickName` and the time; true
    // when logging started. Nothing changes while logging already.
    bool StartLoggingQuietly(const std::string& quickName);
    // Without the dialog, the request as given (a script's log.start); false
    // with the reason while logging already or reviewing a log.
    bool StartLoggingWith(const SLogRequest& request, std::string& error);
    // Stops live logging; false when there was none.
    bool StopLogging();
    void PauseOrResumeLogging();
    void SaveBuffer();
    void LoadLog();
    // Loads a chosen log for review, as Load Log does after its chooser.
    void LoadLogFile(const std::string& path);
    void GoBackOnline();

    // History (ControlRecovery.cpp). The store gets the settings' memory
    // budget and warns once when its spill file fails; the spill files dead
    // consoles left are kept as logs, from the event loop, and each is told
    // of by a mark in this console's history: nothing is asked, and this
    // console's own history and link stay as they are.
    static constexpr const char* kSpillFailedText =
        "The console's history could no longer be written to disk; it is now kept in memory.";
    void AttachHistory(CDataStore& store);
    void RecoverOrphans();

    ELoggingState State() const;
    EReview Review() const { return m_review; }
    const SLogRequest* Request() const { return m_request.get(); }
    // What the title shows for logging ("" when not logging).
    std::string TitleStatus() const;

  private:
    void UpdateTitleStatus();
    void ReportFailures(const std::vector<SLogFileFailure>& failures);

    CQuillpad2Ctrl& m_control;
    IControlUi& m_ui;
    std::unique_ptr<SLogRequest> m_request;
    std::unique_ptr<CLogTurnFlush> m_turnFlush;
    EReview m_review = EReview::Online;
};

// The warning a list of failed log files gets: each file, its kind and why.
QString LogFailureText(const std::vector<SLogFileFailure>& failures);

}  // namespace quillpad
