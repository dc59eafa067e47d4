// The host's command line in both its forms.

#include <gtest/gtest.h>

#include "host/qt/CommandLine.h"

namespace quillpad {
namespace {

struct SCase {
    QByteArrayList words;
    std::optional<QByteArray> connect;
    std::optional<QString> plugin;
};

TEST(WorkbayCommandLine, BothFormsNameTheSameConsole) {
    const QByteArray spec = "serial:/dev/ttyUSB0,115200,8N1";
    const SCase cases[] = {
        {{"--connect", spec, "--plugin", "Quillpad2"}, spec, QStringLiteral("Quillpad2")},
        {{"--plugin=Quillpad2", "--connect=" + spec}, spec, QStringLiteral("Quillpad2")},
        {{"--connect", spec}, spec, std::nullopt},
        {{"--plugin", "Other"}, std::nullopt, QStringLiteral("Other")},
        // The design's form, as separate words, quoted or not.
        {{"/plugin:Quillpad2", "/\"connect:" + spec + "\""}, spec, QStringLiteral("Quillpad2")},
        {{"/plugin:Quillpad2", "/connect:" + spec}, spec, QStringLiteral("Quillpad2")},
        {{"/CONNECT:" + spec}, spec, std::nullopt},
        // ... as one word, the way a whole command line is handed over.
        {{"/plugin:Quillpad2 /\"connect:" + spec + "\""}, spec, QStringLiteral("Quillpad2")},
        {{"/plugin:Quillpad2  /connect:tcp:[::1]:23"}, "tcp:[::1]:23", QStringLiteral("Quillpad2")},
        // A quoted spec with a blank, split by the shell.
        {{"/\"connect:sim:name=QX", "9\"", "/plugin:Quillpad2"},
         "sim:name=QX 9",
         QStringLiteral("Quillpad2")},
        {{"/connect:\"tcp:h:2\""}, "tcp:h:2", std::nullopt},
        // Bytes stay bytes.
        {{"--connect", "telnet:h\xe9te"}, "telnet:h\xe9te", std::nullopt},
        {{"/\"connect:telnet:h\xe9te\""}, "telnet:h\xe9te", std::nullopt},
    };
    for (const SCase& c : cases) {
        const SCommandLine line = ParseCommandLine(c.words);
        const std::string words = c.words.join(' ').toStdString();
        EXPECT_TRUE(line.error.isEmpty()) << words << ": " << line.error.toStdString();
        EXPECT_EQ(line.command, EWorkbayCommand::Run) << words;
        EXPECT_EQ(line.connect, c.connect) << words;
        EXPECT_EQ(line.plugin, c.plugin) << words;
        EXPECT_TRUE(line.NamesConsole()) << words;
    }
    EXPECT_FALSE(ParseCommandLine({}).NamesConsole());
    EXPECT_TRUE(ParseCommandLine({}).error.isEmpty());
}

TEST(WorkbayCommandLine, RegistrationAndHelp) {
    SCommandLine line = ParseCommandLine({"--register", "/opt/lib/libquillpad.so"});
    EXPECT_EQ(line.command, EWorkbayCommand::Register);
    EXPECT_EQ(line.library, QStringLiteral("/opt/lib/libquillpad.so"));
    line = ParseCommandLine({"--unregister=lib/libquillpad.so"});
    EXPECT_EQ(line.command, EWorkbayCommand::Unregister);
    EXPECT_EQ(line.library, QStringLiteral("lib/libquillpad.so"));
    EXPECT_EQ(ParseCommandLine({"--help"}).command, EWorkbayCommand::Help);
    EXPECT_EQ(ParseCommandLine({"-h"}).command, EWorkbayCommand::Help);
}

TEST(WorkbayCommandLine, WrongWordsAreRefusedWithAReason) {
    const QByteArrayList wrong[] = {
        {"--connect"},
        {"--plugin"},
        {"--register"},
        {"--frobnicate"},
        {"stray"},
        {"/\"connect:sim:"},
        {"/color:blue"},
        {"/plugin:"},
        {"--register", "a.so", "--connect", "sim:"},
        {"--register", "a.so", "--unregister", "a.so"},
        {"/plugin:Q x"},
    };
    for (const QByteArrayList& words : wrong) {
        EXPECT_FALSE(ParseCommandLine(words).error.isEmpty()) << words.join(' ').toStdString();
    }
}

}  // namespace
}  // namespace quillpad
