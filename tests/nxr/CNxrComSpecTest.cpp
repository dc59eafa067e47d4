#include "nxr/CNxrComSpec.h"

#include <gtest/gtest.h>

namespace quillpad {
namespace {

TEST(NxrComSpec, ReadsSerialWithDefaultsAndOptions) {
    CNxrComSpec spec;
    ASSERT_TRUE(spec.Parse("serial:/dev/ttyUSB0,115200,8N1")) << spec.ErrorText();
    EXPECT_EQ(spec.m_nConnectionKind, 1u);
    EXPECT_EQ(spec.m_device, "/dev/ttyUSB0");
    EXPECT_EQ(spec.m_baud, 115200);
    EXPECT_EQ(spec.m_dataBits, 8);
    EXPECT_EQ(spec.m_parity, ENxrParity::None);
    EXPECT_EQ(spec.m_stopBits, ENxrStopBits::One);
    EXPECT_EQ(spec.m_flow, ENxrFlowControl::None);
    EXPECT_TRUE(spec.OffersBreak());
    EXPECT_EQ(spec.Describe(), "/dev/ttyUSB0");

    ASSERT_TRUE(spec.Parse("  SERIAL: /dev/ttyS1 , 7e2 , 9600, flow=RtsCts "));
    EXPECT_EQ(spec.m_device, "/dev/ttyS1");
    EXPECT_EQ(spec.m_baud, 9600);
    EXPECT_EQ(spec.m_dataBits, 7);
    EXPECT_EQ(spec.m_parity, ENxrParity::Even);
    EXPECT_EQ(spec.m_stopBits, ENxrStopBits::Two);
    EXPECT_EQ(spec.m_flow, ENxrFlowControl::RtsCts);

    ASSERT_TRUE(spec.Parse("serial:/dev/pts/3"));
    EXPECT_EQ(spec.m_baud, 115200) << "values of an earlier parse must not linger";
    EXPECT_EQ(spec.m_flow, ENxrFlowControl::None);
    ASSERT_TRUE(spec.Parse("serial:/dev/ttyACM0,5O1.5,flow=xonxoff"));
    EXPECT_EQ(spec.m_stopBits, ENxrStopBits::OneAndHalf);
    EXPECT_EQ(spec.m_flow, ENxrFlowControl::XonXoff);
}

TEST(NxrComSpec, ReadsNetworkAndSimulatedKinds) {
    CNxrComSpec spec;
    ASSERT_TRUE(spec.Parse("tcp:127.0.0.1:2323"));
    EXPECT_EQ(spec.m_nConnectionKind, 2u);
    EXPECT_EQ(spec.m_host, "127.0.0.1");
    EXPECT_EQ(spec.m_port, 2323);
    EXPECT_FALSE(spec.OffersBreak());
    EXPECT_EQ(spec.Describe(), "127.0.0.1:2323");

    ASSERT_TRUE(spec.Parse("telnet:device.local"));
    EXPECT_EQ(spec.m_nConnectionKind, 3u);
    EXPECT_EQ(spec.m_port, 23);
    ASSERT_TRUE(spec.Parse("telnet:[::1]:2424"));
    EXPECT_EQ(spec.m_host, "::1");
    EXPECT_EQ(spec.Describe(), "[::1]:2424");

    // A serial port behind a telnet server: telnet, with the line settings.
    ASSERT_TRUE(spec.Parse("rfc2217:[::1]:7001, 9600 ,7E2"));
    EXPECT_EQ(spec.m_nConnectionKind, 3u);
    EXPECT_TRUE(spec.m_comPort);
    EXPECT_TRUE(spec.OffersBreak());
    EXPECT_EQ(spec.Describe(), "[::1]:7001");
    EXPECT_EQ(spec.m_baud, 9600);
    EXPECT_EQ(spec.m_dataBits, 7);
    EXPECT_EQ(spec.m_parity, ENxrParity::Even);
    EXPECT_EQ(spec.m_stopBits, ENxrStopBits::Two);
    ASSERT_TRUE(spec.Parse("telnet:device.local"));
    EXPECT_FALSE(spec.m_comPort) << "nothing kept from the text read before";
    EXPECT_FALSE(spec.Parse("rfc2217:ports.local"));
    EXPECT_NE(spec.ErrorText().find("no port given"), std::string::npos) << spec.ErrorText();
    EXPECT_FALSE(spec.Parse("rfc2217:ports.local:7001,,8N1"));
    EXPECT_NE(spec.ErrorText().find("empty field after the port"), std::string::npos);
    CNxrComSpec local(false, true);
    EXPECT_FALSE(local.Parse("rfc2217:ports.local:7001"));

    ASSERT_TRUE(spec.Parse("sim:"));
    EXPECT_EQ(spec.m_nConnectionKind, 4u);
    EXPECT_TRUE(spec.OffersBreak());
    EXPECT_TRUE(spec.m_simEcho);
    ASSERT_TRUE(spec.Parse("Sim: name=QX-9, echo=off"));
    EXPECT_EQ(spec.m_simName, "QX-9");
    EXPECT_FALSE(spec.m_simEcho);
}

TEST(NxrComSpec, RejectsBadSpecsWithWordsAndKindNone) {
    struct SCase {
        const char* spec;
        const char* words;
    } cases[] = {
        {"", "it is empty"},
        {"/dev/ttyUSB0", "names no kind"},
        {"modem:123", "unknown kind \"modem\""},
        {"serial:", "no serial device"},
        {"serial:/dev/x,12", "out of range"},
        {"serial:/dev/x,8X1", "unknown parity"},
        {"serial:/dev/x,8N3", "unknown stop bits"},
        {"serial:/dev/x,9600,fast", "cannot read \"fast\""},
        {"serial:/dev/x,flow=maybe", "unknown flow control"},
        {"serial:/dev/x,,9600", "empty field"},
        {"tcp:127.0.0.1", "no port"},
        {"tcp::23", "no host"},
        {"tcp:host:0", "from 1 to 65535"},
        {"tcp:host:70000", "from 1 to 65535"},
        {"tcp:host:2x", "from 1 to 65535"},
        {"tcp:::1:23", "in brackets"},
        {"telnet:[::1", "unclosed"},
        {"sim:turbo=on", "unknown simulator option"},
    };
    CNxrComSpec spec;
    for (const auto& c : cases) {
        ASSERT_TRUE(spec.Parse("sim:"));
        EXPECT_FALSE(spec.Parse(c.spec)) << c.spec;
        EXPECT_EQ(spec.m_nConnectionKind, 0u) << c.spec;
        EXPECT_NE(spec.ErrorText().find(c.words), std::string::npos) << spec.ErrorText();
        EXPECT_NE(spec.ErrorText().find("bad connection spec"), std::string::npos);
    }
}

TEST(NxrComSpec, FlagsLimitTheAcceptedKinds) {
    CNxrComSpec serialOnly(false, false);
    EXPECT_FALSE(serialOnly.Parse("tcp:h:1"));
    EXPECT_FALSE(serialOnly.Parse("sim:"));
    EXPECT_TRUE(serialOnly.Parse("serial:/dev/ttyS0"));
    serialOnly.Clear();
    EXPECT_EQ(serialOnly.m_nConnectionKind, 0u);
    EXPECT_FALSE(serialOnly.Parse("telnet:h")) << "Clear keeps the flags";
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

TEST(NxrComSpec, ReconnectIsOnForSerialAndAskedForOnNetworkLinks) {
    CNxrComSpec spec;
    ASSERT_TRUE(spec.Parse("serial:/dev/ttyUSB0,9600"));
    EXPECT_TRUE(spec.Reconnects());
    ASSERT_TRUE(spec.Parse("serial:/dev/ttyUSB0,reconnect=off,9600"));
    EXPECT_FALSE(spec.Reconnects());
    EXPECT_EQ(spec.m_baud, 9600) << "the field may stand anywhere";
    ASSERT_TRUE(spec.Parse("tcp:127.0.0.1:2323"));
    EXPECT_FALSE(spec.Reconnects());
    ASSERT_TRUE(spec.Parse("tcp:127.0.0.1:2323, Reconnect=ON"));
    EXPECT_TRUE(spec.Reconnects());
    EXPECT_EQ(spec.m_port, 2323);
    ASSERT_TRUE(spec.Parse("telnet:device.local,reconnect=on"));
    EXPECT_EQ(spec.m_port, 23);
    EXPECT_TRUE(spec.Reconnects());
    ASSERT_TRUE(spec.Parse("rfc2217:ports.lab:7001,921600,reconnect=on"));
    EXPECT_TRUE(spec.Reconnects());
    ASSERT_TRUE(spec.Parse("telnet:device.local"));
    EXPECT_FALSE(spec.Reconnects()) << "nothing kept from the text read before";

    EXPECT_FALSE(spec.Parse("tcp:127.0.0.1:2323,reconnect=maybe"));
    EXPECT_NE(spec.ErrorText().find("unknown reconnect \"maybe\" (expected on or off)"),
              std::string::npos)
        << spec.ErrorText();
    EXPECT_FALSE(spec.Parse("serial:/dev/ttyS0,reconnect=on,reconnect=off"));
    EXPECT_NE(spec.ErrorText().find("reconnect given twice"), std::string::npos);
    EXPECT_FALSE(spec.Parse("tcp:127.0.0.1:2323,9600"));
    EXPECT_NE(spec.ErrorText().find("cannot read \"9600\""), std::string::npos) << spec.ErrorText();
    EXPECT_FALSE(spec.Parse("tcp:127.0.0.1:2323,"));
    EXPECT_NE(spec.ErrorText().find("empty field after the port"), std::string::npos);
}

TEST(NxrComSpec, AnotherDeviceKeepsEveryOtherFieldAsWritten) {
    CNxrComSpec spec;
    ASSERT_TRUE(spec.Parse("  Serial:/dev/ttyUSB0 , 9600,7E1,flow=rtscts  "));
    EXPECT_EQ(spec.TextWithDevice("/dev/ttyUSB1"), "Serial:/dev/ttyUSB1, 9600,7E1,flow=rtscts");
    CNxrComSpec again;
    ASSERT_TRUE(again.Parse(spec.TextWithDevice("/dev/ttyUSB1")));
    EXPECT_EQ(again.m_device, "/dev/ttyUSB1");
    EXPECT_EQ(again.m_baud, 9600);
    EXPECT_EQ(again.m_flow, ENxrFlowControl::RtsCts);
    ASSERT_TRUE(spec.Parse("serial:/dev/ttyACM0"));
    EXPECT_EQ(spec.TextWithDevice("/dev/ttyACM1"), "serial:/dev/ttyACM1");
    // Names that would read as something else are refused.
    EXPECT_EQ(spec.TextWithDevice("/dev/a,b"), "");
    EXPECT_EQ(spec.TextWithDevice("/dev/a "), "");
    EXPECT_EQ(spec.TextWithDevice(std::string("/dev/a\nb")), "");
    EXPECT_EQ(spec.TextWithDevice(""), "");
    ASSERT_TRUE(spec.Parse("tcp:127.0.0.1:2323"));
    EXPECT_EQ(spec.TextWithDevice("/dev/ttyUSB1"), "") << "no serial spec";
}

}  // namespace
}  // namespace quillpad
