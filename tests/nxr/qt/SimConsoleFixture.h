#pragma once
// A session on the in-process simulated controller with its console open and
// its first prompt received, and a sink that records everything.

#include <gtest/gtest.h>

#include "devsim/qt/CDevSimTransport.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/SessionTestSupport.h"

namespace quillpad::test {

class CSimConsoleFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterDevSimTransport();
        session.Advise(&sink);
        ASSERT_EQ(session.Open(BytesToWide("sim:"), BytesToWide("test"), &handle), 0);
        std::uint32_t id = 0;
        ASSERT_EQ(session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle), 0);
        ASSERT_TRUE(WaitFor([&] { return sink.received.find("> ") != ByteString::npos; }));
    }

    CNxrSession session;
    CRecordingSink sink;
    NxrHandle handle = 0;
};

}  // namespace quillpad::test
