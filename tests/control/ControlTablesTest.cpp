// The console's menus, command rules and key tables, as data.

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "control/CommandRules.h"
#include "control/KeyRouting.h"
#include "control/LineEnds.h"
#include "control/MenuModel.h"

namespace quillpad {
namespace {

std::vector<std::string> Texts(const std::vector<SMenuItem>& items) {
    std::vector<std::string> texts;
    for (const auto& item : items) {
        texts.push_back(item.kind == EMenuItemKind::Separator ? "-" : item.text);
    }
    return texts;
}

TEST(MainMenu, ThreePopupsWithEveryItemInOrder) {
    const SMenu menu = MakeMainMenu();
    ASSERT_EQ(menu.popups.size(), 3u);
    EXPECT_EQ(menu.popups[0].text, "Quillpad");
    EXPECT_EQ(menu.popups[1].text, "Lo&gging");
    EXPECT_EQ(menu.popups[2].text, "C&ommunications");

    const auto& first = menu.popups[0].items;
    EXPECT_EQ(Texts(first), (std::vector<std::string>{"Select Style",
                                                      "Edit Styles...",
                                                      "Toggle Hex Mode\tAlt+H",
                                                      "Hex Pane\tAlt+X",
                                                      "-",
                                                      "Select Key Set",
                                                      "Edit Sequence Keys...",
                                                      "Send Panel",
                                                      "Triggers...",
                                                      "Run Script...",
                                                      "-",
                                                      "Clear Data\tAlt+C",
                                                      "Find...\tCtrl+F",
                                                      "Go to Time...\tCtrl+G",
                                                      "-",
                                                      "Text Info Window\tHold Shift",
                                                      "Time Stamps\tAlt+T",
                                                      "Command History\tUp",
                                                      "Keep Command History",
                                                      "Forget Command History",
                                                      "Transmit Arrow Characters",
                                                      "-",
                                                      "Outgoing <CR> to <CR><LF>",
                                                      "-",
                                                      "Make THIS my Default"}));
    EXPECT_EQ(first[0].kind, EMenuItemKind::StylePopup);
    EXPECT_EQ(first[5].kind, EMenuItemKind::KeySetPopup);
    EXPECT_EQ(CommandIds(first[15].items),
              (std::vector<cmd::CommandId>{32796, 32797, 32798, 32795}));
    EXPECT_EQ(Texts(first[15].items),
              (std::vector<std::string>{"Show Calendar Timestamp", "Show Relative Timestamp",
                                        "Show Data Direction", "Show Related Data"}));
    EXPECT_EQ(CommandIds(first),
              (std::vector<cmd::CommandId>{32768, 32781, 32850, 32777, 32830, 32831, 32832,
                                           32776, 32803, 32804, 32796, 32797, 32798, 32795,
                                           32840, 32841, 32842, 32843, 32845, 32846, 32847,
                                           32799, 32801, 32802, 32800, 32794, 32778}));

    EXPECT_EQ(Texts(menu.popups[1].items),
              (std::vector<std::string>{"Save Buffer...", "Start Logging...", "Pause Logging", "-",
                                        "Load Workbay Log...", "Go back online"}));
    EXPECT_EQ(CommandIds(menu.popups[1].items),
              (std::vector<cmd::CommandId>{32791, 32792, 32793, 32785, 32787}));
    EXPECT_EQ(
        Texts(menu.popups[2].items),
        (std::vector<std::string>{"Reconnect", "Disconnect", "Stop Waiting", "Share Link...",
                                  "Send Break\tAlt+K", "Break...", "-", "DTR", "RTS", "Pulse DTR",
                                  "Pulse RTS", "Reset Pulse...", "-", "XModem Send...\tAlt+U",
                                  "XModem Receive...", "ASCII Send...", "ASCII Receive..."}));
    EXPECT_EQ(CommandIds(menu.popups[2].items),
              (std::vector<cmd::CommandId>{32769, 32770, 32826, 32805, 32771, cmd::BreakLength,
                                           cmd::LineDtr, cmd::LineRts, cmd::PulseDtr, cmd::PulseRts,
                                           cmd::ResetPulse, 32772, 32773, 32774, 32775}));

    const auto context = MakeContextMenu();
    EXPECT_EQ(Texts(context), (std::vector<std::string>{"Copy", "Paste", "Find...", "Go to Time...",
                                                        "-", "Clear"}));
    EXPECT_EQ(CommandIds(context), (std::vector<cmd::CommandId>{1000, 1001, 32803, 32804, 1002}));
}

// Every item reachable from the keyboard: a letter of its own in its menu,
// and none of the console's Alt letters on the menu bar.
TEST(MainMenu, EveryMenuAndItemHasAMnemonicOfItsOwn) {
    SMenu menu = MakeMainMenu();
    AddMnemonics(menu.popups, kConsoleAltLetters);
    EXPECT_EQ(menu.popups[0].text, "&Quillpad");
    EXPECT_EQ(menu.popups[1].text, "Lo&gging") << "a given letter stays";
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
    check(menu.popups, kConsoleAltLetters);
    EXPECT_EQ(MnemonicText("Start Logging...", "s"), "Start &Logging...");
    EXPECT_EQ(MnemonicText("Go to Time...\tCtrl+G", "gt"), "G&o to Time...\tCtrl+G")
        << "word starts first, then any letter; never the shortcut";
    EXPECT_EQ(MnemonicText("R&&D", ""), "&R&&D");
    EXPECT_EQ(MnemonicText("ab", "ab"), "ab") << "no letter free";
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
    for (const auto id : {cmd::Reconnect, cmd::Disconnect, cmd::XModemSend, cmd::XModemReceive,
                          cmd::AsciiSend, cmd::AsciiReceive, cmd::ClearData, cmd::EditSequenceKeys,
                          cmd::MakeDefault, cmd::CommandHistory}) {
        EXPECT_TRUE(CommandState(id, c).enabled) << id;
        EXPECT_FALSE(CommandState(id, c).checked) << id;
    }
    // With nothing to connect to (kind 0: a log reviewed, no spec yet) the
    // commands that need a session are greyed, and only those.
    c.connectionKind = 0;
    for (const auto id : {cmd::Reconnect, cmd::Disconnect, cmd::SendBreak, cmd::XModemSend,
                          cmd::XModemReceive, cmd::AsciiSend, cmd::AsciiReceive}) {
        EXPECT_TRUE(NeedsSession(id)) << id;
        EXPECT_FALSE(CommandState(id, c).enabled) << id;
    }
    for (const auto id : {cmd::ClearData, cmd::EditSequenceKeys, cmd::MakeDefault,
                          cmd::CommandHistory, cmd::LoadLog, cmd::GoBackOnline, cmd::SaveBuffer}) {
        EXPECT_FALSE(NeedsSession(id)) << id;
        EXPECT_TRUE(CommandState(id, c).enabled) << id;
    }
    EXPECT_TRUE(NeedsSession(cmd::StopWaiting));
    c.connectionKind = 2;
    EXPECT_FALSE(CommandState(cmd::StopWaiting, c).enabled) << "nothing is waited for";
    c.waitingForLink = true;
    EXPECT_TRUE(CommandState(cmd::StopWaiting, c).enabled);
    c.connectionKind = 0;
    EXPECT_FALSE(CommandState(cmd::StopWaiting, c).enabled);
    c.connectionKind = 2;
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

    EXPECT_FALSE(CommandState(cmd::HexPane, c).checked);
    c.hexPaneShown = true;
    EXPECT_TRUE(CommandState(cmd::HexPane, c).checked);
    EXPECT_FALSE(CommandState(cmd::SendPanel, c).checked) << "its own switch";

    EXPECT_FALSE(CommandState(cmd::OutgoingCRToCRLF, c).checked);
    c.outgoingCRToCRLF = true;
    EXPECT_TRUE(CommandState(cmd::OutgoingCRToCRLF, c).checked);

    const std::pair<cmd::CommandId, bool SCommandContext::*> switches[] = {
        {cmd::ShowCalendarTimestamp, &SCommandContext::showAbsoluteTime},
        {cmd::ShowRelativeTimestamp, &SCommandContext::showRelativeTime},
        {cmd::ShowDataDirection, &SCommandContext::showDataDirection},
        {cmd::ShowRelatedData, &SCommandContext::showRelatedData}};
    for (const auto& [id, member] : switches) {
        SCommandContext d;
        EXPECT_TRUE(CommandState(id, d).checked) << id << " is on by default";
        d.*member = false;
        EXPECT_FALSE(CommandState(id, d).checked) << id;
        for (const auto& [other, otherMember] : switches) {
            EXPECT_EQ(CommandState(other, d).checked, other != id) << other << " follows " << id;
        }
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

TEST(KeyRouting, InterceptionBeforeAnyWindow) {
    for (int n = 1; n <= 12; ++n) {
        for (const auto& m : {kNone, kCtrl, kShift, kAlt}) {
            const auto r = InterceptKey(F(n), m, false);
            EXPECT_EQ(r.action, EKeyAction::FunctionKey) << n;
            EXPECT_EQ(r.functionKey, n);
        }
    }
    EXPECT_EQ(InterceptKey(Letter('V', "\x16"), kCtrl, false).action, EKeyAction::Paste);
    // Ctrl+F opens the find bar instead of sending ACK; Alt+F stays the host's.
    EXPECT_EQ(InterceptKey(Letter('F', "\x06"), kCtrl, false).command, cmd::Find);
    EXPECT_EQ(InterceptKey(Letter('F', "f"), kAlt, false).action, EKeyAction::PassOn);
    // Ctrl+G goes to a time instead of ringing the device's bell.
    EXPECT_EQ(InterceptKey(Letter('G', "\x07"), kCtrl, false).command, cmd::GoToTime);
    EXPECT_EQ(InterceptKey(Letter('G', "\x07"), kCtrl, false).action, EKeyAction::Command);
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

    // Alt characters, either case.
    for (const char* text : {"c", "C"}) {
        EXPECT_EQ(InterceptKey(Letter('C', text), kAlt, false).command, cmd::ClearData);
    }
    EXPECT_EQ(InterceptKey(Letter('U', "u"), kAlt, false).command, cmd::XModemSend);
    EXPECT_EQ(InterceptKey(Letter('K', "k"), kAlt, false).command, cmd::SendBreak);
    EXPECT_EQ(InterceptKey(Letter('H', "h"), kAlt, false).action, EKeyAction::ToggleHex);
    for (const char* text : {"x", "X"}) {
        EXPECT_EQ(InterceptKey(Letter('X', text), kAlt, false).command, cmd::HexPane);
    }
    // With Ctrl it is the device's CAN, as any Ctrl letter.
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
