// The session on transports the test controls: what it reports as sent when
// the link refuses a write, and a program that lacks the simulated controller.

#include <gtest/gtest.h>

#include "devsim/qt/CDevSimTransport.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/ScriptedTransport.h"
#include "tests/nxr/qt/SessionTestSupport.h"

namespace quillpad {
namespace {

using test::CRecordingSink;
using test::SScriptedLink;
using test::WaitFor;

constexpr std::uint16_t kLinkLost = 4;

void Connect(CNxrSession& session, CRecordingSink& sink, NxrHandle& handle,
             std::string_view spec = "sim:") {
    ASSERT_EQ(session.Open(BytesToWide(spec), {}, &handle), 0) << session.ErrorText(0);
    std::uint32_t id = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    ASSERT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
}

TEST(NxrSessionTransport, OnlyWhatTheLinkTookIsReportedSentAndARefusedWriteLosesTheLink) {
    auto link = std::make_shared<SScriptedLink>();
    link->takes = 8;
    CNxrTransportRegistry transports;
    test::ServeScriptedLinks(transports, {link});
    CNxrSession session(transports);
    CRecordingSink sink;
    session.Advise(&sink);
    NxrHandle handle = 0;
    Connect(session, sink, handle);

    ASSERT_EQ(session.Send(BytesToWide("hello\r"), 1000, &handle), 0);
    ASSERT_EQ(session.Send(BytesToWide("world\r"), 1000, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.LastStatus() == kLinkLost; }))
        << "a refused write must bring the link down";
    EXPECT_EQ(link->Taken(), "hello\rwo");
    EXPECT_EQ(sink.transmitted, "hello\rwo") << "bytes that never left were reported as sent";
    EXPECT_EQ(session.ErrorText(0), "link lost: the cable was pulled (4 bytes were not sent)");
    EXPECT_EQ(session.Send(BytesToWide("x"), 1000, &handle), ToStatus(ENxrResult::NotConnected));
}

TEST(NxrSessionTransport, SimOpensOnlyInAProgramThatRegisteredTheSimulator) {
    CNxrTransportRegistry transports;
    transports.RegisterBuiltins();
    CNxrSession session(transports);
    CRecordingSink sink;
    session.Advise(&sink);
    NxrHandle handle = 0;
    EXPECT_EQ(session.Open(BytesToWide("sim:name=QX-4"), {}, &handle),
              ToStatus(ENxrResult::Failed));
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(
        session.ErrorText(0),
        "cannot open \"sim:name=QX-4\": the simulated controller is not part of this program");

    RegisterDevSimTransport(transports);
    Connect(session, sink, handle, "sim:name=QX-4");
    EXPECT_TRUE(WaitFor([&] { return sink.received.find("QX-4") != ByteString::npos; }));
}

}  // namespace
}  // namespace quillpad
