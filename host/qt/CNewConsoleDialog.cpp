#include "host/qt/CNewConsoleDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "host/qt/ConnectionSpecs.h"

namespace quillpad {
namespace {

constexpr int kDescriptionRole = Qt::UserRole + 1;

QSpinBox* PortBox(int value, const QString& name, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(1, 65535);
    box->setValue(value);
    box->setObjectName(name);
    return box;
}

QWidget* FormPage(QFormLayout*& form) {
    auto* page = new QWidget;
    form = new QFormLayout(page);
    form->setContentsMargins(0, 0, 0, 0);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return page;
}

}  // namespace

QList<SSerialPortChoice> AvailableSerialPorts() {
    QList<SSerialPortChoice> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString description = info.description();
        if (!info.manufacturer().isEmpty() && !description.contains(info.manufacturer())) {
            description +=
                (description.isEmpty() ? QString() : QStringLiteral(", ")) + info.manufacturer();
        }
        // Two adapters of one kind differ only here.
        if (!info.serialNumber().isEmpty()) {
            description += (description.isEmpty() ? QString() : QStringLiteral(", ")) +
                           QStringLiteral("serial ") + info.serialNumber();
        }
        ports.append(SSerialPortChoice{info.systemLocation(), description});
    }
    return ports;
}

CNewConsoleDialog::CNewConsoleDialog(const SNewConsoleOptions& options, QWidget* parent)
    : QDialog(parent), m_recentSpecs(options.recent), m_listPorts(options.listPorts) {
    setWindowTitle(QStringLiteral("New Console"));
    setMinimumWidth(480);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QFormLayout;
    m_plugin = new QComboBox(this);
    m_plugin->setObjectName(QStringLiteral("WorkbayPluginBox"));
    m_plugin->addItems(options.plugins);
    m_plugin->setCurrentIndex(std::max(0, int(options.plugins.indexOf(options.plugin))));
    top->addRow(QStringLiteral("&Plug-in:"), m_plugin);
    // With one plug-in there is nothing to choose.
    top->setRowVisible(m_plugin, options.plugins.size() > 1);

    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("WorkbayKindBox"));
    m_kind->addItems({QStringLiteral("Serial port"), QStringLiteral("TCP"),
                      QStringLiteral("Telnet"), QStringLiteral("Simulated controller"),
                      QStringLiteral("Connection spec")});
    top->addRow(QStringLiteral("&Connection:"), m_kind);
    layout->addLayout(top);

    auto* settings = new QGroupBox(QStringLiteral("Settings"), this);
    auto* settingsLayout = new QVBoxLayout(settings);
    m_pages = new QStackedWidget(settings);
    m_pages->addWidget(MakeSerialPage(options.ports));
    m_pages->addWidget(MakeTcpPage());
    m_pages->addWidget(MakeTelnetPage());
    m_pages->addWidget(MakeSimPage());
    m_pages->addWidget(MakeTypedPage());
    settingsLayout->addWidget(m_pages);
    layout->addWidget(settings);

    auto* recentLabel = new QLabel(QStringLiteral("&Recent connections:"), this);
    layout->addWidget(recentLabel);
    m_recent = new QListWidget(this);
    m_recent->setObjectName(QStringLiteral("WorkbayRecentList"));
    for (const QByteArray& spec : options.recent) {
        m_recent->addItem(QString::fromLatin1(spec));
    }
    m_recent->setMaximumHeight(m_recent->fontMetrics().height() * 7);
    recentLabel->setBuddy(m_recent);
    layout->addWidget(m_recent);

    auto* previewRow = new QFormLayout;
    m_preview = new QLabel(this);
    m_preview->setObjectName(QStringLiteral("WorkbaySpecPreview"));
    m_preview->setTextFormat(Qt::PlainText);
    m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_preview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    previewRow->addRow(QStringLiteral("Connection spec:"), m_preview);
    layout->addLayout(previewRow);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Open"));
    layout->addWidget(m_buttons);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_kind, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_pages->setCurrentIndex(index);
        Update();
    });
    connect(m_recent, &QListWidget::currentRowChanged, this, &CNewConsoleDialog::UseRecent);
    connect(m_recent, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        UseRecent(m_recent->row(item));
        if (!Spec().isEmpty()) {
            accept();
        }
    });

    SetKind(options.ports.isEmpty() ? EConnectionKind::Sim : EConnectionKind::Serial);
    Update();
    if (m_listPorts) {
        auto* refresh = new QTimer(this);
        refresh->setObjectName(QStringLiteral("WorkbayPortRefresh"));
        connect(refresh, &QTimer::timeout, this, &CNewConsoleDialog::RefreshPorts);
        refresh->start(kPortRefreshMs);
    }
}

void CNewConsoleDialog::RefreshPorts() {
    QList<SSerialPortChoice> ports = m_listPorts();
    const auto same = [](const QList<SSerialPortChoice>& a, const QList<SSerialPortChoice>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const SSerialPortChoice& x, const SSerialPortChoice& y) {
                              return x.device == y.device && x.description == y.description;
                          });
    };
    if (same(ports, m_ports)) {
        return;
    }
    // The user's choice or typing stays; only the list under it changes.
    const QString current = m_serialPort->currentText();
    {
        const QSignalBlocker quiet(m_serialPort);
        m_serialPort->clear();
        m_ports = std::move(ports);
        for (const SSerialPortChoice& port : m_ports) {
            m_serialPort->addItem(port.device, port.device);
            m_serialPort->setItemData(m_serialPort->count() - 1, port.description,
                                      kDescriptionRole);
            m_serialPort->setItemData(m_serialPort->count() - 1, port.description, Qt::ToolTipRole);
        }
        if (const int index = m_serialPort->findText(current); index >= 0) {
            m_serialPort->setCurrentIndex(index);
        }
        m_serialPort->setEditText(current);
    }
    emit m_serialPort->currentTextChanged(current);  // the description beside it
}

QWidget* CNewConsoleDialog::MakeSerialPage(const QList<SSerialPortChoice>& ports) {
    m_ports = ports;
    QFormLayout* form = nullptr;
    QWidget* page = FormPage(form);
    m_serialPort = new QComboBox(page);
    m_serialPort->setObjectName(QStringLiteral("WorkbaySerialPort"));
    m_serialPort->setEditable(true);
    m_serialPort->setInsertPolicy(QComboBox::NoInsert);
    m_serialPort->lineEdit()->setPlaceholderText(QStringLiteral("/dev/ttyUSB0"));
    for (const SSerialPortChoice& port : ports) {
        m_serialPort->addItem(port.device, port.device);
        m_serialPort->setItemData(m_serialPort->count() - 1, port.description, kDescriptionRole);
        m_serialPort->setItemData(m_serialPort->count() - 1, port.description, Qt::ToolTipRole);
    }
    form->addRow(QStringLiteral("P&ort:"), m_serialPort);
    // What the system says the port is: "FT232R USB UART" tells more than ttyUSB0.
    auto* about = new QLabel(page);
    about->setObjectName(QStringLiteral("WorkbaySerialPortAbout"));
    about->setTextFormat(Qt::PlainText);
    about->setEnabled(false);
    form->addRow(QString(), about);
    const auto describe = [this, about](const QString& device) {
        const int index = m_serialPort->findText(device);
        about->setText(index >= 0 ? m_serialPort->itemData(index, kDescriptionRole).toString()
                                  : QString());
    };
    connect(m_serialPort, &QComboBox::currentTextChanged, about, describe);
    describe(m_serialPort->currentText());

    m_baud = new QComboBox(page);
    m_baud->setObjectName(QStringLiteral("WorkbayBaudRate"));
    m_baud->setEditable(true);
    m_baud->setInsertPolicy(QComboBox::NoInsert);
    m_baud->addItems(CommonBaudRates());
    m_baud->setCurrentText(QStringLiteral("115200"));
    m_baud->setValidator(new QIntValidator(1, 100000000, m_baud));
    form->addRow(QStringLiteral("&Baud rate:"), m_baud);

    m_framing = new QComboBox(page);
    m_framing->setObjectName(QStringLiteral("WorkbayFraming"));
    m_framing->addItems(SerialFramings());
    form->addRow(QStringLiteral("&Framing:"), m_framing);

    m_flow = new QComboBox(page);
    m_flow->setObjectName(QStringLiteral("WorkbayFlow"));
    m_flow->addItems({QStringLiteral("None"), QStringLiteral("RTS/CTS (hardware)"),
                      QStringLiteral("XON/XOFF (software)")});
    form->addRow(QStringLiteral("F&low control:"), m_flow);

    connect(m_serialPort, &QComboBox::currentTextChanged, this, &CNewConsoleDialog::Update);
    connect(m_baud, &QComboBox::currentTextChanged, this, &CNewConsoleDialog::Update);
    connect(m_framing, &QComboBox::currentIndexChanged, this, &CNewConsoleDialog::Update);
    connect(m_flow, &QComboBox::currentIndexChanged, this, &CNewConsoleDialog::Update);
    return page;
}

QWidget* CNewConsoleDialog::MakeTcpPage() {
    QFormLayout* form = nullptr;
    QWidget* page = FormPage(form);
    m_tcpHost = new QLineEdit(page);
    m_tcpHost->setObjectName(QStringLiteral("WorkbayTcpHost"));
    m_tcpHost->setPlaceholderText(QStringLiteral("192.168.1.20"));
    m_tcpPort = PortBox(2323, QStringLiteral("WorkbayTcpPort"), page);
    form->addRow(QStringLiteral("&Host:"), m_tcpHost);
    form->addRow(QStringLiteral("P&ort:"), m_tcpPort);
    connect(m_tcpHost, &QLineEdit::textChanged, this, &CNewConsoleDialog::Update);
    connect(m_tcpPort, &QSpinBox::valueChanged, this, &CNewConsoleDialog::Update);
    return page;
}

QWidget* CNewConsoleDialog::MakeTelnetPage() {
    QFormLayout* form = nullptr;
    QWidget* page = FormPage(form);
    m_telnetHost = new QLineEdit(page);
    m_telnetHost->setObjectName(QStringLiteral("WorkbayTelnetHost"));
    m_telnetHost->setPlaceholderText(QStringLiteral("device.local"));
    m_telnetPort = PortBox(kDefaultTelnetPort, QStringLiteral("WorkbayTelnetPort"), page);
    form->addRow(QStringLiteral("&Host:"), m_telnetHost);
    form->addRow(QStringLiteral("P&ort:"), m_telnetPort);
    connect(m_telnetHost, &QLineEdit::textChanged, this, &CNewConsoleDialog::Update);
    connect(m_telnetPort, &QSpinBox::valueChanged, this, &CNewConsoleDialog::Update);
    return page;
}

QWidget* CNewConsoleDialog::MakeSimPage() {
    QFormLayout* form = nullptr;
    QWidget* page = FormPage(form);
    m_simName = new QLineEdit(page);
    m_simName->setObjectName(QStringLiteral("WorkbaySimName"));
    m_simName->setPlaceholderText(QStringLiteral("QX-200"));
    m_simEcho = new QCheckBox(QStringLiteral("&Echo what it receives"), page);
    m_simEcho->setObjectName(QStringLiteral("WorkbaySimEcho"));
    m_simEcho->setChecked(true);
    form->addRow(QStringLiteral("&Name:"), m_simName);
    form->addRow(QString(), m_simEcho);
    connect(m_simName, &QLineEdit::textChanged, this, &CNewConsoleDialog::Update);
    connect(m_simEcho, &QCheckBox::toggled, this, &CNewConsoleDialog::Update);
    return page;
}

QWidget* CNewConsoleDialog::MakeTypedPage() {
    QFormLayout* form = nullptr;
    QWidget* page = FormPage(form);
    m_typed = new QLineEdit(page);
    m_typed->setObjectName(QStringLiteral("WorkbayTypedSpec"));
    m_typed->setPlaceholderText(QStringLiteral("serial:/dev/ttyUSB0,115200,8N1"));
    form->addRow(QStringLiteral("&Spec:"), m_typed);
    connect(m_typed, &QLineEdit::textChanged, this, &CNewConsoleDialog::Update);
    return page;
}

void CNewConsoleDialog::SetKind(EConnectionKind kind) {
    m_kind->setCurrentIndex(static_cast<int>(kind));
}

EConnectionKind CNewConsoleDialog::Kind() const {
    return static_cast<EConnectionKind>(m_kind->currentIndex());
}

QString CNewConsoleDialog::SerialDevice() const {
    const int index = m_serialPort->currentIndex();
    if (index >= 0 && m_serialPort->currentText() == m_serialPort->itemText(index)) {
        return m_serialPort->itemData(index).toString();
    }
    return m_serialPort->currentText();
}

QByteArray CNewConsoleDialog::Spec() const {
    switch (Kind()) {
        case EConnectionKind::Serial: {
            SSerialSettings settings;
            settings.device = SerialDevice();
            bool ok = false;
            settings.baud = m_baud->currentText().toLongLong(&ok);
            if (!ok) {
                return {};
            }
            settings.framing = m_framing->currentText();
            settings.flow = static_cast<ESerialFlow>(m_flow->currentIndex());
            return SerialSpec(settings);
        }
        case EConnectionKind::Tcp:
            return TcpSpec(m_tcpHost->text(), m_tcpPort->value());
        case EConnectionKind::Telnet:
            return TelnetSpec(m_telnetHost->text(), m_telnetPort->value());
        case EConnectionKind::Sim:
            return SimSpec(m_simName->text(), m_simEcho->isChecked());
        case EConnectionKind::Typed:
            return TypedSpec(m_typed->text());
    }
    return {};
}

SNewConsoleChoice CNewConsoleDialog::Choice() const {
    return {m_plugin->currentText(), Spec()};
}

void CNewConsoleDialog::UseRecent(int row) {
    if (row < 0 || row >= m_recentSpecs.size()) {
        return;
    }
    SetKind(EConnectionKind::Typed);
    m_typed->setText(QString::fromLatin1(m_recentSpecs[row]));
}

void CNewConsoleDialog::Update() {
    if (m_buttons == nullptr) {
        return;  // still being built
    }
    const QByteArray spec = Spec();
    m_preview->setText(spec.isEmpty() ? QStringLiteral("(incomplete)") : QString::fromLatin1(spec));
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!spec.isEmpty());
}

}  // namespace quillpad
