#pragma once
// A control UI for tests and benchmarks that shows nothing: every menu,
// dialog and chooser is answered as the user cancelling it. Doubles derive
// from it and script or record only what they look at.

#include "control/qt/IControlUi.h"

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

}  // namespace quillpad::test
