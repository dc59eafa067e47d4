#include "nxr/CNxrTelnetCodec.h"

#include <gtest/gtest.h>

#include "nxr/NxrComPortOption.h"

namespace quillpad {
namespace {

using namespace telnet;

ByteString B(std::initializer_list<int> values) {
    ByteString out;
    for (int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

ByteString AllBytes() {
    ByteString all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    return all;
}

// Runs both ends against each other until neither has anything to answer.
void Converse(CNxrTelnetCodec& client, CNxrTelnetCodec& server) {
    ByteString toServer = client.Start();
    ByteString toClient = server.Start();
    for (int round = 0; round < 10 && (!toServer.empty() || !toClient.empty()); ++round) {
        CNxrTelnetCodec::SReceived atServer;
        CNxrTelnetCodec::SReceived atClient;
        server.Receive(toServer, atServer);
        client.Receive(toClient, atClient);
        EXPECT_TRUE(atServer.data.empty());
        EXPECT_TRUE(atClient.data.empty());
        toServer = atClient.reply;
        toClient = atServer.reply;
    }
    EXPECT_TRUE(toServer.empty() && toClient.empty()) << "negotiation must settle";
}

TEST(NxrTelnetCodec, BothEndsSettleOnBinaryAndCarryEveryByteBothWays) {
    CNxrTelnetCodec client(ENxrTelnetRole::Client);
    CNxrTelnetCodec server(ENxrTelnetRole::Server);
    Converse(client, server);
    EXPECT_TRUE(client.WeSendBinary() && client.PeerSendsBinary());
    EXPECT_TRUE(server.WeSendBinary() && server.PeerSendsBinary());

    const ByteString all = AllBytes() + AllBytes();
    const ByteString wire = client.Encode(all);
    EXPECT_EQ(wire.size(), all.size() + 2) << "only 0xFF is doubled in binary mode";
    // Fed one byte at a time, so that every state boundary is crossed.
    CNxrTelnetCodec::SReceived got;
    for (char c : wire) {
        server.Receive(std::string_view(&c, 1), got);
    }
    EXPECT_EQ(got.data, all);
    EXPECT_TRUE(got.reply.empty());

    CNxrTelnetCodec::SReceived back;
    client.Receive(server.Encode(all), back);
    EXPECT_EQ(back.data, all);
}

TEST(NxrTelnetCodec, RefusesUnknownOptionsOnceAndSkipsSubnegotiation) {
    CNxrTelnetCodec client(ENxrTelnetRole::Client);
    CNxrTelnetCodec::SReceived got;
    // DO TTYPE, WILL NAWS-like 31, SB 24 ... IAC IAC ... SE, NOP, data.
    client.Receive(B({IAC, DO,  24,  IAC, WILL, 31,  'a', IAC, SB,  24,  1,
                      IAC, IAC, 'x', IAC, SE,   IAC, 241, 'b', IAC, IAC, 'c'}),
                   got);
    EXPECT_EQ(got.data, B({'a', 'b', 0xFF, 'c'}));
    EXPECT_EQ(got.reply, B({IAC, WONT, 24, IAC, DONT, 31}));

    // Telling us what we already know draws no answer, so no loop can start.
    CNxrTelnetCodec::SReceived again;
    client.Receive(B({IAC, WONT, 31, IAC, DONT, 24}), again);
    EXPECT_TRUE(again.reply.empty());

    // The server may echo; when it stops, the client agrees once.
    CNxrTelnetCodec::SReceived echo;
    client.Receive(B({IAC, WILL, OPT_ECHO, IAC, WILL, OPT_ECHO, IAC, WONT, OPT_ECHO}), echo);
    EXPECT_EQ(echo.reply, B({IAC, DO, OPT_ECHO, IAC, DONT, OPT_ECHO}));
}

// The COM port option (RFC 2217): offered only when asked for, and its
// notices reach the owner whole, with IAC undoubled, in any split; a notice
// of an option not agreed on, or one too long to be a notice, does not.
TEST(NxrTelnetCodec, ComPortNoticesArriveWholeOnlyOnceTheOptionIsAgreed) {
    CNxrTelnetCodec plain(ENxrTelnetRole::Client);
    EXPECT_EQ(plain.Start().find(B({IAC, WILL, OPT_COM_PORT})), ByteString::npos);
    CNxrTelnetCodec::SReceived refused;
    plain.Receive(B({IAC, DO, OPT_COM_PORT}), refused);
    EXPECT_EQ(refused.reply, B({IAC, WONT, OPT_COM_PORT}));

    CNxrTelnetCodec client(ENxrTelnetRole::Client);
    client.OfferComPort();
    EXPECT_NE(client.Start().find(B({IAC, WILL, OPT_COM_PORT})), ByteString::npos);
    const ByteString early = B({IAC, SB, OPT_COM_PORT, 107, 0x30, IAC, SE});
    CNxrTelnetCodec::SReceived before;
    client.Receive(early, before);
    EXPECT_TRUE(before.comPort.empty()) << "not agreed yet";

    const ByteString wire =
        B({IAC, DO,   OPT_COM_PORT, 'a', IAC, SB,  OPT_COM_PORT, 101, 0, 0,   IAC,
           IAC, 0x10, IAC,          SE,  'b', IAC, SB,           24,  1, IAC, SE});
    CNxrTelnetCodec::SReceived got;
    for (const char c : wire) {
        client.Receive(std::string_view(&c, 1), got);
    }
    EXPECT_TRUE(client.ComPortAgreed());
    EXPECT_EQ(got.data, "ab");
    ASSERT_EQ(got.comPort.size(), 1u);
    EXPECT_EQ(got.comPort[0], B({101, 0, 0, 0xFF, 0x10}));
    const auto notice = ReadComPortNotice(got.comPort[0]);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->command, rfc2217::SET_BAUDRATE);
    EXPECT_EQ(notice->value, 0xFF10u);

    ByteString flood = B({IAC, SB, OPT_COM_PORT});
    flood.append(500, 'x');
    flood += B({IAC, SE, 'c'});
    CNxrTelnetCodec::SReceived long_;
    client.Receive(flood, long_);
    EXPECT_TRUE(long_.comPort.empty());
    EXPECT_EQ(long_.data, "c");
    EXPECT_FALSE(ReadComPortNotice(B({7, 0x30})).has_value()) << "a client command is no notice";
    EXPECT_FALSE(ReadComPortNotice(B({107, 1, 2, 3, 4, 5})).has_value());
}

// What a console sends to set a remote port: each value as RFC 2217 codes
// it, a 0xFF inside a value doubled.
TEST(NxrComPortOption, SetupCodesTheSpecsLineSettings) {
    CNxrComSpec spec;
    ASSERT_TRUE(spec.Parse("rfc2217:ports.local:7001,16777215,7O1.5,flow=rtscts"));
    const ByteString setup = ComPortSetup(spec);
    const auto sb = [](std::initializer_list<int> body) {
        ByteString out = B({IAC, SB, OPT_COM_PORT});
        out += B(body);
        out += B({IAC, SE});
        return out;
    };
    EXPECT_EQ(setup, sb({1, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + sb({2, 7}) + sb({3, 2}) +
                         sb({4, 3}) + sb({5, 3}) + sb({11, 0xF0}));
    ASSERT_TRUE(spec.Parse("rfc2217:ports.local:7001"));
    EXPECT_EQ(ComPortSetup(spec).substr(0, 10), sb({1, 0, 1, 0xC2, 0})) << "115200 8N1 by default";
    EXPECT_NE(ComPortSetup(spec).find(sb({3, 1}) + sb({4, 1}) + sb({5, 1})), ByteString::npos);
}

TEST(NxrTelnetCodec, ServerNeverLetsTheClientEchoAndPlacesBreaksInTheData) {
    CNxrTelnetCodec server(ENxrTelnetRole::Server);
    CNxrTelnetCodec::SReceived got;
    server.Receive(B({IAC, WILL, OPT_ECHO, 'z', IAC, BRK, IAC}), got);
    server.Receive(B({BRK, 'y', IAC, IP, 'x', IAC, BRK}), got);  // an IP is no break
    EXPECT_EQ(got.reply, B({IAC, DONT, OPT_ECHO}));
    EXPECT_EQ(got.data, "zyx");
    EXPECT_EQ(got.breaks, (std::vector<std::size_t>{1, 1, 3}));
    EXPECT_EQ(CNxrTelnetCodec::BreakCommand(), B({IAC, BRK}));
}

TEST(NxrTelnetCodec, OutsideBinaryModeALoneCrTravelsAsCrNul) {
    CNxrTelnetCodec plain(ENxrTelnetRole::Client);  // nothing negotiated
    // A CR at the end waits for the next send to tell whether an LF follows.
    EXPECT_EQ(plain.Encode("a\rb\r\nc\r"), B({'a', '\r', 0, 'b', '\r', '\n', 'c', '\r'}));
    EXPECT_EQ(plain.Encode("d"), B({0, 'd'}));
    CNxrTelnetCodec::SReceived got;
    plain.Receive(B({'a', '\r'}), got);
    plain.Receive(B({0, 'b', '\r', '\n', '\r', 0, 0}), got);
    EXPECT_EQ(got.data, B({'a', '\r', 'b', '\r', '\n', '\r', 0}));
}

// The console sends what is typed a key at a time: CR in one send, LF in the
// next. Split anywhere, the wire must be the same as for one send.
TEST(NxrTelnetCodec, SendsSplitAnywhereEncodeAsOneSend) {
    const ByteString text = B({'a', '\r', '\n', '\r', 'b', '\r', '\r', '\n', 0xFF, '\r', 0, '\r'});
    CNxrTelnetCodec whole(ENxrTelnetRole::Client);
    const ByteString expected = whole.Encode(text);
    EXPECT_EQ(expected, B({'a', '\r', '\n', '\r', 0, 'b', '\r', 0, '\r', '\n', 0xFF, 0xFF, '\r', 0,
                           0, '\r'}));
    for (std::size_t at = 0; at <= text.size(); ++at) {
        CNxrTelnetCodec split(ENxrTelnetRole::Client);
        ByteString wire = split.Encode(std::string_view(text).substr(0, at));
        wire += split.Encode(std::string_view(text).substr(at));
        EXPECT_EQ(wire, expected) << "split at " << at;
    }
    // One key at a time, as typed.
    CNxrTelnetCodec typed(ENxrTelnetRole::Client);
    ByteString wire;
    for (const char c : text) {
        wire += typed.Encode(std::string_view(&c, 1));
    }
    EXPECT_EQ(wire, expected);

    // A binary peer reads a CR as itself: no NUL is owed once binary is on.
    CNxrTelnetCodec client(ENxrTelnetRole::Client);
    CNxrTelnetCodec server(ENxrTelnetRole::Server);
    EXPECT_EQ(client.Encode("\r"), "\r");
    Converse(client, server);
    EXPECT_EQ(client.Encode("x"), "x");
}

}  // namespace
}  // namespace quillpad
