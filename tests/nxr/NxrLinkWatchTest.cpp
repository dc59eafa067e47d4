// Which port is the device that went away, whether it is back under any
// name, and when a network link is tried again.

#include <gtest/gtest.h>

#include <filesystem>

#include "nxr/NxrLinkWatch.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using EBy = SNxrPortIdentity::EBy;

SNxrPortInfo Usb(std::string path, std::string serial, std::uint16_t vid, std::uint16_t pid,
                 std::string location) {
    SNxrPortInfo p;
    p.path = std::move(path);
    p.serialNumber = std::move(serial);
    p.vendorId = vid;
    p.productId = pid;
    p.location = std::move(location);
    return p;
}

class NxrLinkWatch : public ::testing::Test {
  protected:
    // Device nodes as plain files, so that "exists" and links behave.
    std::string Node(const std::string& name) {
        const std::string path = dir.File(name);
        test::WriteFileBytes(path, "");
        return path;
    }
    test::CTempDir dir;
};

TEST_F(NxrLinkWatch, IdentifiesByTheSerialNumberElseTheUsbPlaceElseThePath) {
    const std::string a = Node("ttyUSB0");
    const std::string b = Node("ttyUSB1");
    const std::string c = Node("ttyS0");
    const std::vector<SNxrPortInfo> ports = {Usb(a, "A1B2", 0x0403, 0x6001, "1-1.2"),
                                             Usb(b, "", 0x10c4, 0xea60, "1-1.3"),
                                             SNxrPortInfo{c, "", {}, {}, ""}};
    const auto byNumber = NxrIdentifyPort(a, ports);
    EXPECT_EQ(byNumber.by, EBy::SerialNumber);
    EXPECT_EQ(byNumber.Describe(), a + " (serial number A1B2)");
    const auto byPlace = NxrIdentifyPort(b, ports);
    EXPECT_EQ(byPlace.by, EBy::Location);
    EXPECT_EQ(byPlace.Describe(), b + " (10c4:ea60 at USB 1-1.3)");
    EXPECT_EQ(NxrIdentifyPort(c, ports).by, EBy::Path);
    EXPECT_EQ(NxrIdentifyPort(dir.File("ttyACM9"), ports).by, EBy::Path) << "not listed";

    // A link (as /dev/serial/by-id/...) is the device it leads to, and keeps
    // its own name as the one opened.
    const std::string link = dir.File("by-id-ftdi");
    std::filesystem::create_symlink(a, link);
    const auto viaLink = NxrIdentifyPort(link, ports);
    EXPECT_EQ(viaLink.by, EBy::SerialNumber);
    EXPECT_EQ(viaLink.port.path, link);
}

TEST_F(NxrLinkWatch, FindsTheSameDeviceUnderAnotherNameAndNoOther) {
    const std::string old = dir.File("ttyUSB0");  // gone
    const std::string now = Node("ttyUSB3");
    const std::string other = Node("ttyUSB4");
    SNxrPortIdentity lost;
    lost.by = EBy::SerialNumber;
    lost.port = Usb(old, "A1B2", 0x0403, 0x6001, "1-1.2");

    EXPECT_EQ(NxrFindReturnedPort(lost, {}), std::nullopt);
    // The same serial number from another maker's product is not it.
    EXPECT_EQ(NxrFindReturnedPort(lost, {Usb(other, "A1B2", 0x10c4, 0xea60, "1-1.2")}),
              std::nullopt);
    EXPECT_EQ(NxrFindReturnedPort(lost, {Usb(other, "ZZ", 0x0403, 0x6001, "1-1.2"),
                                         Usb(now, "A1B2", 0x0403, 0x6001, "1-4")}),
              now)
        << "found by its number wherever it was plugged in";

    SNxrPortIdentity placed;
    placed.by = EBy::Location;
    placed.port = Usb(old, "", 0x10c4, 0xea60, "1-1.3");
    EXPECT_EQ(NxrFindReturnedPort(placed, {Usb(other, "", 0x10c4, 0xea60, "1-1.4")}), std::nullopt)
        << "a twin in another socket is another device";
    EXPECT_EQ(NxrFindReturnedPort(placed, {Usb(now, "", 0x10c4, 0xea60, "1-1.3")}), now);
}

TEST_F(NxrLinkWatch, KeepsTheNameItWasOpenedWithWhenThatLeadsToItAgain) {
    const std::string node = Node("ttyUSB5");
    const std::string link = dir.File("by-id-ftdi");
    std::filesystem::create_symlink(node, link);
    SNxrPortIdentity lost;
    lost.by = EBy::SerialNumber;
    lost.port = Usb(link, "A1B2", 0x0403, 0x6001, "1-1.2");
    EXPECT_EQ(NxrFindReturnedPort(lost, {Usb(node, "A1B2", 0x0403, 0x6001, "1-1.2")}), link);

    // Known by path alone: back once the path is there.
    SNxrPortIdentity byPath;
    byPath.port.path = dir.File("pts-7");
    EXPECT_EQ(NxrFindReturnedPort(byPath, {Usb(node, "A1B2", 0x0403, 0x6001, "1-1.2")}),
              std::nullopt);
    Node("pts-7");
    EXPECT_EQ(NxrFindReturnedPort(byPath, {}), dir.File("pts-7"));
}

TEST(NxrRetry, DoublesFromTheFirstPauseUpToTheLongest) {
    const SNxrRetryPolicy standard;
    std::vector<std::uint32_t> delays;
    for (unsigned i = 0; i < 8; ++i) {
        delays.push_back(NxrRetryDelay(standard, i));
    }
    EXPECT_EQ(delays,
              (std::vector<std::uint32_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    EXPECT_EQ(NxrRetryDelay(standard, 1000000), 30000u) << "no overflow after many tries";
    const SNxrRetryPolicy quick{5, 10, 35};
    EXPECT_EQ(NxrRetryDelay(quick, 0), 10u);
    EXPECT_EQ(NxrRetryDelay(quick, 2), 35u);

    // The last look falls on the limit, not a pause after it.
    EXPECT_EQ(NxrNextLook(4000, 0, 0), 4000u);
    EXPECT_EQ(NxrNextLook(4000, 58000, 60000), 2000u);
    EXPECT_EQ(NxrNextLook(4000, 61000, 60000), 0u);
    EXPECT_FALSE(NxrWaitOver(59999, 60000));
    EXPECT_TRUE(NxrWaitOver(60000, 60000));
    EXPECT_FALSE(NxrWaitOver(0xFFFFFFFF, 0)) << "no limit";
}

}  // namespace
}  // namespace quillpad
