// What the console's keys and pastes put on the wire: a console connected
// over TCP, through our own session, to a peer in the test that keeps every
// byte it is sent.

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <string>

#include "control/qt/CQuillpad2Ctrl.h"
#include "data/DataStore.h"
#include "tests/control/qt/ControlDoubles.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/WorkbayHome.h"
#include "view/qt/CConsoleView.h"

namespace quillpad {
namespace {

using test::WaitFor;

// Answers the history popup with a chosen line.
class CHistoryAnsweringUi final : public test::CQuietControlUi {
  public:
    std::optional<ByteString> RunHistoryPopup(CCommandHistory&, QPoint, QWidget*) override {
        return historyAnswer;
    }
    std::optional<ByteString> historyAnswer;
};

// The device: a listening socket that keeps what it receives.
class CRecordingPeer {
  public:
    CRecordingPeer() {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead,
                                 [this, socket] { m_received += socket->readAll(); });
            }
        });
    }
    std::string Spec() const { return "tcp:127.0.0.1:" + std::to_string(m_server.serverPort()); }
    bool Listening() const { return m_server.isListening(); }
    // Waits until at least `count` bytes came, then gives and forgets them.
    std::string Take(std::size_t count) {
        WaitFor([&] { return static_cast<std::size_t>(m_received.size()) >= count; }, 5000);
        // What comes after the bytes awaited would be a fault too.
        QTest::qWait(50);
        const std::string bytes = m_received.toStdString();
        m_received.clear();
        return bytes;
    }

  private:
    QTcpServer m_server;
    QByteArray m_received;
};

class ConsoleKeysOnTheWire : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Listening());
        SControlServices services;  // our own session object
        auto ui = std::make_unique<CHistoryAnsweringUi>();
        controlUi = ui.get();
        services.ui = std::move(ui);
        services.modifiers = [this] { return modifiers; };
        // Beside another widget that could take the focus.
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(new QLineEdit(&window));
        control = new CQuillpad2Ctrl(&window, std::move(services));
        layout->addWidget(control);
        window.resize(600, 400);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        control->IWBSetConnectionParameters(QByteArray::fromStdString(peer.Spec()));
        ASSERT_TRUE(WaitFor([&] { return control->ConsoleOpen(); }));
        view = control->View();
        ASSERT_EQ(QApplication::focusWidget(), view);
    }
    void TearDown() override { delete control; }

    void Press(Qt::Key key, Qt::KeyboardModifiers held = Qt::NoModifier) {
        modifiers = {(held & Qt::ControlModifier) != 0, (held & Qt::ShiftModifier) != 0,
                     (held & Qt::AltModifier) != 0};
        QTest::keyClick(view, key, held);
        modifiers = {};
        QApplication::processEvents();
    }
    void Paste(const QString& text) {
        QApplication::clipboard()->setText(text);
        Press(Qt::Key_V, Qt::ControlModifier);
    }

    test::CWorkbayHome home;
    CRecordingPeer peer;
    QWidget window;
    CQuillpad2Ctrl* control = nullptr;  // the window's
    CConsoleView* view = nullptr;
    CHistoryAnsweringUi* controlUi = nullptr;
    SKeyModifiers modifiers;
};

TEST_F(ConsoleKeysOnTheWire, TabIsSentAndTheFocusStays) {
    QTest::keyClicks(view, "a");
    Press(Qt::Key_Tab);
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClicks(view, "b");
    EXPECT_EQ(peer.Take(4), "a\t\tb");
    EXPECT_EQ(QApplication::focusWidget(), view) << "Tab moved the focus";
}

TEST_F(ConsoleKeysOnTheWire, CtrlCInterruptsWithoutASelectionAndCopiesWithOne) {
    control->Store()->AddIncomingBytes(0, "shown");
    QApplication::processEvents();
    QApplication::clipboard()->setText(QStringLiteral("before"));
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(peer.Take(1), "\x03");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));

    view->SelectAll();
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("shown"));
    // Ctrl+Insert copies and never sends, with or without a selection.
    QApplication::clipboard()->clear();
    Press(Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("shown"));
    view->SetSelection(0, 0);
    Press(Qt::Key_Insert, Qt::ControlModifier);
    QTest::keyClicks(view, "z");
    EXPECT_EQ(peer.Take(1), "z") << "nothing but the marker went out";
}

TEST_F(ConsoleKeysOnTheWire, PastedAndResentLinesEndWithCarriageReturn) {
    Paste(QStringLiteral("ver\nburst 4\n"));
    EXPECT_EQ(peer.Take(14), "ver\r\nburst 4\r\n");
    Paste(QStringLiteral("a\r\nb\rc"));
    EXPECT_EQ(peer.Take(6), "a\r\nb\rc") << "CR LF and a lone CR go as they are";

    // A history line that holds a line end: as pasted, then Enter's CR.
    controlUi->historyAnswer = ByteString("one\ntwo");
    Press(Qt::Key_Up);
    EXPECT_EQ(peer.Take(9), "one\r\ntwo\r");
}

}  // namespace
}  // namespace quillpad
