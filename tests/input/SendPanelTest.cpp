#include "input/CSendPanel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

ByteString Build(const SSendItem& item) {
    ByteString bytes;
    std::string error;
    EXPECT_TRUE(BuildSendBytes(item, bytes, error)) << error;
    return bytes;
}

TEST(SendBytes, TextEscapesOrHexThenChecksumThenLineEnd) {
    SSendItem text;
    text.text = "AT\\x01\\r";
    EXPECT_EQ(Build(text), ByteString("AT\x01\r", 4));
    text.lineEnd = ELineEnd::CRLF;
    text.checksum = EChecksum::Xor8;
    // The checksum covers the text's bytes, not the line end after it.
    EXPECT_EQ(Build(text), ByteString("AT\x01\r\x19\r\n", 7));

    SSendItem modbus;
    modbus.format = ESendFormat::Hex;
    modbus.text = "01 03 00 00 00 0a";
    modbus.checksum = EChecksum::Crc16Modbus;
    modbus.byteOrder = EByteOrder::LowFirst;
    EXPECT_EQ(Build(modbus), ByteString("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8));
    // Hex text is not expanded: a backslash is no digit.
    modbus.text = "\\x01";
    ByteString bytes;
    std::string error;
    EXPECT_FALSE(BuildSendBytes(modbus, bytes, error));
    EXPECT_EQ(error, "\"\\\" at position 1 is not a hex digit");
}

SSendItem Query() {
    SSendItem item;
    item.name = "Status query";
    item.text = "01 03 00 00 00 0A";
    item.format = ESendFormat::Hex;
    item.checksum = EChecksum::Crc16Modbus;
    item.byteOrder = EByteOrder::LowFirst;
    item.periodMs = 500;
    item.count = 20;
    return item;
}

TEST(SendPanelFile, RoundTripKeepsEverySendAndWritesPrivately) {
    CTempDir dir;
    const std::string path = dir.File("Rig.sendpanel");
    CSendPanel panel;
    ASSERT_EQ(panel.Load(path), ESendPanelLoad::Missing);
    panel.Items().push_back(Query());
    SSendItem awkward;
    // Bytes an INI line cannot hold as they are: a comment mark, line ends,
    // a NUL, high bytes.
    awkward.name = "http://x";
    awkward.text = ByteString("a\r\nb\0\xFF//", 8);
    awkward.lineEnd = ELineEnd::CR;
    awkward.checksum = EChecksum::Crc32;
    awkward.periodMs = 10;
    panel.Items().push_back(awkward);
    std::string error;
    ASSERT_TRUE(panel.Save(&error)) << error;
    EXPECT_EQ(panel.Name(), "Rig");

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string file = ReadFileBytes(path);
    EXPECT_NE(file.find("[Send 1]\r\nName=Status query\r\nText=01 03 00 00 00 0A\r\nFormat=Hex\r\n"
                        "LineEnd=None\r\nChecksum=crc-16/modbus\r\nByteOrder=LowFirst\r\n"
                        "PeriodMs=500\r\nCount=20\r\n"),
              std::string::npos)
        << file;

    CSendPanel again;
    ASSERT_EQ(again.Load(path), ESendPanelLoad::Loaded);
    ASSERT_EQ(again.Items().size(), 2u);
    EXPECT_TRUE(again.Refused().empty());
    const SSendItem& a = again.Items()[0];
    EXPECT_EQ(a.name, "Status query");
    EXPECT_EQ(Build(a), Build(Query()));
    EXPECT_EQ(a.periodMs, 500u);
    EXPECT_EQ(a.count, 20u);
    const SSendItem& b = again.Items()[1];
    EXPECT_EQ(b.name, awkward.name);
    EXPECT_EQ(b.text, awkward.text);
    EXPECT_EQ(b.lineEnd, ELineEnd::CR);
    EXPECT_EQ(b.checksum, EChecksum::Crc32);
    EXPECT_EQ(again.SaveText(), panel.SaveText());
}

TEST(SendPanelFile, UnknownChecksumIsRefusedByNameAndNothingIsLost) {
    CTempDir dir;
    const std::string path = dir.File("Other machine.sendpanel");
    const std::string original =
        "[Send Panel]\r\nOwner=bench 3\r\n\r\n"
        "[Send 1]\r\nName=Ping\r\nText=ping\\r\r\nChecksum=SUM-8\r\nPeriodMs=5\r\n\r\n"
        "[Send 2]\r\nName=Frame\r\nText=55 AA\r\nFormat=Hex\r\nChecksum=crc-64/xz\r\n"
        "Colour=red\r\n\r\n"
        "[Send 3]\r\nName=Reset\r\nText=R\r\nTrigger=on boot\r\nPeriodMs=99999999\r\n\r\n"
        "[Layout]\r\nWidth=300\r\n\r\n";
    ASSERT_TRUE(WriteFileBytes(path, original));
    CSendPanel panel;
    ASSERT_EQ(panel.Load(path), ESendPanelLoad::Loaded);
    // The others load, with what they say (a period held to its range).
    ASSERT_EQ(panel.Items().size(), 2u);
    EXPECT_EQ(panel.Items()[0].name, "Ping");
    EXPECT_EQ(panel.Items()[0].checksum, EChecksum::Sum8);
    EXPECT_EQ(panel.Items()[0].periodMs, kMinSendPeriodMs);
    EXPECT_EQ(panel.Items()[1].name, "Reset");
    EXPECT_EQ(panel.Items()[1].periodMs, kMaxSendPeriodMs);
    ASSERT_EQ(panel.Refused().size(), 1u);
    EXPECT_EQ(panel.RefusalMessage(),
              "The send panel \"Other machine\" holds sends this program cannot use; they stay "
              "in the file as they are: \"Frame\" (the checksum \"crc-64/xz\").");
    EXPECT_TRUE(panel.AskBeforeSaving());
    // Loading wrote nothing.
    EXPECT_EQ(ReadFileBytes(path), original);

    // A save the user agreed to keeps the refused send, keys unknown here
    // and the sections of others.
    panel.Items().erase(panel.Items().begin());
    ASSERT_TRUE(panel.Save());
    const std::string saved = ReadFileBytes(path);
    EXPECT_NE(saved.find("Owner=bench 3\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Trigger=on boot\r\n"), std::string::npos);
    EXPECT_NE(saved.find("[Send 2]\r\nName=Frame\r\nText=55 AA\r\nFormat=Hex\r\n"
                         "Checksum=crc-64/xz\r\nColour=red\r\n"),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("[Layout]\r\nWidth=300\r\n"), std::string::npos);
    CSendPanel again;
    ASSERT_EQ(again.Load(path), ESendPanelLoad::Loaded);
    EXPECT_EQ(again.Items().size(), 1u);
    EXPECT_EQ(again.Refused().size(), 1u);
}

TEST(SendPanelFile, OtherUnknownValuesAreRefusedToo) {
    CSendPanel panel;
    panel.LoadText(
        "[Send Panel]\n[Send 1]\nName=A\nLineEnd=NUL\n[Send 2]\nName=B\nFormat=Base64\n"
        "[Send 3]\nName=C\nByteOrder=Middle\n[Send 4]\nName=D\nCount=-1\n"
        "[Send 5]\nTextHex=4G\n[Send 6]\nName=F\nChecksum=\n");
    ASSERT_EQ(panel.Items().size(), 1u);
    EXPECT_EQ(panel.Items()[0].name, "F");
    ASSERT_EQ(panel.Refused().size(), 5u);
    EXPECT_EQ(panel.Refused()[0].reason, "the line end \"NUL\"");
    EXPECT_EQ(panel.Refused()[1].reason, "the format \"Base64\"");
    EXPECT_EQ(panel.Refused()[2].reason, "the byte order \"Middle\"");
    EXPECT_EQ(panel.Refused()[3].reason, "the count \"-1\"");
    EXPECT_EQ(panel.Refused()[4].reason, "the text bytes \"4G\"");
    // A send without a name is named by its section.
    EXPECT_NE(panel.RefusalMessage().find(", Send 5 (the text bytes"), std::string::npos);
}

TEST(SendPanelFile, AFileThatIsNoPanelIsNeverWrittenOver) {
    CTempDir dir;
    const std::string path = dir.File("notes.sendpanel");
    ASSERT_TRUE(WriteFileBytes(path, "[Shortcuts]\r\nF2=x\r\n"));
    CSendPanel panel;
    EXPECT_EQ(panel.Load(path), ESendPanelLoad::NotAPanel);
    EXPECT_TRUE(panel.Items().empty());
    panel.Items().push_back(Query());
    std::string error;
    EXPECT_FALSE(panel.Save(&error));
    EXPECT_EQ(error, "the file is not a send panel");
    EXPECT_EQ(ReadFileBytes(path), "[Shortcuts]\r\nF2=x\r\n");
    // An empty file is an empty panel.
    ASSERT_TRUE(WriteFileBytes(path, ""));
    EXPECT_EQ(panel.Load(path), ESendPanelLoad::Loaded);
    EXPECT_TRUE(panel.Save());
}

TEST(SendPanelFile, TheFolderListsPanelsInByteOrder) {
    CTempDir dir;
    for (const char* name : {"b.sendpanel", "A.SENDPANEL", "c.keyset", ".sendpanel"}) {
        ASSERT_TRUE(WriteFileBytes(dir.File(name), ""));
    }
    std::filesystem::create_directory(dir.File("d.sendpanel"));
    EXPECT_EQ(ListSendPanels(dir.Path()), (std::vector<std::string>{"A.SENDPANEL", "b.sendpanel"}));
    EXPECT_TRUE(ListSendPanels(dir.File("missing")).empty());
}

}  // namespace
}  // namespace quillpad
