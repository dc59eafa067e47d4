#include "host/qt/CConsoleWindow.h"

#include <QLabel>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

#include "host/qt/CConsoleEnvironment.h"
#include "nxr/CNxrComSpec.h"
#include "nxr/NxrLineScript.h"
#include "platform/qt/EnvironmentStream.h"
#include "platform/qt/IWorkbayPlugin.h"

namespace quillpad {
namespace {

// Only the parts above 0 count; the rest keep what they had.
QSize Chosen(QSize size, QSize fallback) {
    return QSize(size.width() > 0 ? size.width() : fallback.width(),
                 size.height() > 0 ? size.height() : fallback.height());
}

}  // namespace

QString ConnectionStatusText(int status) {
    switch (status) {
        case 1:
            return QStringLiteral("Not connected");
        case 2:
            return QStringLiteral("Connecting");
        case kStatusConnected:
            return QStringLiteral("Connected");
        case 4:
            return QStringLiteral("Link lost");
        default:
            return QStringLiteral("Status %1").arg(status);
    }
}

CConsoleWindow::CConsoleWindow(const QString& pluginName, QWidget* parent)
    : QWidget(parent), m_plugin(pluginName) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_footer = new QStatusBar(this);
    m_footer->setObjectName(QStringLiteral("WorkbayFooter"));
    m_footer->setSizeGripEnabled(false);
    m_statusLabel = new QLabel(m_footer);
    m_statusLabel->setObjectName(QStringLiteral("WorkbayFooterStatus"));
    m_specLabel = new QLabel(m_footer);
    m_specLabel->setObjectName(QStringLiteral("WorkbayFooterSpec"));
    m_specLabel->setTextFormat(Qt::PlainText);
    m_footer->addWidget(m_statusLabel);
    m_noteLabel = new QLabel(m_footer);
    m_noteLabel->setObjectName(QStringLiteral("WorkbayFooterNote"));
    m_noteLabel->setTextFormat(Qt::PlainText);
    // It gives way to the status and the permanent labels; the whole note is its tip.
    m_noteLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_noteLabel->setContentsMargins(12, 0, 0, 0);
    m_footer->addWidget(m_noteLabel, 1);
    m_noteTimer = new QTimer(this);
    m_noteTimer->setSingleShot(true);
    connect(m_noteTimer, &QTimer::timeout, m_noteLabel, [this] {
        m_noteLabel->clear();
        m_noteLabel->setToolTip(QString());
    });
    m_shareLabel = new QLabel(m_footer);
    m_shareLabel->setObjectName(QStringLiteral("WorkbayFooterShare"));
    m_shareLabel->hide();
    m_footer->addPermanentWidget(m_shareLabel);
    for (const char* name : {"CTS", "DSR", "DCD", "RI"}) {
        auto* lamp = new QLabel(QString::fromLatin1(name), m_footer);
        lamp->setObjectName(QStringLiteral("WorkbayFooter") + QString::fromLatin1(name));
        lamp->setAlignment(Qt::AlignCenter);
        lamp->setMinimumWidth(lamp->fontMetrics().horizontalAdvance(QStringLiteral("DCD")) + 10);
        lamp->hide();
        m_footer->addPermanentWidget(lamp);
        m_lamps.push_back(lamp);
    }
    m_flowLabel = new QLabel(m_footer);
    m_flowLabel->setObjectName(QStringLiteral("WorkbayFooterFlow"));
    m_flowLabel->hide();
    m_footer->addPermanentWidget(m_flowLabel);
    m_footer->addPermanentWidget(m_specLabel);
    layout->addWidget(m_footer);
    m_environment = new CConsoleEnvironment(this);
    UpdateTitle();
    UpdateFooter();
}

CConsoleWindow::~CConsoleWindow() = default;

bool CConsoleWindow::CreateControl(IWorkbayPlugin& plugin) {
    QWidget* control = plugin.CreateControl(this);
    if (control == nullptr) {
        return false;
    }
    m_control = control;
    control->setParent(this);
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, control, 1);
    if (const auto sizes = CallGetWindowSizes(control)) {
        ApplySizes(*sizes);
    }
    setFocusProxy(control);
    return true;
}

void CConsoleWindow::Start(const QByteArray& spec, const std::optional<QByteArray>& savedState) {
    m_spec = spec;
    UpdateTitle();
    UpdateFooter();
    if (!m_control) {
        return;
    }
    CallSetEnvironmentStream(m_control, MarshalEnvironment(m_environment));
    if (savedState) {
        CallLoadSaveData(m_control, *savedState);
    }
    CallSetConnectionParameters(m_control, spec);
}

void CConsoleWindow::SetModemLines(int lines) {
    static constexpr std::uint32_t kBits[] = {nxr_line::Cts, nxr_line::Dsr, nxr_line::Dcd,
                                              nxr_line::Ri};
    m_modemLines = lines;
    for (std::size_t i = 0; i < m_lamps.size(); ++i) {
        QLabel* lamp = m_lamps[i];
        lamp->setVisible(lines >= 0);
        const bool lit = lines >= 0 && (static_cast<std::uint32_t>(lines) & kBits[i]) != 0;
        lamp->setProperty("lit", lit);
        lamp->setStyleSheet(lit ? QStringLiteral("QLabel { background: #2f9e44; color: white; "
                                                 "border: 1px solid #237a33; padding: 0 3px; }")
                                : QStringLiteral("QLabel { color: palette(mid); border: 1px solid "
                                                 "palette(mid); padding: 0 3px; }"));
        lamp->setToolTip(lamp->text() +
                         (lit ? QStringLiteral(" is on") : QStringLiteral(" is off")));
    }
}

void CConsoleWindow::SetShareClients(int port, int clients) {
    m_shareLabel->setText(ShareClientsText(port, clients));
    m_shareLabel->setVisible(port != 0);
}

QString CConsoleWindow::StatusText() const {
    return m_statusLabel->text();
}

QString CConsoleWindow::NoteText() const {
    return m_noteLabel->text();
}

bool CConsoleWindow::event(QEvent* event) {
    // The control's notes (a style sheet it could not read, a key set it
    // replaced by the defaults) come as status tips; the main window has no
    // status bar, so they would go nowhere past this window. An empty tip
    // (a menu item left) does not wipe a note the user has not read yet.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        if (!tip.isEmpty()) {
            // One line in the footer (a script's error may hold several);
            // the whole of it is the tip.
            m_noteLabel->setText(QString(tip).replace(QLatin1Char('\n'), QStringLiteral("  ")));
            m_noteLabel->setToolTip(tip);
            m_noteTimer->start(kNoteMilliseconds);
        }
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

bool CConsoleWindow::FooterShown() const {
    return !m_footer->isHidden();
}

std::optional<QByteArray> CConsoleWindow::SaveState() const {
    return CallGetSaveData(m_control);
}

QList<QAction*> CConsoleWindow::InPlaceMenus() const {
    return CallInPlaceMenuActions(m_control);
}

bool CConsoleWindow::ShowAbout() {
    return CallAboutBox(m_control);
}

void CConsoleWindow::SetConnectionStatus(int status) {
    m_status = status;
    UpdateFooter();
    if (status == kStatusConnected && m_onConnected) {
        std::exchange(m_onConnected, nullptr)();
    }
}

void CConsoleWindow::SetConnectionSpec(const QByteArray& spec) {
    m_spec = spec;
    UpdateFooter();
    UpdateTitle();
}

void CConsoleWindow::ShowFooter(bool show) {
    m_footer->setVisible(show);
}

void CConsoleWindow::SetTitleText(const QString& text) {
    m_titleText = text;
    UpdateTitle();
}

void CConsoleWindow::SetTitleTool(const QString& text) {
    m_titleTool = text;
    UpdateTitle();
}

void CConsoleWindow::ApplySizes(const SWindowSizes& sizes) {
    if (!m_control) {
        return;
    }
    m_control->setMinimumSize(Chosen(sizes.minimum, m_control->minimumSize()));
    m_control->setMaximumSize(Chosen(sizes.maximum, m_control->maximumSize()));
    m_preferred = Chosen(sizes.preferred, m_preferred);
    updateGeometry();
}

bool CConsoleWindow::Launch(const QString& plugin, const QByteArray& spec) {
    return m_launcher && m_launcher(plugin.isEmpty() ? m_plugin : plugin, spec);
}

QSize CConsoleWindow::sizeHint() const {
    QSize control = m_control ? m_control->sizeHint() : QSize(400, 300);
    if (m_preferred.width() > 0) {
        control.setWidth(m_preferred.width());
    }
    if (m_preferred.height() > 0) {
        control.setHeight(m_preferred.height());
    }
    if (m_control) {
        control = control.expandedTo(m_control->minimumSize()).boundedTo(m_control->maximumSize());
    }
    if (!m_footer->isHidden()) {
        control.rheight() += m_footer->sizeHint().height();
    }
    return control;
}

void CConsoleWindow::UpdateTitle() {
    const QString address = m_spec.isEmpty() ? m_plugin : QString::fromLatin1(m_spec);
    QString title = m_titleTool.isEmpty() ? address : m_titleTool + QStringLiteral(": ") + address;
    if (!m_titleText.isEmpty()) {
        title += QStringLiteral(" - ") + m_titleText;
    }
    setWindowTitle(title);
}

void CConsoleWindow::UpdateFooter() {
    m_statusLabel->setText(m_status == 0 ? QString() : ConnectionStatusText(m_status));
    m_specLabel->setText(QString::fromLatin1(m_spec));
    // A serial link's flow control, which its spec says only when it is on.
    CNxrComSpec spec(false, false);
    const bool serial =
        spec.Parse(std::string_view(m_spec.constData(), m_spec.size())) &&
        spec.m_nConnectionKind == static_cast<std::uint32_t>(ENxrConnectionKind::Serial);
    m_flowLabel->setVisible(serial);
    if (serial) {
        m_flowLabel->setText(FlowControlText(spec.m_flow));
    }
}

QString ShareClientsText(int port, int clients) {
    if (port == 0) {
        return {};
    }
    return clients == 1 ? QStringLiteral("Shared on port %1: 1 client").arg(port)
                        : QStringLiteral("Shared on port %1: %2 clients").arg(port).arg(clients);
}

QString FlowControlText(ENxrFlowControl flow) {
    switch (flow) {
        case ENxrFlowControl::RtsCts:
            return QStringLiteral("RTS/CTS");
        case ENxrFlowControl::XonXoff:
            return QStringLiteral("XON/XOFF");
        case ENxrFlowControl::None:
            break;
    }
    return QStringLiteral("No flow control");
}

}  // namespace quillpad
