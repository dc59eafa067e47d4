#pragma once
// A control UI for tests and benchmarks that shows nothing: every menu,
// dialog and chooser is answered as the user cancelling it. Doubles derive
// from it and script or record only what they look at.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/IControlUi.h"
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

// A fake session for a control under test: what the control asked of it,
// the boxes it showed and the calls it put off. The newest session is
// `session`. Fixtures derive from it, so it outlives their control.
struct SFakeSessionRig {
    // The session part of a control's services: the fake and its doubles.
    void Wire(SSessionServices& services) {
        services.factory = [this] {
            auto fake = std::make_unique<CFakeSession>(log);
            session = fake.get();
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
};

}  // namespace quillpad::test
