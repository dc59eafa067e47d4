// The session on transports the test controls, and a program that lacks the
// simulated controller.

#include <gtest/gtest.h>

#include "devsim/qt/CDevSimTransport.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/SessionTestSupport.h"

namespace quillpad {
namespace {

using test::CRecordingSink;
using test::WaitFor;

void Connect(CNxrSession& session, CRecordingSink& sink, NxrHandle& handle,
             std::string_view spec = "sim:") {
    ASSERT_EQ(session.Open(BytesToWide(spec), {}, &handle), 0) << session.ErrorText(0);
    std::uint32_t id = 0;
    session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    ASSERT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
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
