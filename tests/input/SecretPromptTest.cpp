#include "input/SecretPrompt.h"

#include <gtest/gtest.h>

#include "input/CCommandHistory.h"

namespace quillpad {
namespace {

TEST(SecretPrompt, TheDevicesLastLineAsksForASecret) {
    for (const char* line : {"Password:", "password: ", "login as root\tPASSWORD:  ",
                             "Enter passphrase:", "SIM PIN:", "PIN:\t", "Pin: "}) {
        EXPECT_TRUE(AsksForSecret(line)) << line;
    }
    for (const char* line : {"", "> ", "Password", "password: x", "Password:\r",
                             "Spin:", "passwords:", "Password changed.", "login:"}) {
        EXPECT_FALSE(AsksForSecret(line)) << line;
    }
}

TEST(SecretPrompt, TheWatchSeesOnlyTheLastLineHoweverTheBytesAreCut) {
    const std::string stream = "Welcome\r\nlogin: admin\r\nPass" + std::string("word: ");
    for (std::size_t piece = 1; piece <= stream.size(); ++piece) {
        CPromptWatch watch;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            watch.Feed(std::string_view(stream).substr(at, piece));
        }
        EXPECT_TRUE(watch.AsksForSecret()) << piece;
        watch.Feed("\r\n");
        EXPECT_FALSE(watch.AsksForSecret()) << "a line end ends the question";
    }
    // A long line ending in a prompt, and a prompt followed by more of the line.
    CPromptWatch watch;
    watch.Feed(std::string(100000, 'x'));
    watch.Feed(" password: ");
    EXPECT_TRUE(watch.AsksForSecret());
    watch.Feed("hunter2");
    EXPECT_FALSE(watch.AsksForSecret());
    watch.Feed("\nPIN:");
    EXPECT_TRUE(watch.AsksForSecret());
    watch.Reset();
    EXPECT_FALSE(watch.AsksForSecret());
}

TEST(SecretPrompt, ASecretLineIsSentButNeverKept) {
    CCommandHistory history;
    for (char c : std::string("ls\r")) {
        history.RecordTypedChar(c);
    }
    history.MarkLineSecret();
    for (char c : std::string("hunter2\r")) {
        history.RecordTypedChar(c);
    }
    // An empty password ends the question as well.
    history.MarkLineSecret();
    history.RecordTypedChar('\r');
    for (char c : std::string("ver\r")) {
        history.RecordTypedChar(c);
    }
    // A pasted secret too.
    history.MarkLineSecret();
    history.CommitToHistory("s3cret\r");
    history.CommitToHistory("info\r");
    EXPECT_EQ(history.Entries(), (std::vector<ByteString>{"ls", "ver", "info\r"}));
    EXPECT_FALSE(history.LineIsSecret());

    history.RecordTypedChar('x');
    history.Clear();
    EXPECT_TRUE(history.Entries().empty());
    EXPECT_TRUE(history.CurrentLine().empty());
}

}  // namespace
}  // namespace quillpad
