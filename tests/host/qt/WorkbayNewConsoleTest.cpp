// The New Console dialog: the specs it builds for each kind of connection,
// the recent connections, and what the host does with its answer.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "host/qt/CConsoleWindow.h"
#include "host/qt/CNewConsoleDialog.h"
#include "host/qt/ConnectionSpecs.h"
#include "host/qt/RecentConnections.h"
#include "nxr/CNxrComSpec.h"
#include "tests/host/qt/WorkbayTestDoubles.h"

namespace quillpad::test {
namespace {

// The session's own parser must read a built spec as that kind of link.
CNxrComSpec Parsed(const QByteArray& spec) {
    CNxrComSpec parsed;
    EXPECT_TRUE(parsed.Parse(spec.toStdString()))
        << spec.toStdString() << ": " << parsed.ErrorText();
    return parsed;
}

TEST(WorkbaySpecs, SerialCarriesPortBaudFramingAndFlow) {
    SSerialSettings settings;
    settings.device = QStringLiteral(" /dev/ttyUSB0 ");
    EXPECT_EQ(SerialSpec(settings), QByteArray("serial:/dev/ttyUSB0,115200,8N1"));

    settings.baud = 9600;
    settings.framing = QStringLiteral("7e1");
    settings.flow = ESerialFlow::RtsCts;
    const QByteArray spec = SerialSpec(settings);
    EXPECT_EQ(spec, QByteArray("serial:/dev/ttyUSB0,9600,7E1,flow=rtscts"));
    const CNxrComSpec parsed = Parsed(spec);
    EXPECT_EQ(parsed.Kind(), ENxrConnectionKind::Serial);
    EXPECT_EQ(parsed.m_baud, 9600);
    EXPECT_EQ(parsed.m_dataBits, 7);
    EXPECT_EQ(parsed.m_parity, ENxrParity::Even);
    EXPECT_EQ(parsed.m_flow, ENxrFlowControl::RtsCts);

    settings.framing = QStringLiteral("8N1.5");
    settings.flow = ESerialFlow::XonXoff;
    EXPECT_EQ(Parsed(SerialSpec(settings)).m_flow, ENxrFlowControl::XonXoff);
    EXPECT_EQ(Parsed(SerialSpec(settings)).m_stopBits, ENxrStopBits::OneAndHalf);

    for (const auto& [device, baud, framing] :
         {std::tuple{"", 115200, "8N1"}, std::tuple{"/dev/x", 0, "8N1"},
          std::tuple{"/dev/x", 115200, "9N1"}, std::tuple{"/dev/x", 115200, "8X1"},
          std::tuple{"/dev/x,y", 115200, "8N1"}}) {
        EXPECT_TRUE(SerialSpec({QString::fromLatin1(device), baud, QString::fromLatin1(framing),
                                ESerialFlow::None})
                        .isEmpty())
            << device << " " << baud << " " << framing;
    }
}

TEST(WorkbaySpecs, TcpAndTelnetCarryHostAndPort) {
    EXPECT_EQ(TcpSpec(QStringLiteral("192.168.1.20"), 2323), QByteArray("tcp:192.168.1.20:2323"));
    EXPECT_EQ(TcpSpec(QStringLiteral("::1"), 2323), QByteArray("tcp:[::1]:2323"));
    const CNxrComSpec v6 = Parsed(TcpSpec(QStringLiteral("::1"), 2323));
    EXPECT_EQ(v6.Kind(), ENxrConnectionKind::Tcp);
    EXPECT_EQ(v6.m_port, 2323);
    EXPECT_EQ(TelnetSpec(QStringLiteral("device.local"), 23), QByteArray("telnet:device.local"));
    EXPECT_EQ(TelnetSpec(QStringLiteral("device.local"), 2424),
              QByteArray("telnet:device.local:2424"));
    const CNxrComSpec telnet = Parsed(TelnetSpec(QStringLiteral("[fe80::2]"), 2424));
    EXPECT_EQ(telnet.Kind(), ENxrConnectionKind::Telnet);
    EXPECT_EQ(telnet.m_port, 2424);

    EXPECT_TRUE(TcpSpec(QString(), 23).isEmpty());
    EXPECT_TRUE(TcpSpec(QStringLiteral("host"), 0).isEmpty());
    EXPECT_TRUE(TcpSpec(QStringLiteral("a host"), 23).isEmpty());
    EXPECT_TRUE(TelnetSpec(QStringLiteral("  "), 23).isEmpty());
    EXPECT_TRUE(TelnetSpec(QStringLiteral("host"), 70000).isEmpty());
}

TEST(WorkbaySpecs, SimNamesOnlyWhatDiffersFromItsDefaults) {
    EXPECT_EQ(SimSpec(QString(), true), QByteArray("sim:"));
    EXPECT_EQ(SimSpec(QStringLiteral("QX-200"), true), QByteArray("sim:"));
    EXPECT_EQ(SimSpec(QStringLiteral("QX-9"), false), QByteArray("sim:name=QX-9,echo=off"));
    const CNxrComSpec parsed = Parsed(SimSpec(QStringLiteral("QX-9"), false));
    EXPECT_EQ(parsed.Kind(), ENxrConnectionKind::Simulated);
    EXPECT_EQ(parsed.m_simName, "QX-9");
    EXPECT_FALSE(parsed.m_simEcho);
    EXPECT_TRUE(SimSpec(QStringLiteral("a,b"), true).isEmpty());
    EXPECT_EQ(TypedSpec(QStringLiteral("  tcp:h:1 ")), QByteArray("tcp:h:1"));
    EXPECT_EQ(TypedSpec(QStringLiteral("telnet:h\u00e9te")), QByteArray("telnet:h\xe9te"));
}

TEST(WorkbayRecent, KeepsTheLastTenNewestFirstEachOnce) {
    CWorkbayHome home;
    CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
    EXPECT_TRUE(LoadRecentConnections(store).isEmpty());
    for (int i = 1; i <= 12; ++i) {
        ASSERT_TRUE(RememberConnection(store, "tcp:h:" + QByteArray::number(i)));
    }
    QList<QByteArray> recent = LoadRecentConnections(store);
    ASSERT_EQ(recent.size(), 10);
    EXPECT_EQ(recent.front(), QByteArray("tcp:h:12"));
    EXPECT_EQ(recent.back(), QByteArray("tcp:h:3"));

    ASSERT_TRUE(RememberConnection(store, "tcp:h:7"));
    recent = LoadRecentConnections(store);
    EXPECT_EQ(recent.size(), 10);
    EXPECT_EQ(recent.front(), QByteArray("tcp:h:7"));
    EXPECT_EQ(recent.count("tcp:h:7"), 1);
    EXPECT_FALSE(RememberConnection(store, QByteArray()));
}

class WorkbayNewConsoleDialog : public ::testing::Test {
  protected:
    SNewConsoleOptions Options() const {
        SNewConsoleOptions options;
        options.plugins = {QStringLiteral("Quillpad2")};
        options.plugin = QStringLiteral("Quillpad2");
        options.recent = {"tcp:10.0.0.2:2323", "sim:name=QX-9"};
        options.ports = {{QStringLiteral("/dev/ttyUSB3"), QStringLiteral("FT232R USB UART")}};
        return options;
    }
    template <typename T>
    static T* Field(QDialog& dialog, const char* name) {
        T* field = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(field, nullptr) << name;
        return field;
    }
    static bool OkEnabled(QDialog& dialog) {
        return dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled();
    }
};

TEST_F(WorkbayNewConsoleDialog, BuildsTheSpecOfTheChosenKind) {
    CNewConsoleDialog dialog(Options());
    EXPECT_EQ(dialog.Kind(), EConnectionKind::Serial) << "a port is there to pick";
    EXPECT_EQ(dialog.Spec(), QByteArray("serial:/dev/ttyUSB3,115200,8N1"));
    Field<QComboBox>(dialog, "WorkbayBaudRate")->setCurrentText(QStringLiteral("9600"));
    Field<QComboBox>(dialog, "WorkbayFraming")->setCurrentText(QStringLiteral("7E1"));
    Field<QComboBox>(dialog, "WorkbayFlow")->setCurrentIndex(1);
    EXPECT_EQ(dialog.Spec(), QByteArray("serial:/dev/ttyUSB3,9600,7E1,flow=rtscts"));
    Field<QComboBox>(dialog, "WorkbaySerialPort")->setEditText(QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(dialog.Spec(), QByteArray("serial:/dev/ttyACM0,9600,7E1,flow=rtscts"));

    dialog.SetKind(EConnectionKind::Tcp);
    EXPECT_FALSE(OkEnabled(dialog)) << "no host yet";
    Field<QLineEdit>(dialog, "WorkbayTcpHost")->setText(QStringLiteral("10.0.0.5"));
    Field<QSpinBox>(dialog, "WorkbayTcpPort")->setValue(4001);
    EXPECT_EQ(dialog.Spec(), QByteArray("tcp:10.0.0.5:4001"));
    EXPECT_TRUE(OkEnabled(dialog));

    dialog.SetKind(EConnectionKind::Telnet);
    Field<QLineEdit>(dialog, "WorkbayTelnetHost")->setText(QStringLiteral("device.local"));
    EXPECT_EQ(dialog.Spec(), QByteArray("telnet:device.local"));

    dialog.SetKind(EConnectionKind::Sim);
    Field<QCheckBox>(dialog, "WorkbaySimEcho")->setChecked(false);
    EXPECT_EQ(dialog.Spec(), QByteArray("sim:echo=off"));

    dialog.SetKind(EConnectionKind::Typed);
    Field<QLineEdit>(dialog, "WorkbayTypedSpec")->setText(QStringLiteral(" telnet:x:99 "));
    EXPECT_EQ(dialog.Choice().spec, QByteArray("telnet:x:99"));
    EXPECT_EQ(dialog.Choice().plugin, QStringLiteral("Quillpad2"));
}

TEST_F(WorkbayNewConsoleDialog, ThePortsAreListedAgainWhileItIsOpen) {
    SNewConsoleOptions options = Options();
    QList<SSerialPortChoice> listed = options.ports;
    options.listPorts = [&listed] { return listed; };
    CNewConsoleDialog dialog(options);
    auto* port = Field<QComboBox>(dialog, "WorkbaySerialPort");
    auto* about = Field<QLabel>(dialog, "WorkbaySerialPortAbout");
    auto* refresh = Field<QTimer>(dialog, "WorkbayPortRefresh");
    ASSERT_NE(refresh, nullptr);
    EXPECT_EQ(refresh->interval(), CNewConsoleDialog::kPortRefreshMs);
    port->setEditText(QStringLiteral("/dev/ttyACM1"));  // typed before the adapter showed up

    listed.append(
        {QStringLiteral("/dev/ttyACM1"), QStringLiteral("CP2102, Silicon Labs, serial 0001")});
    dialog.RefreshPorts();  // what the timer does every second
    ASSERT_EQ(port->count(), 2);
    EXPECT_EQ(port->itemText(1), QStringLiteral("/dev/ttyACM1"));
    EXPECT_EQ(port->currentText(), QStringLiteral("/dev/ttyACM1")) << "the typing stays";
    EXPECT_EQ(about->text(), QStringLiteral("CP2102, Silicon Labs, serial 0001"));
    EXPECT_EQ(dialog.Spec(), QByteArray("serial:/dev/ttyACM1,115200,8N1"));

    listed.removeFirst();   // the other adapter was pulled
    dialog.RefreshPorts();  // what the timer does every second
    ASSERT_EQ(port->count(), 1);
    EXPECT_EQ(port->currentText(), QStringLiteral("/dev/ttyACM1"));
}

TEST_F(WorkbayNewConsoleDialog, ARecentConnectionIsOneClickAway) {
    CNewConsoleDialog dialog(Options());
    auto* recent = Field<QListWidget>(dialog, "WorkbayRecentList");
    ASSERT_EQ(recent->count(), 2);
    recent->setCurrentRow(1);
    EXPECT_EQ(dialog.Kind(), EConnectionKind::Typed);
    EXPECT_EQ(dialog.Spec(), QByteArray("sim:name=QX-9"));
    emit recent->itemActivated(recent->item(0));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Spec(), QByteArray("tcp:10.0.0.2:2323"));
}

TEST_F(WorkbayNewConsoleDialog, ThePluginIsAskedOnlyWhenThereIsAChoice) {
    SNewConsoleOptions options = Options();
    options.ports.clear();
    {
        CNewConsoleDialog dialog(options);
        EXPECT_TRUE(Field<QComboBox>(dialog, "WorkbayPluginBox")->isHidden());
        EXPECT_EQ(dialog.Kind(), EConnectionKind::Sim) << "no port to pick";
        EXPECT_EQ(dialog.Spec(), QByteArray("sim:"));
    }
    options.plugins = {QStringLiteral("Quillpad2"), QStringLiteral("Other")};
    options.plugin = QStringLiteral("Other");
    CNewConsoleDialog dialog(options);
    EXPECT_FALSE(Field<QComboBox>(dialog, "WorkbayPluginBox")->isHidden());
    EXPECT_EQ(dialog.Choice().plugin, QStringLiteral("Other"));
}

TEST(WorkbayNewConsole, TheAnswerOpensAConsoleAndIsRemembered) {
    CHostRig rig;
    RememberConnection(rig.store, "sim:");
    rig.ui.answer = SNewConsoleChoice{QStringLiteral("Quillpad2"), "telnet:device.local"};
    rig.window->NewConsole();
    EXPECT_EQ(rig.ui.lastOptions.recent, QList<QByteArray>({"sim:"}));
    EXPECT_EQ(rig.ui.lastOptions.plugins, QStringList({"Quillpad2"}));
    ASSERT_EQ(rig.window->Consoles().size(), 1);
    EXPECT_EQ(rig.window->Consoles()[0]->ConnectionSpec(), QByteArray("telnet:device.local"));
    rig.plugin.Control(0)->UpdateConnectionStatus(3);
    EXPECT_EQ(LoadRecentConnections(rig.store), QList<QByteArray>({"telnet:device.local", "sim:"}));

    rig.ui.answer.reset();
    rig.window->NewConsole();
    EXPECT_EQ(rig.window->Consoles().size(), 1) << "cancelled";
}

}  // namespace
}  // namespace quillpad::test
