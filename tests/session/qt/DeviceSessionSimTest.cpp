// The whole road of a console's connection on our session engine: the
// simulated controller in-process, and the simulator program over TCP where
// a real transport matters.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include <QApplication>
#include <QMessageBox>
#include <QTcpServer>
#include <QTimer>

#include "devsim/qt/CDevSimTransport.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"
#include "nxr/qt/CNxrSession.h"
#include "platform/qt/CQtMessageChannel.h"
#include "session/CConnectionController.h"
#include "session/qt/CQtSessionUi.h"
#include "tests/nxr/qt/DevSimProcess.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/session/SessionDoubles.h"

namespace quillpad {
namespace {

using test::CRecordingHost;
using test::CRecordingUi;
using test::SShownBox;
using test::WaitFor;

WideString W(std::string_view text) {
    return BytesToWide(text);
}

// Passes every call on to our session object and notes it in a trace that
// the controller's events share, so the test sees their order.
class CTracingSession final : public INxrSession2 {
  public:
    explicit CTracingSession(std::shared_ptr<std::vector<std::string>> trace)
        : m_trace(std::move(trace)) {}
    CNxrSession& Real() { return m_real; }

    void Advise(INxrSessionEvents* sink) override { m_real.Advise(sink); }
    std::int32_t Open(const WideString& spec, const WideString& client, NxrHandle* h) override {
        m_trace->push_back("Open " + WideToBytes(spec));
        return m_real.Open(spec, client, h);
    }
    std::int32_t Close(NxrHandle* h) override {
        m_trace->push_back("Close");
        return m_real.Close(h);
    }
    std::int32_t RequestWait(std::uint32_t code, const ByteString& p, ByteString* r, std::int32_t t,
                             std::int32_t x, NxrHandle* h) override {
        m_trace->push_back("RequestWait " + NxrRequestName(code));
        return m_real.RequestWait(code, p, r, t, x, h);
    }
    std::int32_t Request(std::uint32_t code, const ByteString& p, std::int32_t t, std::uint32_t* id,
                         const WideString* text, std::int32_t x, NxrHandle* h) override {
        m_trace->push_back("Request " + NxrRequestName(code));
        return m_real.Request(code, p, t, id, text, x, h);
    }
    std::int32_t Ability(std::int32_t a, const WideString& n, std::int32_t t, std::uint32_t* id,
                         std::int32_t b, std::int32_t c, NxrHandle* h) override {
        return m_real.Ability(a, n, t, id, b, c, h);
    }
    std::int32_t Cancel(std::uint32_t id, std::int32_t how, NxrHandle* h) override {
        return m_real.Cancel(id, how, h);
    }
    std::int32_t Send(const WideString& text, std::int32_t t, NxrHandle* h) override {
        return m_real.Send(text, t, h);
    }
    std::int32_t AbilityInfo(std::uint32_t* a, std::uint32_t* b, NxrHandle* h) override {
        return m_real.AbilityInfo(a, b, h);
    }
    std::int32_t SetOption(std::uint32_t o, std::int32_t v, NxrHandle* h) override {
        return m_real.SetOption(o, v, h);
    }
    std::int32_t SetTextSetting(const WideString& text) override {
        return m_real.SetTextSetting(text);
    }
    std::string ErrorText(std::uint32_t id) const override { return m_real.ErrorText(id); }
    std::uint16_t ConnectionStatus() const override { return m_real.ConnectionStatus(); }

  private:
    CNxrSession m_real;
    std::shared_ptr<std::vector<std::string>> m_trace;
};

class CTestController final : public CConnectionController {
  public:
    CTestController(CMessageChannel& channel, SSessionServices services,
                    std::shared_ptr<std::vector<std::string>> trace)
        : CConnectionController(channel, std::move(services)), m_trace(std::move(trace)) {}

    std::int32_t OnRequestCompleted(std::uint32_t id, std::uint32_t code, bool success,
                                    std::int32_t extra,
                                    const std::optional<WideString>& text) override {
        m_trace->push_back("Completed " + NxrRequestName(code) + (success ? " ok" : " failed"));
        return CConnectionController::OnRequestCompleted(id, code, success, extra, text);
    }
    std::int32_t OnLinkUp() override {
        if (dropLinkFirst) {
            Disconnect();  // the device goes away as its console is asked for
        }
        return CConnectionController::OnLinkUp();
    }
    bool dropLinkFirst = false;

  private:
    std::shared_ptr<std::vector<std::string>> m_trace;
};

class DeviceSessionSim : public ::testing::Test {
  protected:
    DeviceSessionSim() : store(channel) {
        RegisterDevSimTransport();
        SSessionServices services;
        services.factory = [this] {
            auto s = std::make_unique<CTracingSession>(trace);
            session = s.get();
            return SSessionCreation{std::move(s), {}};
        };
        services.ui = std::make_unique<CRecordingUi>(shown);
        services.deferred = std::make_unique<CQtDeferredCalls>();
        controller = std::make_unique<CTestController>(channel, std::move(services), trace);
        controller->SetDataStore(&store);
        controller->SetHostEnvironment(host);
    }

    void OpenConsole(const std::string& spec) {
        controller->SetConnectionParameters(W(spec));
        ASSERT_TRUE(WaitFor([&] { return controller->ConsoleOpen(); })) << Trace();
    }
    void Type(std::string_view text) {
        for (char c : text) {
            channel.Post(controller->Handle(), UM_SEND_CHAR, 0, static_cast<unsigned char>(c));
        }
    }
    ByteString Bytes(std::uint32_t direction) const {
        ByteString all;
        for (std::size_t i = 0; i < store.RecordCount(); ++i) {
            const auto r = store.Record(i);
            if (r->direction == direction) {
                all.append(r->bytes);
            }
        }
        return all;
    }
    bool Received(std::string_view text) const { return Bytes(1).find(text) != ByteString::npos; }
    std::string Trace() const {
        std::string all;
        for (const auto& t : *trace) {
            all += t + "; ";
        }
        return all;
    }
    std::ptrdiff_t Index(const std::string& entry, std::size_t from = 0) const {
        for (std::size_t i = from; i < trace->size(); ++i) {
            if ((*trace)[i] == entry) {
                return static_cast<std::ptrdiff_t>(i);
            }
        }
        return -1;
    }

    CQtMessageChannel channel;
    CDataStore store;
    std::shared_ptr<std::vector<std::string>> trace = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<std::vector<SShownBox>> shown = std::make_shared<std::vector<SShownBox>>();
    std::shared_ptr<CRecordingHost> host = std::make_shared<CRecordingHost>();
    CTracingSession* session = nullptr;
    std::unique_ptr<CTestController> controller;
};

TEST_F(DeviceSessionSim, TheWholeRoadFromParametersToRecords) {
    OpenConsole("sim:name=QX-9");
    CNxrSession& real = session->Real();
    EXPECT_EQ(real.ClientName(), W("Quillpad Workbay Plugin"));
    EXPECT_EQ(real.TextSetting(), W("%D"));
    EXPECT_EQ(real.Option(1), 29567);
    EXPECT_EQ(real.Option(2), 15);
    EXPECT_EQ(controller->ConnectionStatus(), 3u);
    EXPECT_EQ(controller->ConnectionSpec().Kind(), ENxrConnectionKind::Simulated);
    EXPECT_GE(Index("Request open console"), Index("Completed connect ok"));
    std::vector<std::int32_t> statuses;
    for (const auto& call : host->calls) {
        if (call.name == "IWBENVUpdateConnectionStatus") {
            statuses.push_back(call.value);
        }
    }
    EXPECT_EQ(statuses, (std::vector<std::int32_t>{2, 3}));

    // Typed with CR to CR LF off: 13 alone.
    Type("ver\r");
    ASSERT_TRUE(WaitFor([&] { return Received("QX-9 firmware"); })) << Bytes(1);
    EXPECT_EQ(Bytes(2), "ver\r");
    // On: 13 10, for typed characters only; pasted text goes unchanged.
    controller->SetOptions({.outgoingCRToCRLF = true});
    Type("info\r");
    channel.Post(controller->Handle(), UM_SEND_TEXT, 0, 0, CPayload::Make(ByteString("time\r")));
    ASSERT_TRUE(WaitFor([&] { return Bytes(2).size() >= 15; }));
    EXPECT_EQ(Bytes(2), "ver\rinfo\r\ntime\r");
    EXPECT_TRUE(shown->empty());

    // Each record has the side that said it: the outgoing ones together are
    // exactly what was typed (above), the device's answer is incoming, and it
    // is stored after the question.
    std::optional<std::size_t> firstTyped;
    std::optional<std::size_t> firstAnswer;
    for (std::size_t i = 0; i < store.RecordCount(); ++i) {
        const auto r = store.Record(i);
        EXPECT_TRUE(r->direction == 1 || r->direction == 2) << r->direction;
        if (r->direction == 2 && !firstTyped) {
            firstTyped = i;
        }
        if (std::string_view(r->bytes).find("firmware") != std::string_view::npos) {
            EXPECT_EQ(r->direction, 1u) << r->bytes;
            firstAnswer = firstAnswer.value_or(i);
        }
        EXPECT_EQ(r->source, 1u) << "the console's own traffic";
        EXPECT_EQ(r->sequence, i);
    }
    ASSERT_TRUE(firstTyped && firstAnswer);
    EXPECT_LT(*firstTyped, *firstAnswer);
}

TEST_F(DeviceSessionSim, EveryByteValueComesInAsItsOwnCharacter) {
    OpenConsole("sim:");
    Type("burst 512\r");
    ASSERT_TRUE(WaitFor([&] { return Received("burst done 512"); }));
    EXPECT_NE(Bytes(1).find(test::AllByteValues(2)), ByteString::npos);
}

TEST_F(DeviceSessionSim, NewParametersWhileOpenReconnectOnlyAfterTheConsoleCloses) {
    OpenConsole("sim:");
    trace->clear();
    controller->SetConnectionParameters(W("sim:name=QX-7"));
    EXPECT_EQ(*trace, std::vector<std::string>{"Request close console"}) << Trace();
    EXPECT_TRUE(controller->ConsoleOpen());
    ASSERT_TRUE(WaitFor([&] {
        return controller->ConsoleOpen() && session->Real().Spec().m_simName == "QX-7";
    })) << Trace();
    const auto completed = Index("Completed close console ok");
    const auto open = Index("Open sim:name=QX-7");
    ASSERT_GE(completed, 0) << Trace();
    EXPECT_GT(Index("Close"), completed) << "nothing closes before the console did: " << Trace();
    EXPECT_GT(open, Index("Close")) << Trace();
    EXPECT_GT(Index("Request open console", open), open) << Trace();

    Type("ver\r");
    EXPECT_TRUE(WaitFor([&] { return Received("QX-7 firmware"); }));
}

TEST_F(DeviceSessionSim, NewParametersWhileClosedReconnectAtOnce) {
    controller->SetConnectionParameters(W("sim:name=QX-1"));
    ASSERT_TRUE(WaitFor([&] { return controller->ConsoleOpen(); }));
    EXPECT_EQ(Index("Request close console"), -1);
    EXPECT_EQ(Index("Open sim:name=QX-1"), 1) << Trace();  // after the first Close
}

TEST_F(DeviceSessionSim, AFailedOpenShowsTheStandardErrorWithErrorZero) {
    controller->SetConnectionParameters(W("tcp:127.0.0.1"));
    ASSERT_TRUE(WaitFor([&] { return !shown->empty(); }));
    ASSERT_EQ(shown->size(), 1u);
    EXPECT_EQ((*shown)[0].caption, "standard error");
    EXPECT_EQ((*shown)[0].requestId, 0u);
    EXPECT_NE((*shown)[0].text.find("no port given"), std::string::npos) << (*shown)[0].text;
    EXPECT_EQ(controller->ConnectionHandle(), 0u);
    EXPECT_FALSE(controller->ConsoleOpen());
}

TEST_F(DeviceSessionSim, ARefusedConnectionShowsTheErrorOfItsRequest) {
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }  // nobody listens there now
    controller->SetConnectionParameters(W("tcp:127.0.0.1:" + std::to_string(port)));
    ASSERT_TRUE(WaitFor([&] { return !shown->empty(); }));
    EXPECT_NE((*shown)[0].requestId, 0u);
    EXPECT_NE((*shown)[0].text.find("refused"), std::string::npos) << (*shown)[0].text;
    EXPECT_FALSE(controller->ConsoleOpen());
}

TEST_F(DeviceSessionSim, AFailedOpenConsoleRequestShowsNoConsoleOnce) {
    controller->dropLinkFirst = true;
    controller->SetConnectionParameters(W("sim:"));
    ASSERT_TRUE(WaitFor([&] { return Index("Completed open console failed") >= 0; })) << Trace();
    // A marker down the same road: a request the session fails, whose error
    // box comes after every box the failed open could still bring.
    std::uint32_t marker = 0;
    ASSERT_EQ(session->Request(0x7777, NxrEmptyParamBlock(), -1, &marker, nullptr, 0,
                               controller->ConnectionHandlePtr()),
              0);
    ASSERT_TRUE(WaitFor([&] { return !shown->empty() && shown->back().requestId == marker; }));
    ASSERT_EQ(shown->size(), 2u) << "more than one box before the marker's";
    EXPECT_EQ((*shown)[0].caption, "No console");
    EXPECT_EQ((*shown)[0].text, kNoConsoleText);
    EXPECT_FALSE(controller->ConsoleOpen());
}

TEST_F(DeviceSessionSim, NewParametersFromTheSessionReopenAfterTheTimer) {
    OpenConsole("sim:");
    trace->clear();
    controller->OnConnectionParamsChanged(W("sim:name=QX-5"));
    EXPECT_TRUE(trace->empty()) << "nothing inside the event";
    ASSERT_TRUE(WaitFor([&] { return session->Real().Spec().m_simName == "QX-5"; }));
    ASSERT_GE(trace->size(), 3u) << Trace();
    EXPECT_EQ((*trace)[0], "Close");
    EXPECT_EQ((*trace)[1], "Open sim:name=QX-5");
    EXPECT_EQ(session->Real().ClientName(), WideString());
    // The link was up: the reopened one connects and opens the console again.
    EXPECT_EQ((*trace)[2], "Request connect") << Trace();
    ASSERT_TRUE(WaitFor([&] { return controller->ConsoleOpen(); })) << Trace();
    EXPECT_EQ(controller->ConnectionSpec().m_simName, "QX-5");
    const auto told = std::find_if(host->calls.begin(), host->calls.end(), [](const auto& c) {
        return c.name == "IWBENVUpdateConnectionParams";
    });
    ASSERT_NE(told, host->calls.end());
    EXPECT_EQ(told->text, W("sim:name=QX-5"));
}

TEST_F(DeviceSessionSim, TeardownClosesTheDevicesConsoleFirst) {
    OpenConsole("sim:");
    trace->clear();
    controller.reset();
    ASSERT_GE(trace->size(), 2u);
    EXPECT_EQ((*trace)[0], "RequestWait close console");
    EXPECT_EQ((*trace)[1], "Close");
}

TEST_F(DeviceSessionSim, TheWholeRoadOverTcpToTheSimulatorProgram) {
    test::CDevSimProcess device;
    ASSERT_TRUE(device.Start({"--tcp", "0"})) << device.Error();
    OpenConsole("tcp:" + device.Where());
    EXPECT_EQ(controller->ConnectionSpec().Kind(), ENxrConnectionKind::Tcp);
    controller->SetOptions({.outgoingCRToCRLF = true});
    Type("ver\r");
    ASSERT_TRUE(WaitFor([&] { return Received("firmware"); })) << Bytes(1);
    EXPECT_EQ(Bytes(2), "ver\r\n");
    Type("burst 256\r");
    ASSERT_TRUE(WaitFor([&] { return Received("burst done 256"); }));
    EXPECT_NE(Bytes(1).find(test::AllByteValues()), ByteString::npos);

    // The device goes away: the host hears the link drop; a send then says why.
    device.Kill();
    // The session knows it first; the host hears it with the event.
    ASSERT_TRUE(WaitFor([&] { return host->calls.back().value == 4; }));
    EXPECT_EQ(controller->ConnectionStatus(), 4u);
    channel.Post(controller->Handle(), UM_SEND_TEXT, 0, 0, CPayload::Make(ByteString("x")));
    ASSERT_TRUE(WaitFor([&] { return !shown->empty(); }));
    EXPECT_EQ((*shown)[0].requestId, 0u);
    EXPECT_NE((*shown)[0].text.find("cannot send 1 bytes"), std::string::npos) << (*shown)[0].text;
}

// The real boxes: each is modal, so a timer reads and closes it.
class QtSessionUi : public ::testing::Test {
  protected:
    void CloseBoxesAsTheyOpen() {
        m_watch.setInterval(20);
        QObject::connect(&m_watch, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                // Marked, not compared by address: the next box may be
                // made where the last one was.
                if (!box->property("quillpad.seen").toBool()) {
                    box->setProperty("quillpad.seen", true);
                    seen.emplace_back(box, box->windowTitle() + "|" + box->text());
                    box->accept();
                }
            }
        });
        m_watch.start();
    }
    QTimer m_watch;
    std::vector<std::pair<QMessageBox*, QString>> seen;
};

TEST_F(QtSessionUi, NoConsoleIsOneRealBoxWithItsCaptionAndText) {
    CloseBoxesAsTheyOpen();
    CQtMessageChannel channel;
    CConnectionController controller(channel, MakeQtSessionServices());
    channel.Post(controller.Handle(), UM_NO_CONSOLE, 0, 5);
    ASSERT_TRUE(WaitFor([&] { return !seen.empty(); }));
    // A marker box posted after the first one showed: anything more that
    // message brought was posted before it. Boxes may nest, so all must close.
    channel.Post(controller.Handle(), UM_SHOW_ERROR, 0, 7);
    ASSERT_TRUE(WaitFor([&] {
        return seen.back().second.startsWith("Error|") &&
               QApplication::activeModalWidget() == nullptr;
    }));
    ASSERT_EQ(seen.size(), 2u) << "more than the one box and the marker's";
    EXPECT_EQ(seen[0].second, QString("No console|") + QString::fromLatin1(kNoConsoleText));
}

// Message texts name files as the file system has them: a non-ASCII name
// shows as the file manager shows it.
TEST_F(QtSessionUi, AMessageShowsANonAsciiFileNameAsTheFileSystemDecodesIt) {
    CloseBoxesAsTheyOpen();
    QWidget window;
    CQtSessionUi ui(&window);
    ui.ShowMessage("Warning",
                   "Plain Text: /home/u/Pr\xC3\xBC"
                   "fstand-\xCE\xA9.log",
                   EMessageIcon::Warning);
    ui.ShowMessage("Error", "The key set could not be saved to /k/\xE6\x97\xA5.keyset",
                   EMessageIcon::Error);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].second, QString::fromUtf8("Warning|Plain Text: /home/u/Pr\xC3\xBC"
                                                "fstand-\xCE\xA9.log"));
    EXPECT_EQ(seen[1].second,
              QString::fromUtf8("Error|The key set could not be saved to /k/\xE6\x97\xA5.keyset"));
}

TEST_F(QtSessionUi, TheStandardErrorBoxShowsTheSessionsWordsForTheRequest) {
    CloseBoxesAsTheyOpen();
    CQtMessageChannel channel;
    CConnectionController controller(channel, MakeQtSessionServices());
    channel.Post(controller.Handle(), UM_CONNECT, 0, 0, CPayload::Make(W("modem:1")));
    ASSERT_TRUE(WaitFor([&] { return !seen.empty(); }));
    EXPECT_TRUE(seen[0].second.startsWith("Error|bad connection spec \"modem:1\""))
        << seen[0].second.toStdString();
    channel.Post(controller.Handle(), UM_SHOW_ERROR, 0, 7);
    ASSERT_TRUE(WaitFor([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen[1].second, "Error|Request 7 failed, and no reason was recorded.");
}

TEST_F(QtSessionUi, DeferredCallsRunLaterAndNotAfterTheirOwnerWent) {
    int runs = 0;
    bool markerRan = false;
    CQtDeferredCalls marker;
    {
        CQtDeferredCalls calls;
        calls.CallAfter(10, [&] { ++runs; });
        EXPECT_EQ(runs, 0);
        ASSERT_TRUE(WaitFor([&] { return runs == 1; }));
        calls.CallAfter(10, [&] { ++runs; });
        // Due after the call above: once it has run, that one was due too.
        marker.CallAfter(30, [&] { markerRan = true; });
    }
    ASSERT_TRUE(WaitFor([&] { return markerRan; }));
    EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace quillpad
