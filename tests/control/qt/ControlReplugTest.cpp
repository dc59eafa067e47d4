// A console whose serial device is pulled out and plugged in again under
// another name (socat pseudo-terminals behind a replaced port list): the
// session reopens it, the control reopens through its deferred call and
// tells the host the new spec once, the history marks the gap, and typing
// reaches the device on its new name. Stop Waiting ends the wait.

#include <gtest/gtest.h>
#include <QApplication>
#include <QTest>

#include <filesystem>
#include <mutex>

#include "control/qt/CQuillpad2Ctrl.h"
#include "data/SDataRecord.h"
#include "nxr/qt/NxrPortEnumerator.h"
#include "platform/CRegistryStore.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/session/SessionDoubles.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

class CListedPorts final : public INxrPortEnumerator {
  public:
    std::vector<SNxrPortInfo> Ports() override {
        std::lock_guard lock(m_mutex);
        return m_ports;
    }
    // The pair's near end as a USB adapter with one serial number.
    void Plug(const std::string& near) {
        SNxrPortInfo port;
        port.path = std::filesystem::canonical(near).string();
        port.serialNumber = "QX200-0042";
        port.vendorId = 0x0403;
        port.productId = 0x6001;
        std::lock_guard lock(m_mutex);
        m_ports = {port};
    }
    void Unplug() {
        std::lock_guard lock(m_mutex);
        m_ports.clear();
    }

  private:
    std::mutex m_mutex;
    std::vector<SNxrPortInfo> m_ports;
};

class ControlReplug : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::HaveProgram("socat")) {
            QUILLPAD_PEER_MISSING("socat is not installed");
        }
        std::filesystem::remove_all(CRegistryStore::DefaultFolder());
        NxrSetPortEnumerator(ports);
        NxrSetRetryPolicy({.pollMs = 20, .firstMs = 20, .maxMs = 80});
        std::filesystem::create_directory(dir.File("first"));
        std::filesystem::create_directory(dir.File("second"));
        pty = std::make_unique<test::CPtyPeer>(dir.File("first"), false);
        ASSERT_TRUE(pty->Ready());
        ports->Plug(pty->Near());

        SControlServices services;
        services.session.ui = std::make_unique<test::CRecordingUi>(shown);
        services.ui = std::make_unique<test::CQuietControlUi>();
        control = std::make_unique<CQuillpad2Ctrl>(nullptr, std::move(services));
        control->SetHostEnvironment(host);
        control->resize(500, 300);
        control->show();
        control->IWBSetConnectionParameters(
            QByteArray::fromStdString("serial:" + pty->Near() + ",9600,8N2"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return control->ConsoleOpen(); }, 5000));
    }
    void TearDown() override {
        control.reset();
        NxrSetPortEnumerator(nullptr);
        NxrSetRetryPolicy({});
    }
    int HostCalls(const std::string& name) const {
        int n = 0;
        for (const auto& c : host->calls) {
            n += c.name == name ? 1 : 0;
        }
        return n;
    }
    std::vector<std::string> Marks() const {
        std::vector<std::string> marks;
        const CDataStore& store = *control->Store();
        for (std::size_t i = 0; i < store.RecordCount(); ++i) {
            if (const auto r = store.Record(i); r && r->ownerId == kMarkOwnerId) {
                marks.emplace_back(r->bytes);
            }
        }
        return marks;
    }
    bool StopWaitingEnabled() const {
        return CommandState(cmd::StopWaiting, control->CommandContext()).enabled;
    }
    void Unplug() {
        pty->Vanish();
        ports->Unplug();
        ASSERT_TRUE(QTest::qWaitFor([&] { return control->WaitingForLink(); }, 5000));
        EXPECT_EQ(control->ConnectionStatus(), 4u);
        EXPECT_TRUE(StopWaitingEnabled());
    }

    test::CTempDir dir;
    std::shared_ptr<CListedPorts> ports = std::make_shared<CListedPorts>();
    std::unique_ptr<test::CPtyPeer> pty;
    std::shared_ptr<std::vector<test::SShownBox>> shown =
        std::make_shared<std::vector<test::SShownBox>>();
    std::shared_ptr<test::CRecordingHost> host = std::make_shared<test::CRecordingHost>();
    std::unique_ptr<CQuillpad2Ctrl> control;
};

TEST_F(ControlReplug, ADeviceBackUnderAnotherNameIsReopenedAndTheHostTold) {
    Unplug();
    ASSERT_EQ(Marks().size(), 1u);
    EXPECT_TRUE(Marks()[0].starts_with("-- link lost ")) << Marks()[0];

    auto back = std::make_unique<test::CPtyPeer>(dir.File("second"), false);
    ASSERT_TRUE(back->Ready());
    const std::string now = std::filesystem::canonical(back->Near()).string();
    const std::string spec = "serial:" + now + ",9600,8N2";
    ports->Plug(back->Near());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return control->ConsoleOpen() && control->ConnectionStatus() == 3 &&
                   control->ConnectionSpec().m_device == now;
        },
        5000));
    QTest::qWait(100);  // nothing more is told
    ASSERT_EQ(HostCalls("IWBENVUpdateConnectionParams"), 1) << "event 8 once";
    const auto told = std::find_if(host->calls.begin(), host->calls.end(), [](const auto& c) {
        return c.name == "IWBENVUpdateConnectionParams";
    });
    EXPECT_EQ(told->text, BytesToWide(spec));
    EXPECT_EQ(control->ConnectionSpec().m_stopBits, ENxrStopBits::Two);
    EXPECT_FALSE(control->WaitingForLink());
    EXPECT_FALSE(StopWaitingEnabled());
    ASSERT_EQ(Marks().size(), 2u);
    EXPECT_TRUE(Marks()[1].starts_with("-- back on " + now + " ")) << Marks()[1];
    EXPECT_TRUE(shown->empty()) << shown->front().text;

    // The device on its new name hears what is typed.
    back->Start({"sh", "-c", "head -c 2 > typed.txt"});
    QTest::keyClicks(control->View(), "ok");
    ASSERT_TRUE(QTest::qWaitFor([&] { return back->PollExit() >= 0; }, 5000));
    EXPECT_EQ(test::ReadFileBytes(dir.File("second/typed.txt")), "ok");
}

TEST_F(ControlReplug, StopWaitingLeavesTheLinkDown) {
    Unplug();
    control->OnCommand(cmd::StopWaiting);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control->WaitingForLink(); }, 5000));
    EXPECT_FALSE(StopWaitingEnabled());
    auto back = std::make_unique<test::CPtyPeer>(dir.File("second"), false);
    ports->Plug(back->Near());
    QTest::qWait(200);
    EXPECT_EQ(control->ConnectionStatus(), 4u) << "the device back later is not taken";
    EXPECT_EQ(HostCalls("IWBENVUpdateConnectionParams"), 0);
}

}  // namespace
}  // namespace quillpad
