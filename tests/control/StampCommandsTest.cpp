// The Time Stamps submenu, its radio marks and the key that cycles the forms.

#include <gtest/gtest.h>

#include <algorithm>

#include "control/CommandRules.h"
#include "control/KeyRouting.h"
#include "control/MenuModel.h"

namespace quillpad {
namespace {

const SMenuItem* FindPopup(const std::vector<SMenuItem>& items, std::string_view text) {
    for (const SMenuItem& item : items) {
        if (item.kind == EMenuItemKind::Popup && item.text.starts_with(text)) {
            return &item;
        }
        if (const SMenuItem* found = FindPopup(item.items, text)) {
            return found;
        }
    }
    return nullptr;
}

TEST(StampCommands, TheSubmenuOffersEachFormAndGap) {
    const SMenu menu = MakeMainMenu();
    const SMenuItem* stamps = FindPopup(menu.popups, "Time Stamps");
    ASSERT_NE(stamps, nullptr);
    std::vector<std::string> texts;
    for (const SMenuItem& item : stamps->items) {
        if (item.kind == EMenuItemKind::Command) {
            texts.push_back(item.text);
            EXPECT_FALSE(CommandStatusText(item.id).empty()) << item.text;
            EXPECT_GE(item.id, 32840);
            EXPECT_LE(item.id, 32849);
        }
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Off", "Absolute", "Since Start", "Since Previous Line",
                                        "Gap 10 ms", "Gap 100 ms", "Gap 1000 ms"}));
}

TEST(StampCommands, OneFormAndOneGapCarryTheRadioMark) {
    SCommandContext c;
    c.stampMode = EStampMode::SinceStart;
    c.stampGapMs = 1000;
    const std::vector<cmd::CommandId> forms = {cmd::StampsOff, cmd::StampsAbsolute,
                                               cmd::StampsSinceStart, cmd::StampsSincePrevious};
    for (const cmd::CommandId id : forms) {
        const SCommandState s = CommandState(id, c);
        EXPECT_TRUE(s.radio);
        EXPECT_EQ(s.checked, id == cmd::StampsSinceStart) << id;
    }
    for (const cmd::CommandId id : {cmd::StampGap10, cmd::StampGap100, cmd::StampGap1000}) {
        EXPECT_EQ(CommandState(id, c).checked, id == cmd::StampGap1000) << id;
    }
    c.stampGapMs = 250;  // set in the settings by hand: no menu gap is marked
    for (const cmd::CommandId id : {cmd::StampGap10, cmd::StampGap100, cmd::StampGap1000}) {
        EXPECT_FALSE(CommandState(id, c).checked) << id;
    }
}

TEST(StampCommands, AltTCyclesTheForms) {
    const SKeyModifiers alt{false, false, true};
    for (const char letter : {'T', 't'}) {
        SKeyPress key;
        key.key = EKey::Letter;
        key.letter = letter;
        const SKeyRoute route = InterceptKey(key, alt, false);
        EXPECT_EQ(route.action, EKeyAction::Command);
        EXPECT_EQ(route.command, cmd::CycleStamps);
    }
    SKeyPress plain;
    plain.key = EKey::Letter;
    plain.letter = 'T';
    plain.text = "T";
    EXPECT_NE(InterceptKey(plain, SKeyModifiers{}, false).command, cmd::CycleStamps)
        << "a plain T is typed";
}

}  // namespace
}  // namespace quillpad
