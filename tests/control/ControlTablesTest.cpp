// The command table and what reads it: the menus, the command rules and the key tables.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <set>

#include "control/CQuillpadSettings.h"
#include "control/CommandRules.h"
#include "control/CommandTable.h"
#include "control/KeyRouting.h"
#include "control/LineEnds.h"
#include "control/MenuModel.h"
#include "tests/support/TestPaths.h"

namespace quillpad {
namespace {

// Every command item of a menu tree with its text, depth first.
void CommandItems(const std::vector<SMenuItem>& items, std::vector<const SMenuItem*>& out) {
    for (const SMenuItem& item : items) {
        if (item.kind == EMenuItemKind::Command) {
            out.push_back(&item);
        }
        CommandItems(item.items, out);
    }
}

TEST(CommandTable, EveryIdOnceAndEveryMenuItemARow) {
    std::set<cmd::CommandId> ids;
    for (const SCommandRow& row : CommandTable()) {
        EXPECT_TRUE(ids.insert(row.id).second) << row.id << " twice";
        EXPECT_FALSE(cmd::IsStyleCommand(row.id) || cmd::IsKeySetCommand(row.id)) << row.id;
        EXPECT_FALSE(row.label.empty()) << row.id;
    }
    const SMenu menu = MakeMainMenu();
    const std::vector<SMenuItem> contextMenu = MakeContextMenu();
    std::vector<const SMenuItem*> main;
    CommandItems(menu.popups, main);
    std::set<cmd::CommandId> reached;
    for (const SMenuItem* item : main) {
        const SCommandRow* row = FindCommand(item->id);
        ASSERT_NE(row, nullptr) << item->text;
        EXPECT_EQ(item->text, MenuText(*row));
        EXPECT_TRUE(reached.insert(item->id).second) << item->text << " twice in the menus";
    }
    std::vector<const SMenuItem*> context;
    CommandItems(contextMenu, context);
    for (const SMenuItem* item : context) {
        const SCommandRow* row = FindCommand(item->id);
        ASSERT_NE(row, nullptr) << item->text;
        EXPECT_EQ(MnemonicOf(item->text), 0) << item->text << ": no mnemonics there";
        EXPECT_EQ(item->text.find('\t'), std::string::npos) << item->text;
        reached.insert(item->id);
    }
    for (const SCommandRow& row : CommandTable()) {
        EXPECT_TRUE(reached.count(row.id) != 0 || !row.key.empty())
            << row.label << ": on no menu and no key";
    }
}

TEST(CommandTable, StatusTextsSayWhatEachCommandDoes) {
    std::set<std::string_view> texts;
    for (const SCommandRow& row : CommandTable()) {
        EXPECT_FALSE(row.status.empty()) << row.label;
        EXPECT_EQ(CommandStatusText(row.id), row.status);
        // The three gaps of a burst share theirs.
        if (row.id != cmd::StampGap100 && row.id != cmd::StampGap1000) {
            EXPECT_TRUE(texts.insert(row.status).second) << row.label << ": " << row.status;
        }
    }
    EXPECT_TRUE(CommandStatusText(0).empty());
    EXPECT_FALSE(CommandStatusText(cmd::FirstStyle).empty());
    EXPECT_FALSE(CommandStatusText(cmd::FirstKeySet).empty());
    EXPECT_TRUE(CommandStatusText(cmd::NoKeySetFiles).empty());
}

TEST(CommandTable, ASwitchFlipsItsOwnSettingAndTheCheckFollows) {
    CQuillpadSettings settings;
    SCommandContext c;
    c.settings = &settings;
    const auto checks = [&] {
        std::vector<bool> marks;
        for (const SCommandRow& row : CommandTable()) {
            marks.push_back(CommandState(row.id, c).checked);
        }
        return marks;
    };
    int switches = 0;
    for (std::size_t i = 0; i < CommandTable().size(); ++i) {
        const SCommandRow& row = CommandTable()[i];
        if (row.setting == nullptr) {
            EXPECT_FALSE(FlipSetting(row, settings)) << row.label;
            continue;
        }
        ++switches;
        EXPECT_TRUE(IsCheckable(row)) << row.label;
        const bool before = settings.*row.setting;
        std::vector<bool> expected = checks();
        EXPECT_EQ(expected[i], before) << row.label;
        expected[i] = !before;
        ASSERT_TRUE(FlipSetting(row, settings));
        EXPECT_EQ(settings.*row.setting, !before) << row.label;
        EXPECT_EQ(checks(), expected) << row.label << " flips its own setting only";
    }
    EXPECT_EQ(switches, 9);
    SCommandContext none;
    for (const SCommandRow& row : CommandTable()) {
        EXPECT_FALSE(CommandState(row.id, none).checked) << row.label << " without settings";
    }
}

TEST(CommandTable, CommandsThatNeedASessionAreGreyedWithoutOneAndOnlyThose) {
    // Everything else a command may wait for is there.
    SCommandContext c;
    c.hasCurrentScheme = true;
    c.connectionKind = 1;
    c.modemLines = 0;
    c.waitingForLink = true;
    c.linkUp = true;
    SCommandContext offline = c;
    offline.connectionKind = 0;
    for (const SCommandRow& row : CommandTable()) {
        EXPECT_EQ(NeedsSession(row.id), row.needsSession);
        if (row.needsSession) {
            EXPECT_TRUE(CommandState(row.id, c).enabled) << row.label;
            EXPECT_FALSE(CommandState(row.id, offline).enabled) << row.label;
        } else if (row.id != cmd::GoBackOnline) {
            EXPECT_EQ(CommandState(row.id, offline).enabled, CommandState(row.id, c).enabled)
                << row.label;
        }
    }
    EXPECT_FALSE(NeedsSession(0));
}

SKeyPress Key(EKey key, std::string text = {}) {
    return SKeyPress{key, 0, 0, std::move(text)};
}
SKeyPress Letter(char letter, std::string text = {}) {
    return SKeyPress{EKey::Letter, 0, letter, std::move(text)};
}
SKeyPress F(int n) {
    return SKeyPress{EKey::Function, n, 0, {}};
}
constexpr SKeyModifiers kNone{};
constexpr SKeyModifiers kCtrl{true, false, false};
constexpr SKeyModifiers kShift{false, true, false};
constexpr SKeyModifiers kAlt{false, false, true};

// The key a row shows in its menu is the key that runs it.
TEST(CommandTable, EveryKeyRunsItsCommand) {
    for (const SCommandRow& row : CommandTable()) {
        if (row.key.empty()) {
            continue;
        }
        const std::string key(row.key);
        EXPECT_EQ(CommandForKey(key), &row) << key << " runs one command";
        if (key.size() == 5 && key.starts_with("Alt+")) {
            const char upper = key[4];
            const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(upper)));
            for (const SKeyPress& press :
                 {Letter(upper, std::string(1, lower)), Letter(upper, std::string(1, upper)),
                  Key(EKey::Character, std::string(1, lower))}) {
                const SKeyRoute route = InterceptKey(press, kAlt, false);
                EXPECT_EQ(route.action, EKeyAction::Command) << key;
                EXPECT_EQ(route.command, row.id) << key;
            }
            EXPECT_NE(InterceptKey(Letter(upper, std::string(1, upper)), kNone, false).command,
                      row.id)
                << key << " without Alt is typed";
        } else if (key.size() == 6 && key.starts_with("Ctrl+")) {
            const SKeyRoute route =
                InterceptKey(Letter(key[5], std::string(1, key[5] - 'A' + 1)), kCtrl, false);
            EXPECT_EQ(route.action, EKeyAction::Command) << key;
            EXPECT_EQ(route.command, row.id) << key;
            EXPECT_EQ(InterceptKey(Letter(key[5], "x"), kAlt, false).action, EKeyAction::PassOn)
                << "Alt+" << key[5] << " stays the host's";
        } else if (key == "Up") {
            EXPECT_EQ(row.id, cmd::CommandHistory);
            EXPECT_EQ(FilterViewKey(Key(EKey::Up), kNone).action, EKeyAction::HistoryPopup);
        } else {
            ADD_FAILURE() << key << ": no test knows this key";
        }
    }
    EXPECT_EQ(CommandForKey(""), nullptr);
}

// The guide's key table names every key of the command table and the menu
// bar's letters.
TEST(CommandTable, TheUserGuideNamesEveryKey) {
    std::ifstream file(quillpad::test::SourceDir() + "/docs/USER_GUIDE.md");
    ASSERT_TRUE(file) << "the user guide";
    std::string keys;
    bool inTable = false;
    for (std::string line; std::getline(file, line);) {
        if (line.starts_with("| key | what it does |")) {
            inTable = true;
        } else if (inTable && !line.starts_with("|")) {
            break;
        } else if (inTable) {
            keys += line.substr(0, line.find('|', 1)) + "\n";  // the key column
        }
    }
    ASSERT_FALSE(keys.empty());
    const auto named = [&](const std::string& key) {
        for (std::size_t at = keys.find(key); at != std::string::npos;
             at = keys.find(key, at + 1)) {
            const std::size_t end = at + key.size();
            if (end == keys.size() || std::isalnum(static_cast<unsigned char>(keys[end])) == 0) {
                return true;
            }
        }
        return false;
    };
    for (const SCommandRow& row : CommandTable()) {
        if (!row.key.empty()) {
            EXPECT_TRUE(named(std::string(row.key))) << row.key;
        }
    }
    const SMenu menu = MakeMainMenu();
    for (const SMenuItem& popup : menu.popups) {
        const char c = MnemonicOf(popup.text);
        EXPECT_TRUE(named(std::string("Alt+") + static_cast<char>(std::toupper(c)))) << popup.text;
    }
}

// Every item reachable from the keyboard: a letter of its own in its menu,
// and none of the console's Alt letters on the menu bar.
TEST(MainMenu, EveryMenuAndItemHasAMnemonicOfItsOwn) {
    const SMenu menu = MakeMainMenu();
    const std::function<void(const std::vector<SMenuItem>&, std::string_view)> check =
        [&](const std::vector<SMenuItem>& items, std::string_view taken) {
            std::string used(taken);
            for (const SMenuItem& item : items) {
                if (item.kind == EMenuItemKind::Separator) {
                    continue;
                }
                const char c = MnemonicOf(item.text);
                EXPECT_NE(c, 0) << item.text;
                EXPECT_EQ(used.find(c), std::string::npos) << item.text << " in " << used;
                used += c;
                check(item.items, {});
            }
        };
    check(menu.popups, ConsoleAltLetters());
    // A new text ("Stop Logging") takes a letter the rest of its menu leaves.
    EXPECT_EQ(MnemonicText("Start Logging...", "s"), "Start &Logging...");
    EXPECT_EQ(MnemonicText("Go to Time...\tCtrl+G", "gt"), "G&o to Time...\tCtrl+G")
        << "word starts first, then any letter; never the shortcut";
    EXPECT_EQ(MnemonicText("R&&D", ""), "&R&&D");
    EXPECT_EQ(MnemonicText("ab", "ab"), "ab") << "no letter free";
    EXPECT_EQ(PlainLabel("Go &to R&&D"), "Go to R&D");
}

TEST(CommandRules, EnableRules) {
    SCommandContext c;
    EXPECT_FALSE(CommandState(cmd::EditStyles, c).enabled) << "no style selected";
    c.hasCurrentScheme = true;
    EXPECT_TRUE(CommandState(cmd::EditStyles, c).enabled);

    for (std::uint32_t kind = 0; kind <= 4; ++kind) {
        c.connectionKind = kind;
        EXPECT_EQ(CommandState(cmd::SendBreak, c).enabled, kind == 1 || kind == 4) << kind;
        EXPECT_EQ(CommandState(cmd::GoBackOnline, c).enabled, kind == 0) << kind;
    }
    c.connectionKind = 2;
    EXPECT_FALSE(CommandState(cmd::StopWaiting, c).enabled) << "nothing is waited for";
    c.waitingForLink = true;
    EXPECT_TRUE(CommandState(cmd::StopWaiting, c).enabled);
    c.waitingForLink = false;

    c.logging = ELoggingState::NotLogging;
    EXPECT_TRUE(CommandState(cmd::SaveBuffer, c).enabled);
    EXPECT_TRUE(CommandState(cmd::LoadLog, c).enabled);
    EXPECT_FALSE(CommandState(cmd::PauseLogging, c).enabled);
    EXPECT_EQ(CommandState(cmd::StartLogging, c).text, "Start Logging...");
    EXPECT_EQ(CommandState(cmd::PauseLogging, c).text, "Pause Logging");
    c.logging = ELoggingState::Logging;
    EXPECT_FALSE(CommandState(cmd::SaveBuffer, c).enabled);
    EXPECT_FALSE(CommandState(cmd::LoadLog, c).enabled);
    EXPECT_TRUE(CommandState(cmd::PauseLogging, c).enabled);
    EXPECT_EQ(CommandState(cmd::StartLogging, c).text, "Stop Logging");
    c.logging = ELoggingState::Paused;
    EXPECT_EQ(CommandState(cmd::PauseLogging, c).text, "Resume Logging");
    // A reviewed log has no live traffic to log.
    c.reviewing = true;
    EXPECT_TRUE(CommandState(cmd::StartLogging, c).enabled) << "logging can still be stopped";
    c.logging = ELoggingState::NotLogging;
    EXPECT_FALSE(CommandState(cmd::StartLogging, c).enabled);
}

TEST(CommandRules, ShareLinkNeedsALinkThatIsUpAndStopSharingAShare) {
    SCommandContext c;
    EXPECT_TRUE(NeedsSession(cmd::ShareLink));
    for (std::uint32_t kind = 1; kind <= 4; ++kind) {
        c.connectionKind = kind;
        c.linkUp = false;
        EXPECT_FALSE(CommandState(cmd::ShareLink, c).enabled) << kind << ": the link is down";
        c.linkUp = true;
        EXPECT_TRUE(CommandState(cmd::ShareLink, c).enabled) << kind;
        EXPECT_EQ(CommandState(cmd::ShareLink, c).text, "Share Link...");
    }
    // Shared: the item stops it, even while the link is lost and waited for.
    c.sharePort = 5000;
    c.linkUp = false;
    EXPECT_TRUE(CommandState(cmd::ShareLink, c).enabled);
    EXPECT_EQ(CommandState(cmd::ShareLink, c).text, "Stop Sharing");
    EXPECT_FALSE(CommandState(cmd::ShareLink, c).checked);
    c.connectionKind = 0;
    EXPECT_FALSE(CommandState(cmd::ShareLink, c).enabled) << "nothing to connect to";
}

TEST(CommandRules, CheckMarks) {
    SCommandContext c;
    c.currentSchemeName = "Hex Mode";
    EXPECT_FALSE(CommandState(cmd::ToggleHexMode, c).checked) << "a name without a scheme";
    c.hasCurrentScheme = true;
    EXPECT_TRUE(CommandState(cmd::ToggleHexMode, c).checked);
    c.currentSchemeName = "hex mode";
    EXPECT_FALSE(CommandState(cmd::ToggleHexMode, c).checked);

    // One form and one gap of the time stamps carry the radio mark; a gap
    // set by hand in the settings marks none.
    CQuillpadSettings settings;
    settings.m_stampMode = EStampMode::SinceStart;
    settings.m_stampGapMs = 1000;
    c.settings = &settings;
    for (const cmd::CommandId id :
         {cmd::StampsOff, cmd::StampsAbsolute, cmd::StampsSinceStart, cmd::StampsSincePrevious,
          cmd::StampGap10, cmd::StampGap100, cmd::StampGap1000}) {
        EXPECT_TRUE(CommandState(id, c).radio) << id;
        EXPECT_EQ(CommandState(id, c).checked,
                  id == cmd::StampsSinceStart || id == cmd::StampGap1000)
            << id;
    }
    settings.m_stampGapMs = 250;
    for (const cmd::CommandId id : {cmd::StampGap10, cmd::StampGap100, cmd::StampGap1000}) {
        EXPECT_FALSE(CommandState(id, c).checked) << id;
    }

    // The radio mark is on the current style's entry only, and on none
    // without a current style.
    SCommandContext s;
    EXPECT_FALSE(CommandState(34000, s).checked);
    s.currentStyleCommand = 34002;
    EXPECT_TRUE(CommandState(34002, s).checked);
    EXPECT_TRUE(CommandState(34002, s).radio);
    EXPECT_FALSE(CommandState(34001, s).checked);
    EXPECT_FALSE(CommandState(cmd::NoKeySetFiles, s).enabled);
    s.currentKeySetCommand = 34100;
    EXPECT_TRUE(CommandState(34100, s).checked);
    EXPECT_FALSE(CommandState(34100, s).radio);
}

TEST(KeyRouting, InterceptionBeforeAnyWindow) {
    for (int n = 1; n <= 12; ++n) {
        for (const auto& m : {kNone, kCtrl, kShift, kAlt}) {
            const auto r = InterceptKey(F(n), m, false);
            EXPECT_EQ(r.action, EKeyAction::FunctionKey) << n;
            EXPECT_EQ(r.functionKey, n);
        }
    }
    EXPECT_EQ(InterceptKey(Letter('V', "\x16"), kCtrl, false).action, EKeyAction::Paste);
    // Ctrl+C copies a selection; with none it interrupts the device (ETX).
    // Ctrl+Insert only ever copies.
    EXPECT_EQ(InterceptKey(Letter('C', "\x03"), kCtrl, true).action, EKeyAction::Copy);
    const auto interrupt = InterceptKey(Letter('C', "\x03"), kCtrl, false);
    EXPECT_EQ(interrupt.action, EKeyAction::SendChars);
    EXPECT_EQ(interrupt.chars, "\x03");
    for (const bool selection : {false, true}) {
        EXPECT_EQ(InterceptKey(Key(EKey::Insert), kCtrl, selection).action, EKeyAction::Copy);
    }
    EXPECT_EQ(InterceptKey(Key(EKey::Insert), kShift, false).action, EKeyAction::Paste);
    EXPECT_EQ(InterceptKey(Key(EKey::Insert), kNone, false).action, EKeyAction::Paste);

    // The table's keys are in CommandTable.EveryKeyRunsItsCommand. With Ctrl
    // Alt+X's letter is the device's CAN, as any Ctrl letter.
    EXPECT_EQ(InterceptKey(Letter('X', "\x18"), kCtrl, false).action, EKeyAction::PassOn);
    // Any other Alt character is the host's (its menu mnemonics): the view
    // sends nothing for it either.
    for (const SKeyPress& key : {Letter('F', "f"), Letter('G', "g"), Key(EKey::Character, "1")}) {
        EXPECT_EQ(InterceptKey(key, kAlt, false).action, EKeyAction::PassOn) << key.text;
        EXPECT_EQ(FilterViewKey(key, kAlt).action, EKeyAction::PassOn) << key.text;
    }

    // The rest goes on to the view.
    EXPECT_EQ(InterceptKey(Letter('A', "\x01"), kCtrl, false).action, EKeyAction::PassOn);
    EXPECT_EQ(InterceptKey(Key(EKey::Character, "v"), kNone, false).action, EKeyAction::PassOn);
    EXPECT_EQ(InterceptKey(Key(EKey::Up), kNone, false).action, EKeyAction::PassOn);
    EXPECT_EQ(InterceptKey(Key(EKey::Left), kAlt, false).action, EKeyAction::PassOn);
}

TEST(KeyRouting, TheViewsFilterSendsCharactersAndSwallowsEditing) {
    for (const auto key : {EKey::Left, EKey::Right, EKey::Down}) {
        EXPECT_EQ(FilterViewKey(Key(key), kNone).action, EKeyAction::Swallow);
    }
    const auto backspace = FilterViewKey(Key(EKey::Backspace, "\b"), kNone);
    EXPECT_EQ(backspace.action, EKeyAction::SendChars);
    EXPECT_EQ(backspace.chars, "\b");
    EXPECT_EQ(FilterViewKey(Key(EKey::Up), kNone).action, EKeyAction::HistoryPopup);
    const auto f5 = FilterViewKey(F(5), kNone);
    EXPECT_EQ(f5.action, EKeyAction::FunctionKey);
    EXPECT_EQ(f5.functionKey, 5);

    const auto a = FilterViewKey(Key(EKey::Character, "a"), kNone);
    EXPECT_EQ(a.action, EKeyAction::SendChars);
    EXPECT_EQ(a.chars, "a");
    EXPECT_EQ(FilterViewKey(Key(EKey::Character, "\r"), kNone).chars, "\r");
    EXPECT_EQ(FilterViewKey(Key(EKey::Character, "\xe9"), kShift).chars, "\xe9");
    EXPECT_EQ(FilterViewKey(Letter('A', "\x01"), kCtrl).chars, "\x01");

    EXPECT_EQ(FilterViewKey(Key(EKey::Delete, "\x7f"), kNone).action, EKeyAction::PassOn)
        << "Delete types nothing";
    EXPECT_EQ(FilterViewKey(Key(EKey::Other), kCtrl).action, EKeyAction::PassOn);
    EXPECT_EQ(FilterViewKey(Key(EKey::Insert), kNone).action, EKeyAction::PassOn);

    // Tab is a character for the device, with or without Shift; with Ctrl
    // or Alt it is the host's (window switching).
    for (const auto& m : {kNone, kShift}) {
        const auto tab = FilterViewKey(Key(EKey::Tab, "\t"), m);
        EXPECT_EQ(tab.action, EKeyAction::SendChars);
        EXPECT_EQ(tab.chars, "\t");
    }
    EXPECT_EQ(FilterViewKey(Key(EKey::Tab, "\t"), kCtrl).action, EKeyAction::PassOn);
    EXPECT_EQ(FilterViewKey(Key(EKey::Tab, "\t"), kAlt).action, EKeyAction::PassOn);
}

TEST(LineEnds, ALoneLineFeedEndsItsLineWithCarriageReturn) {
    EXPECT_EQ(EndLinesForDevice("ver\nburst 4\n"), "ver\r\nburst 4\r\n");
    EXPECT_EQ(EndLinesForDevice("\n\nx"), "\r\n\r\nx");
    // CR LF and a lone CR already end a line.
    EXPECT_EQ(EndLinesForDevice("a\r\nb\rc"), "a\r\nb\rc");
    EXPECT_EQ(EndLinesForDevice("a\r\n\nb"), "a\r\n\r\nb");
    EXPECT_EQ(EndLinesForDevice("\r"), "\r");
    EXPECT_EQ(EndLinesForDevice(""), "");
    // Every other byte, NUL and high bytes included, stays.
    const std::string bytes("\0\xff\t", 3);
    EXPECT_EQ(EndLinesForDevice(bytes), bytes);
}

}  // namespace
}  // namespace quillpad
