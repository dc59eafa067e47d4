// The console's side of the connection on a scripted session object: what
// it asks of the session, how it reacts to each event, what it shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "nxr/NxrCodes.h"
#include "platform/LocalTime.h"
#include "session/CConnectionController.h"
#include "tests/session/SessionDoubles.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CFakeSession;
using test::CManualDeferredCalls;
using test::CRecordingHost;
using test::CRecordingUi;
using test::SSessionCall;

WideString W(std::string_view text) {
    return BytesToWide(text);
}

class ConnectionController : public ::testing::Test {
  protected:
    ConnectionController() : store(channel, clock) { Make(); }

    void Make(bool withSession = true) {
        controller.reset();
        SSessionServices services;
        if (withSession) {
            services.factory = [this] {
                SSessionCreation created;
                auto fake = std::make_unique<CFakeSession>(log);
                session = fake.get();
                created.session = std::move(fake);
                return created;
            };
        } else {
            services.factory = []() -> SSessionCreation {
                throw std::runtime_error("class not registered");
            };
            session = nullptr;
        }
        services.ui = std::make_unique<CRecordingUi>(shown);
        services.deferred = std::make_unique<CManualDeferredCalls>(deferred);
        controller = std::make_unique<CConnectionController>(channel, std::move(services));
        controller->SetDataStore(&store);
        controller->SetHostEnvironment(host);
        log->clear();
    }

    void Post(MessageId id, std::uint64_t wParam = 0, std::int64_t lParam = 0,
              CPayload payload = {}) {
        channel.Post(controller->Handle(), id, wParam, lParam, std::move(payload));
        channel.DrainPending();
    }
    void ConnectTo(std::string_view spec) { Post(UM_CONNECT, 0, 0, CPayload::Make(W(spec))); }
    // Connected, link up, console open; the log starts empty.
    void OpenConsole() {
        ConnectTo("sim:");
        session->SetLink(3);
        controller->OnLinkUp();
        const std::uint32_t id = session->nextRequestId - 1;
        controller->OnRequestCompleted(id, nxr_request::OpenConsole, true, 0, std::nullopt);
        channel.DrainPending();
        ASSERT_TRUE(controller->ConsoleOpen());
        log->clear();
    }
    std::vector<std::string> Ops() const {
        std::vector<std::string> ops;
        for (const auto& c : *log) {
            ops.push_back(c.op);
        }
        return ops;
    }
    ByteString Sent() const {
        ByteString all;
        for (const auto& c : *log) {
            if (c.op == "Send") {
                all += WideToBytes(c.text);
            }
        }
        return all;
    }

    CQueuedChannel channel;
    CManualClock clock{5000, 1700000000};
    CDataStore store;
    std::shared_ptr<std::vector<SSessionCall>> log = std::make_shared<std::vector<SSessionCall>>();
    std::shared_ptr<std::vector<test::SShownBox>> shown =
        std::make_shared<std::vector<test::SShownBox>>();
    std::shared_ptr<std::vector<std::pair<std::uint32_t, std::function<void()>>>> deferred =
        std::make_shared<std::vector<std::pair<std::uint32_t, std::function<void()>>>>();
    std::shared_ptr<CRecordingHost> host = std::make_shared<CRecordingHost>();
    CFakeSession* session = nullptr;
    std::unique_ptr<CConnectionController> controller;
};

TEST_F(ConnectionController, CreationAdvisesSetsTheTextSettingAndTeardownUndoesIt) {
    auto calls = std::make_shared<std::vector<SSessionCall>>();
    {
        SSessionServices services;
        services.factory = [calls] {
            return SSessionCreation{std::make_unique<CFakeSession>(calls), {}};
        };
        CConnectionController c(channel, std::move(services));
        EXPECT_TRUE(c.Usable());
        EXPECT_NE(c.SinkCookie(), CDeviceSession::kNotAdvised);
        ASSERT_EQ(calls->size(), 2u);
        EXPECT_EQ((*calls)[0].op, "Advise");
        EXPECT_EQ((*calls)[1].op, "SetTextSetting");
        EXPECT_EQ((*calls)[1].text, W("%D"));
        EXPECT_EQ(c.ConnectionStatus(), 1u);
        EXPECT_FALSE(c.ConsoleOpen());
    }
    EXPECT_EQ(calls->back().op, "Close");
    EXPECT_EQ((*calls)[calls->size() - 2].op, "Unadvise");
}

TEST_F(ConnectionController, AFailedSessionObjectIsReportedNotFatal) {
    Make(false);
    EXPECT_FALSE(controller->Usable());
    EXPECT_EQ(controller->CreationError(), "class not registered");
    ConnectTo("sim:");
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "Error");
    EXPECT_NE((*shown)[0].text.find("class not registered"), std::string::npos);
    // Every path stays safe without a session.
    controller->SetConnectionParameters(W("sim:"));
    channel.DrainPending();
    Post(UM_SEND_CHAR, 0, 'a');
    Post(UM_SEND_TEXT, 0, 0, CPayload::Make(ByteString("pasted")));
    ASSERT_EQ(shown->size(), 3u) << "the connect twice and the paste; a typed key says nothing";
    EXPECT_EQ((*shown)[2].text, controller->FailureText());
    EXPECT_EQ(controller->Reconnect(), ToStatus(ENxrResult::NotOpen));
    controller->Shutdown();

    SSessionServices none;
    none.factory = [] { return SSessionCreation{}; };  // no session interface, no error
    CConnectionController c(channel, std::move(none));
    EXPECT_EQ(c.CreationError(), "");
    EXPECT_NE(c.FailureText().find("no session interface"), std::string::npos);
}

TEST_F(ConnectionController, ConnectClosesOpensSetsOptionsAndAsksForTheLink) {
    ConnectTo("sim:name=QX-9");
    ASSERT_EQ(Ops(), (std::vector<std::string>{"Close", "Open", "SetOption", "SetOption",
                                               "SetOption", "Request"}));
    EXPECT_EQ((*log)[1].text, W("sim:name=QX-9"));
    EXPECT_EQ((*log)[1].clientName, W("Quillpad Workbay Plugin"));
    EXPECT_EQ((*log)[2].code, 1u);
    EXPECT_EQ((*log)[2].value, 29567);
    EXPECT_EQ((*log)[3].code, 2u);
    EXPECT_EQ((*log)[3].value, 15);
    EXPECT_EQ((*log)[4].code, nxr_option::WaitLimitMs);
    EXPECT_EQ((*log)[4].value, 0) << "a lost link is waited for as long as the console is open";
    EXPECT_EQ((*log)[5].code, nxr_request::Connect);
    EXPECT_EQ((*log)[5].value, -1);
    EXPECT_EQ((*log)[5].params, NxrEmptyParamBlock());
    EXPECT_EQ((*log)[5].userText, std::nullopt);
    EXPECT_NE(controller->ConnectionHandle(), 0u);
    EXPECT_EQ(controller->ConnectionSpec().Kind(), ENxrConnectionKind::Simulated);
    EXPECT_TRUE(shown->empty());

    log->clear();
    Post(UM_CONNECT);  // no spec: offline
    EXPECT_EQ(Ops(), std::vector<std::string>{"Close"});
    EXPECT_EQ(controller->ConnectionHandle(), 0u);
    EXPECT_EQ(controller->ConnectionSpec().Kind(), ENxrConnectionKind::None);
}

TEST_F(ConnectionController, AFailedOpenShowsTheStandardErrorWithErrorZeroAndStaysClosed) {
    session->openFails = true;
    ConnectTo("modem:1");
    EXPECT_EQ(Ops(), (std::vector<std::string>{"Close", "Open"}));
    EXPECT_EQ(controller->ConnectionHandle(), 0u);
    EXPECT_FALSE(controller->ConsoleOpen());
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "standard error");
    EXPECT_EQ((*shown)[0].requestId, 0u);
}

TEST_F(ConnectionController, LinkUpOpensTheConsoleAndItsCompletionDecides) {
    ConnectTo("sim:");
    log->clear();
    controller->OnLinkUp();
    ASSERT_EQ(Ops(), std::vector<std::string>{"Request"});
    EXPECT_EQ((*log)[0].code, nxr_request::OpenConsole);
    EXPECT_EQ((*log)[0].value, -1);
    EXPECT_EQ((*log)[0].userText, std::nullopt);
    EXPECT_EQ((*log)[0].params, NxrEmptyParamBlock());

    // A failure shows "No console" once, from the queue, not inside the event.
    controller->OnRequestCompleted(41, nxr_request::OpenConsole, false, 0, std::nullopt);
    EXPECT_TRUE(shown->empty());
    channel.DrainPending();
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "No console");
    EXPECT_EQ((*shown)[0].text,
              "Device does not support a console connection or cannot be Auto-Detected.\n"
              "Check your connection or specify a device type if required.");
    EXPECT_FALSE(controller->ConsoleOpen());

    controller->OnRequestCompleted(42, nxr_request::OpenConsole, true, 0, std::nullopt);
    EXPECT_TRUE(controller->ConsoleOpen());
    channel.DrainPending();
    EXPECT_EQ(shown->size(), 1u);
}

TEST_F(ConnectionController, OtherFailuresShowTheStandardErrorWithTheirRequestId) {
    ConnectTo("sim:");
    controller->OnRequestCompleted(5, nxr_request::Connect, true, 0, std::nullopt);
    controller->OnRequestCompleted(6, nxr_request::Connect, false, 0, std::nullopt);
    controller->OnRequestCompleted(7, nxr_request::Reconnect, false, 0, std::nullopt);
    controller->OnRequestCompleted(8, 0x1234, false, 0, std::nullopt);
    channel.DrainPending();
    ASSERT_EQ(shown->size(), 3u);
    EXPECT_EQ((*shown)[0].requestId, 6u);
    EXPECT_EQ((*shown)[0].text, "fake error 6");
    EXPECT_EQ((*shown)[1].requestId, 7u);
    EXPECT_EQ((*shown)[2].requestId, 8u);
}

TEST_F(ConnectionController, NewParametersWhileOpenWaitForTheCloseConsoleCompletion) {
    OpenConsole();
    controller->SetConnectionParameters(W("tcp:127.0.0.1:2323"));
    channel.DrainPending();
    ASSERT_EQ(Ops(), std::vector<std::string>{"Request"});
    EXPECT_EQ((*log)[0].code, nxr_request::CloseConsole);
    EXPECT_EQ((*log)[0].value, -1);
    EXPECT_EQ((*log)[0].userText, W("tcp:127.0.0.1:2323"));
    EXPECT_TRUE(controller->ConsoleOpen());

    log->clear();
    // A failed close still reconnects: the device is being left anyway.
    controller->OnRequestCompleted(9, nxr_request::CloseConsole, false, 0, W("tcp:127.0.0.1:2323"));
    EXPECT_FALSE(controller->ConsoleOpen());
    EXPECT_TRUE(log->empty()) << "nothing is reopened inside the event";
    channel.DrainPending();
    ASSERT_GE(log->size(), 2u);
    EXPECT_EQ((*log)[0].op, "Close");
    EXPECT_EQ((*log)[1].op, "Open");
    EXPECT_EQ((*log)[1].text, W("tcp:127.0.0.1:2323"));
    EXPECT_TRUE(shown->empty());
}

TEST_F(ConnectionController, NewParametersWhileClosedReconnectAtOnce) {
    ConnectTo("sim:");
    log->clear();
    controller->SetConnectionParameters(W("sim:name=B"));
    channel.DrainPending();
    ASSERT_EQ(Ops(), (std::vector<std::string>{"Close", "Open", "SetOption", "SetOption",
                                               "SetOption", "Request"}));
    EXPECT_EQ((*log)[1].text, W("sim:name=B"));

    // Open, but the close-console request cannot be issued: reconnect now.
    OpenConsole();
    session->requestFails = true;
    controller->SetConnectionParameters(W("sim:name=C"));
    channel.DrainPending();
    ASSERT_GE(log->size(), 3u);
    EXPECT_EQ((*log)[0].code, nxr_request::CloseConsole);
    EXPECT_EQ((*log)[2].op, "Open");
    EXPECT_EQ((*log)[2].text, W("sim:name=C"));
}

TEST_F(ConnectionController, CloseConsoleWithoutNewParametersLeavesTheConsoleOffline) {
    OpenConsole();
    controller->SetConnectionParameters(std::nullopt);
    ASSERT_EQ(Ops(), std::vector<std::string>{"Request"});
    EXPECT_EQ((*log)[0].userText, std::nullopt);
    log->clear();
    controller->OnRequestCompleted(11, nxr_request::CloseConsole, true, 0, std::nullopt);
    channel.DrainPending();
    EXPECT_EQ(Ops(), std::vector<std::string>{"Close"});
    EXPECT_EQ(controller->ConnectionHandle(), 0u);
    EXPECT_FALSE(controller->ConsoleOpen());
    EXPECT_TRUE(channel.IsAlive(controller->Handle())) << "the console is still there";
    EXPECT_TRUE(shown->empty());
}

TEST_F(ConnectionController, StatusIsTheSessionsAndPassedToTheHostWhenThereIsOne) {
    session->SetLink(3);
    EXPECT_EQ(controller->ConnectionStatus(), 3u);
    ASSERT_EQ(host->calls.size(), 1u);
    EXPECT_EQ(host->calls[0].name, "IWBENVUpdateConnectionStatus");
    EXPECT_EQ(host->calls[0].value, 3);

    // The session's status is the one read, before its event arrives too.
    session->status = 4;
    EXPECT_EQ(controller->ConnectionStatus(), 4u);
    Post(UM_SEND_CHAR, 0, 'x');
    ASSERT_EQ(Ops(), std::vector<std::string>{"Send"}) << "a lost link is no reason to connect";
    session->status = 1;
    log->clear();
    Post(UM_SEND_CHAR, 0, 'x');
    ASSERT_EQ(Ops(), (std::vector<std::string>{"Request", "Send"}));

    controller->SetHostEnvironment(nullptr);
    session->SetLink(0xFFFF);
    EXPECT_EQ(controller->ConnectionStatus(), 0xFFFFu) << "zero-extended";
    EXPECT_EQ(host->calls.size(), 1u);
    EXPECT_EQ(controller->HostShowFrameFooter(1), kHostCallFailed);

    Make(false);
    EXPECT_EQ(controller->ConnectionStatus(), 1u) << "without a session object";
}

TEST_F(ConnectionController, DataEventsBecomeRecordsOneBytePerCharacter) {
    ByteString all;
    for (int c = 0; c < 256; ++c) {
        all.push_back(static_cast<char>(c));
    }
    controller->OnDataReceived(0, all);
    controller->OnDataTransmitted(0, "ver\r");
    store.RegisterOwnId(77);
    controller->OnDataReceived(77, "own ability");
    controller->OnDataReceived(12, "other");
    ASSERT_EQ(store.RecordCount(), 4u);
    const auto in = store.Record(0);
    EXPECT_EQ(in->direction, 1u);
    EXPECT_EQ(in->source, 1u);
    EXPECT_EQ(ByteString(in->bytes), all);
    EXPECT_EQ(store.Record(1)->direction, 2u);
    EXPECT_EQ(ByteString(store.Record(1)->bytes), "ver\r");
    EXPECT_EQ(store.Record(2)->source, 1u);
    EXPECT_EQ(store.Record(3)->source, 2u);
    EXPECT_EQ(store.Record(3)->ownerId, 12u);

    controller->SetDataStore(nullptr);
    controller->OnDataReceived(0, "dropped");
    EXPECT_EQ(store.RecordCount(), 4u);
}

TEST_F(ConnectionController, TypedCarriageReturnFollowsTheOptionPastedTextNever) {
    OpenConsole();
    session->SetLink(3);
    Post(UM_SEND_CHAR, 0, '\r');
    controller->SetOptions({.outgoingCRToCRLF = true});
    Post(UM_SEND_CHAR, 0, '\r');
    Post(UM_SEND_CHAR, 0, 'x');
    Post(UM_SEND_TEXT, 0, 0, CPayload::Make(ByteString("a\rb\r")));
    ASSERT_EQ(Ops(), (std::vector<std::string>{"Send", "Send", "Send", "Send"}));
    EXPECT_EQ(WideToBytes((*log)[0].text), "\r");
    EXPECT_EQ(WideToBytes((*log)[1].text), "\r\n");
    EXPECT_EQ(WideToBytes((*log)[2].text), "x");
    EXPECT_EQ(WideToBytes((*log)[3].text), "a\rb\r");
    EXPECT_EQ((*log)[0].value, 100);
    EXPECT_EQ((*log)[3].value, 1000);
    EXPECT_EQ(store.RecordCount(), 0u) << "nothing is echoed locally";
}

TEST_F(ConnectionController, SendingWhileNotConnectedAsksForTheLinkFirst) {
    OpenConsole();
    session->SetLink(1);
    Post(UM_SEND_CHAR, 0, static_cast<unsigned char>('\xE9'));
    ASSERT_EQ(Ops(), (std::vector<std::string>{"Request", "Send"}));
    EXPECT_EQ((*log)[0].code, nxr_request::Connect);
    EXPECT_EQ((*log)[0].value, -1);
    EXPECT_EQ(WideToBytes((*log)[1].text), "\xE9");

    log->clear();
    session->SetLink(2);
    Post(UM_SEND_CHAR, 0, 0);  // counted to the first zero: nothing to send
    ASSERT_EQ(Ops(), std::vector<std::string>{"Send"});
    EXPECT_TRUE((*log)[0].text.empty());
}

// Keys and texts reach a session that takes bytes as the bytes they are,
// every value from 0x01 to 0xFF, never through a wide string.
TEST_F(ConnectionController, SendsBytesAsBytesToASessionThatTakesThem) {
    OpenConsole();
    session->takesBytes = true;
    Post(UM_SEND_CHAR, 0, static_cast<unsigned char>('\xE9'));
    ByteString all;
    for (int b = 1; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    Post(UM_SEND_TEXT, 0, 0, CPayload::Make<ByteString>(all));
    ASSERT_EQ(Ops(), (std::vector<std::string>{"SendBytes", "SendBytes"}));
    EXPECT_EQ((*log)[0].params, "\xE9");
    EXPECT_EQ((*log)[0].value, CConnectionController::kSendCharTimeoutMs);
    EXPECT_EQ((*log)[1].params, all);
}

// A modal box runs an event loop; shown from inside a handler, it would let
// session events close the session under that handler. Each box comes as a
// message of its own, after the handler has finished.
TEST_F(ConnectionController, BoxesComeAfterTheHandlerThatFoundTheFault) {
    const auto deliverOne = [&](MessageId id, CPayload payload) {
        channel.Post(controller->Handle(), id, 0, 0, std::move(payload));
        ASSERT_TRUE(channel.DeliverOne());
    };
    session->openFails = true;
    deliverOne(UM_CONNECT, CPayload::Make(W("modem:1")));
    EXPECT_TRUE(shown->empty());
    EXPECT_EQ(channel.PendingCount(), 1u);
    channel.DrainPending();
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "standard error");

    session->openFails = false;
    OpenConsole();
    session->SetLink(3);
    session->sendFails = true;
    shown->clear();
    deliverOne(UM_SEND_TEXT, CPayload::Make(ByteString("text")));
    EXPECT_TRUE(shown->empty());
    channel.DrainPending();
    EXPECT_EQ(shown->size(), 1u);

    Make(false);
    shown->clear();
    deliverOne(UM_CONNECT, CPayload::Make(W("sim:")));
    EXPECT_TRUE(shown->empty());
    channel.DrainPending();
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "Error");
}

TEST_F(ConnectionController, LaunchingAConsoleGoesToTheHostOrStartsIt) {
    std::vector<std::string> started;
    controller->SetHostStarter([&](const std::string& line) {
        started.push_back(line);
        return true;
    });
    EXPECT_EQ(controller->HostLaunchPlugin(W("Quillpad2"), W("sim:name=QX-9"), W("")), 0);
    ASSERT_EQ(host->calls.size(), 1u);
    EXPECT_EQ(host->calls[0].name, "IWBENVLaunchPlugin");
    EXPECT_TRUE(started.empty()) << "a host that is there is asked, not started";

    controller->SetHostEnvironment(nullptr);
    EXPECT_EQ(controller->HostLaunchPlugin(W("Quillpad2"), W("tcp:10.0.0.5:2323"), W("")), 0);
    EXPECT_EQ(started,
              std::vector<std::string>{"/plugin:Quillpad2 /\"connect:tcp:10.0.0.5:2323\""});
    controller->SetHostStarter([](const std::string&) { return false; });
    EXPECT_EQ(controller->HostLaunchPlugin(W("Quillpad2"), W("sim:"), W("")), kHostCallFailed);
    controller->SetHostStarter(nullptr);
    EXPECT_EQ(controller->HostLaunchPlugin(W("Quillpad2"), W("sim:"), W("")), kHostCallFailed);
}

TEST_F(ConnectionController, SendFailuresShowErrorZeroExceptForTypedCharacters) {
    OpenConsole();
    session->SetLink(3);
    session->sendFails = true;
    Post(UM_SEND_CHAR, 0, 'a');
    EXPECT_TRUE(shown->empty());
    Post(UM_SEND_TEXT, 0, 0, CPayload::Make(ByteString("text")));
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "standard error");
    EXPECT_EQ((*shown)[0].requestId, 0u);
    Post(UM_SEND_BYTES, 2, 0, CPayload::Make(ByteString("ab")));
    EXPECT_EQ(shown->size(), 2u);
}

TEST_F(ConnectionController, SendBytesSendsItsCountButNeverPastTheBuffer) {
    OpenConsole();
    session->SetLink(3);
    Post(UM_SEND_BYTES, 3, 0, CPayload::Make(ByteString("\x01\x00\x02\x03", 4)));
    Post(UM_SEND_BYTES, 1000, 0, CPayload::Make(ByteString("ab")));
    Post(UM_SEND_BYTES, 5);  // no buffer at all
    EXPECT_EQ(Sent(), ByteString("\x01\x00\x02"
                                 "ab",
                                 5));
    EXPECT_TRUE(shown->empty());
}

TEST_F(ConnectionController, ReconnectAndDisconnectAreRequestsWithAOneSecondTimeOut) {
    ConnectTo("sim:");
    log->clear();
    EXPECT_EQ(controller->Reconnect(), 0);
    EXPECT_EQ(controller->Disconnect(), 0);
    ASSERT_EQ(log->size(), 2u);
    EXPECT_EQ((*log)[0].code, nxr_request::Reconnect);
    EXPECT_EQ((*log)[1].code, nxr_request::Disconnect);
    EXPECT_EQ((*log)[0].value, 1000);
    EXPECT_EQ((*log)[1].params, NxrEmptyParamBlock());
}

TEST_F(ConnectionController, ShutdownClosesTheOpenConsoleAndWaitsThenCloses) {
    OpenConsole();
    controller->Shutdown();
    ASSERT_EQ(Ops(), (std::vector<std::string>{"RequestWait", "Close"}));
    EXPECT_EQ((*log)[0].code, nxr_request::CloseConsole);
    EXPECT_EQ((*log)[0].value, 2000);
    EXPECT_FALSE(controller->ConsoleOpen());
    log->clear();
    controller.reset();  // a second teardown does not ask the device again
    EXPECT_EQ(std::count_if(log->begin(), log->end(),
                            [](const SSessionCall& c) { return c.op == "RequestWait"; }),
              0);
}

TEST_F(ConnectionController, NewParametersFromTheSessionReopenLaterAndTellTheHost) {
    ConnectTo("sim:");
    log->clear();
    controller->OnConnectionParamsChanged(W("tcp:10.0.0.2:23"));
    EXPECT_TRUE(log->empty()) << "never inside the event";
    ASSERT_EQ(host->calls.size(), 1u);
    EXPECT_EQ(host->calls[0].name, "IWBENVUpdateConnectionParams");
    EXPECT_EQ(host->calls[0].text, W("tcp:10.0.0.2:23"));
    ASSERT_EQ(deferred->size(), 1u);
    EXPECT_EQ((*deferred)[0].first, 10u);
    (*deferred)[0].second();
    ASSERT_EQ(Ops(), (std::vector<std::string>{"Close", "Open"}));
    EXPECT_EQ((*log)[1].text, W("tcp:10.0.0.2:23"));
    EXPECT_EQ((*log)[1].clientName, WideString()) << "no client name, no options, no connect";

    // A reopen still waiting when the console goes does nothing.
    controller->OnConnectionParamsChanged(W("sim:"));
    controller.reset();
    log->clear();
    deferred->back().second();
    EXPECT_TRUE(log->empty());
}

TEST_F(ConnectionController, AnAbilityIsTheConsolesOwnUntilItCompletesWhateverItsResult) {
    OpenConsole();
    Post(UM_ABILITY, 0, 0, CPayload::Make(ByteString("ProgramRestart")));
    ASSERT_EQ(Ops(), std::vector<std::string>{"Ability"});
    EXPECT_EQ((*log)[0].text, W("ProgramRestart"));
    EXPECT_EQ((*log)[0].value, 1000);
    const std::uint32_t first = session->nextRequestId - 1;
    EXPECT_EQ(store.OwnIds(), std::vector<std::uint32_t>{first}) << "registered before completion";
    Post(UM_ABILITY, 0, 0, CPayload::Make(ByteString("DevInfo")));
    const std::uint32_t second = session->nextRequestId - 1;

    controller->OnAbilityCompleted(first, 0, true);
    controller->OnAbilityCompleted(second, 0, false);
    channel.DrainPending();
    EXPECT_TRUE(store.OwnIds().empty()) << "both removed, the failed one too";
    ASSERT_EQ(shown->size(), 1u) << "only the failure is shown";
    EXPECT_EQ((*shown)[0].caption, "standard error");
    EXPECT_EQ((*shown)[0].requestId, second);
}

TEST_F(ConnectionController, WithoutAConnectionAnAbilityShowsErrorZeroAndAGroupNothing) {
    Post(UM_ABILITY, 0, 0, CPayload::Make(ByteString("DevInfo")));
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "standard error");
    EXPECT_EQ((*shown)[0].requestId, 0u);
    EXPECT_TRUE(store.OwnIds().empty());
    Post(UM_ABILITY_GROUP, 0, 0, CPayload::Make(ByteString("nothing")));
    EXPECT_EQ(shown->size(), 1u) << "dropped, not even the unknown-group box";
}

TEST_F(ConnectionController, AbilityGroupsAreFoundInAnyLetterCase) {
    class CGroupRecorder final : public CConnectionController {
      public:
        using CConnectionController::CConnectionController;
        std::vector<EAbilityGroup> groups;

      protected:
        void ShowAbilityGroup(std::uint32_t, std::uint32_t, EAbilityGroup group) override {
            groups.push_back(group);
        }
    };
    SSessionServices services;
    services.factory = [this] {
        SSessionCreation created;
        auto fake = std::make_unique<CFakeSession>(log);
        session = fake.get();
        created.session = std::move(fake);
        return created;
    };
    services.ui = std::make_unique<CRecordingUi>(shown);
    services.deferred = std::make_unique<CManualDeferredCalls>(deferred);
    controller = std::make_unique<CGroupRecorder>(channel, std::move(services));
    auto& recorder = static_cast<CGroupRecorder&>(*controller);
    OpenConsole();
    Post(UM_ABILITY_GROUP, 0, 0, CPayload::Make(ByteString("sYsTeMcLoCk")));
    EXPECT_EQ(recorder.groups, std::vector<EAbilityGroup>{EAbilityGroup::SystemClock});
    Post(UM_ABILITY_GROUP, 0, 0, CPayload::Make(ByteString("Clock")));
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "Error");
    EXPECT_EQ((*shown)[0].text, "Unknown ability group dialog.");
    EXPECT_EQ(recorder.groups.size(), 1u);
}

// The history's marks, oldest first.
std::vector<std::string> Marks(const CDataStore& store) {
    std::vector<std::string> marks;
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        const auto record = store.Record(i);
        if (record && record->ownerId == kMarkOwnerId) {
            marks.emplace_back(record->bytes);
            EXPECT_EQ(record->direction, 2u) << "outgoing-looking";
        }
    }
    return marks;
}

TEST_F(ConnectionController, ALostLinkAndItsReturnLeaveOneMarkEach) {
    test::CTempDir dir;
    SLogRequest logging;
    logging.binaryEnabled = true;
    logging.binaryPath = dir.File("live.wblog");
    ASSERT_EQ(store.StartLogging(logging), 0u);
    ConnectTo("serial:/dev/ttyUSB0,9600");
    session->SetLink(3);
    clock.SetCalendarSeconds(FromLocalSystemTime({2026, 12, 0, 8, 14, 7, 9, 0}).value());
    session->SetLink(4);
    controller->OnLinkWaiting(static_cast<std::int32_t>(ENxrLinkWait::Waiting),
                              "/dev/ttyUSB0 (serial number A1B2)");
    EXPECT_TRUE(controller->WaitingForLink());
    session->SetLink(4);  // told again: still one mark
    EXPECT_EQ(Marks(store), std::vector<std::string>{"-- link lost 14:07:09 --"});

    clock.SetCalendarSeconds(clock.CalendarSeconds() + 22);
    controller->OnLinkWaiting(static_cast<std::int32_t>(ENxrLinkWait::Back), "/dev/ttyUSB1");
    session->SetLink(3);
    EXPECT_FALSE(controller->WaitingForLink());
    EXPECT_EQ(Marks(store), (std::vector<std::string>{"-- link lost 14:07:09 --",
                                                      "-- back on /dev/ttyUSB1 14:07:31 --"}));

    // Back by the Reconnect command, not by waiting: named by the connection.
    session->SetLink(4);
    controller->OnLinkWaiting(static_cast<std::int32_t>(ENxrLinkWait::Stopped), "/dev/ttyUSB1");
    EXPECT_FALSE(controller->WaitingForLink());
    session->SetLink(2);
    session->SetLink(3);
    ASSERT_EQ(Marks(store).size(), 4u);
    EXPECT_EQ(Marks(store)[3], "-- back on /dev/ttyUSB0 14:07:31 --");

    // The binary log holds them as the history does.
    store.StopLogging();
    CDataStore loaded(channel, clock);
    ASSERT_TRUE(loaded.LoadLog(logging.binaryPath).accepted);
    EXPECT_EQ(Marks(loaded), Marks(store));
}

TEST_F(ConnectionController, ADeviceBackUnderAnotherNameIsReopenedAndConnected) {
    ConnectTo("serial:/dev/ttyUSB0,9600,7E1");
    session->SetLink(3);
    log->clear();
    host->calls.clear();
    controller->OnConnectionParamsChanged(W("serial:/dev/ttyUSB1,9600,7E1"));
    EXPECT_TRUE(log->empty()) << "never inside the event";
    ASSERT_EQ(host->calls.size(), 1u);
    EXPECT_EQ(host->calls[0].name, "IWBENVUpdateConnectionParams");
    EXPECT_EQ(host->calls[0].text, W("serial:/dev/ttyUSB1,9600,7E1"));
    ASSERT_EQ(deferred->size(), 1u);
    EXPECT_EQ((*deferred)[0].first, 10u);
    (*deferred)[0].second();
    ASSERT_EQ(Ops(), (std::vector<std::string>{"Close", "Open", "SetOption", "SetOption",
                                               "SetOption", "Request"}));
    EXPECT_EQ((*log)[1].text, W("serial:/dev/ttyUSB1,9600,7E1"));
    EXPECT_EQ((*log)[1].clientName, WideString());
    EXPECT_EQ((*log)[5].code, nxr_request::Connect);
    EXPECT_EQ(controller->ConnectionSpec().m_device, "/dev/ttyUSB1");
}

TEST_F(ConnectionController, StopWaitingAndTheWaitLimitReachTheSession) {
    controller->SetOptions({.outgoingCRToCRLF = false, .waitForDeviceSeconds = 90});
    ConnectTo("tcp:10.0.0.2:23,reconnect=on");
    const auto limit = std::find_if(log->begin(), log->end(), [](const SSessionCall& c) {
        return c.op == "SetOption" && c.code == nxr_option::WaitLimitMs;
    });
    ASSERT_NE(limit, log->end());
    EXPECT_EQ(limit->value, 90000);

    // A limit too long for the option is the longest it holds, not a wrap.
    controller->SetOptions({.outgoingCRToCRLF = false, .waitForDeviceSeconds = 4000000});
    log->clear();
    ConnectTo("tcp:10.0.0.2:23,reconnect=on");
    EXPECT_EQ((*log)[4].value, 0x7FFFFFFF);

    log->clear();
    EXPECT_EQ(controller->StopWaiting(), 0);
    ASSERT_EQ(log->size(), 1u);
    EXPECT_EQ((*log)[0].code, nxr_request::StopWaiting);
    EXPECT_EQ((*log)[0].value, 1000);
}

// The shared link reaches the host's footer as port and clients (encoded
// port * 1000 + clients by the recording host), the note reaches the hook,
// and a new connection (the old session closed) clears what the footer shows.
TEST_F(ConnectionController, SharedLinkReachesTheHostAndEndsWithTheSession) {
    class CNoteRecorder final : public CConnectionController {
      public:
        using CConnectionController::CConnectionController;
        std::vector<std::string> notes;

      protected:
        void OnShareNote(std::string_view note) override { notes.emplace_back(note); }
    };
    SSessionServices services;
    services.factory = [this] {
        SSessionCreation created;
        auto fake = std::make_unique<CFakeSession>(log);
        session = fake.get();
        created.session = std::move(fake);
        return created;
    };
    CNoteRecorder recorder(channel, std::move(services));
    recorder.SetHostEnvironment(host);
    channel.Post(recorder.Handle(), UM_CONNECT, 0, 0, CPayload::Make(W("sim:")));
    channel.DrainPending();
    const auto shares = [&] {
        std::vector<std::int32_t> values;
        for (const auto& call : host->calls) {
            if (call.name == "IWBENVUpdateShareClients") {
                values.push_back(call.value);
            }
        }
        return values;
    };
    recorder.OnShareChanged(5000, 0, {});
    recorder.OnShareChanged(5000, 2, {});
    recorder.OnShareChanged(5000, 1, "the shared link's client 127.0.0.1:4000 read too slowly");
    EXPECT_EQ(recorder.SharePort(), 5000);
    EXPECT_EQ(recorder.ShareClients(), 1);
    ASSERT_EQ(recorder.notes.size(), 1u);
    EXPECT_NE(recorder.notes[0].find("too slowly"), std::string::npos);

    channel.Post(recorder.Handle(), UM_CONNECT, 0, 0, CPayload::Make(W("sim:")));
    channel.DrainPending();
    EXPECT_EQ(shares(), (std::vector<std::int32_t>{5000000, 5000002, 5000001, 0}));
    EXPECT_EQ(recorder.SharePort(), 0);
    EXPECT_EQ(recorder.ShareClients(), 0);
}

}  // namespace
}  // namespace quillpad
