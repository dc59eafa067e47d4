#pragma once
// A control UI for tests and benchmarks that shows nothing: every menu,
// dialog and chooser is answered as the user cancelling it. Doubles derive
// from it and script or record only what they look at.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QTimer>

#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/IControlUi.h"
#include "nxr/CSendScheduler.h"
#include "platform/Clock.h"
#include "tests/session/SessionDoubles.h"

namespace quillpad::test {

class CQuietControlUi : public IControlUi {
  public:
    cmd::CommandId TrackPopup(const std::vector<SMenuItem>&, QPoint, QWidget*) override {
        return 0;
    }
    void ShowAbout(QWidget*) override {}
    void ShowHelp(int, QWidget*) override {}
    std::optional<ByteString> RunHistoryPopup(CCommandHistory&, QPoint, QWidget*) override {
        return std::nullopt;
    }
    bool RunShortcutSetup(const std::string&, CKeySet&, QWidget*) override { return false; }
    bool HandleAbilityGroup(std::uint32_t, std::uint32_t, EAbilityGroup group) override {
        groupsShown.push_back(group);
        return true;
    }
    bool HandleQuery(int, const WideString&, WideString&, QWidget*) override { return false; }

    std::vector<EAbilityGroup> groupsShown;
};

// A fake session's periodic sends on a precise timer of this thread: each
// send through the session's SendBytes, the counts and ends to its sink, as
// a session's I/O thread would tell them.
class CFakeRepeats final : public QObject, public IFakeRepeats {
  public:
    CFakeRepeats() : m_scheduler(DefaultClock()) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Run(); });
    }
    void Start(std::uint32_t id, ByteString bytes, std::uint32_t periodMs, std::uint32_t count,
               NxrHandle handle) override {
        m_handle = handle;
        m_scheduler.Start(id, std::move(bytes), periodMs, count);
        Run();
    }
    void Stop(std::uint32_t id) override {
        if (const auto ended = m_scheduler.Stop(id)) {
            Tell({*ended});
        }
    }
    void Closed() override {
        Tell(m_scheduler.EndAll(ESendEnd::Failed));
        m_timer.stop();
    }

    CFakeSession* session = nullptr;

  private:
    void Run() {
        Tell(m_scheduler.Poll([this](std::string_view bytes) {
            return session->SendBytes(bytes, 1000, &m_handle) == 0;
        }));
        for (const SSendProgress& p : m_scheduler.TakeProgress(50)) {
            if (session->sink_ != nullptr) {
                session->sink_->OnSendRepeat(p.id, p.sent, std::nullopt);
            }
        }
        if (const auto delay = m_scheduler.NextDelay()) {
            m_timer.start(static_cast<int>(*delay));
        } else {
            m_timer.stop();
        }
    }
    void Tell(const std::vector<SSendEnded>& ended) {
        for (const SSendEnded& end : ended) {
            if (session != nullptr && session->sink_ != nullptr) {
                session->sink_->OnSendRepeat(end.id, end.sent, end.how);
            }
        }
    }

    CSendScheduler m_scheduler;
    QTimer m_timer;
    NxrHandle m_handle = 0;
};

// A fake session for a control under test: what the control asked of it,
// the boxes it showed and the calls it put off. The newest session is
// `session`. Fixtures derive from it, so it outlives their control.
struct SFakeSessionRig {
    // The session part of a control's services: the fake and its doubles.
    void Wire(SSessionServices& services) {
        services.factory = [this] {
            auto fake = std::make_unique<CFakeSession>(log);
            session = fake.get();
            repeats->session = session;
            session->repeats = repeats.get();
            return SSessionCreation{std::move(fake), {}};
        };
        services.ui = std::make_unique<CRecordingUi>(shown);
        services.deferred = std::make_unique<CManualDeferredCalls>(deferred);
    }

    std::shared_ptr<std::vector<SSessionCall>> log = std::make_shared<std::vector<SSessionCall>>();
    std::shared_ptr<std::vector<SShownBox>> shown = std::make_shared<std::vector<SShownBox>>();
    std::shared_ptr<std::vector<std::pair<std::uint32_t, std::function<void()>>>> deferred =
        std::make_shared<std::vector<std::pair<std::uint32_t, std::function<void()>>>>();
    CFakeSession* session = nullptr;
    std::unique_ptr<CFakeRepeats> repeats = std::make_unique<CFakeRepeats>();
};

}  // namespace quillpad::test
