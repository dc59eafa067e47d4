#pragma once
// The New Console dialog: which plug-in (when there is a choice) and which
// connection. The connection is built from a serial port and its settings,
// a TCP or telnet host, the simulated controller, or typed as a spec; the
// recent connections are one click away.

#include <QDialog>
#include <QList>

#include "host/qt/IWorkbayUi.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QStackedWidget;

namespace quillpad {

enum class EConnectionKind { Serial, Tcp, Telnet, Sim, Typed };

class CNewConsoleDialog : public QDialog {
    Q_OBJECT

  public:
    // How often the serial ports are listed again while the dialog is open.
    static constexpr int kPortRefreshMs = 1000;

    explicit CNewConsoleDialog(const SNewConsoleOptions& options, QWidget* parent = nullptr);

    void SetKind(EConnectionKind kind);
    EConnectionKind Kind() const;
    // The spec the fields make now; empty when they make none.
    QByteArray Spec() const;
    SNewConsoleChoice Choice() const;
    // Puts the ports listed now into the port box, keeping what is typed;
    // the refresh timer calls it.
    void RefreshPorts();

  private:
    QWidget* MakeSerialPage(const QList<SSerialPortChoice>& ports);
    QWidget* MakeTcpPage();
    QWidget* MakeTelnetPage();
    QWidget* MakeSimPage();
    QWidget* MakeTypedPage();
    QString SerialDevice() const;
    void UseRecent(int row);
    void Update();

    QComboBox* m_plugin = nullptr;
    QComboBox* m_kind = nullptr;
    QStackedWidget* m_pages = nullptr;
    QComboBox* m_serialPort = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_framing = nullptr;
    QComboBox* m_flow = nullptr;
    QLineEdit* m_tcpHost = nullptr;
    QSpinBox* m_tcpPort = nullptr;
    QLineEdit* m_telnetHost = nullptr;
    QSpinBox* m_telnetPort = nullptr;
    QLineEdit* m_simName = nullptr;
    QCheckBox* m_simEcho = nullptr;
    QLineEdit* m_typed = nullptr;
    QListWidget* m_recent = nullptr;
    QLabel* m_preview = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    QList<QByteArray> m_recentSpecs;
    std::function<QList<SSerialPortChoice>()> m_listPorts;
    QList<SSerialPortChoice> m_ports;  // as the box lists them
};

// The serial ports the system lists now, each described by the system's
// words, its maker and its serial number ("FT232R USB UART, FTDI, serial
// A10KX3Z9").
QList<SSerialPortChoice> AvailableSerialPorts();

}  // namespace quillpad
