#include "tests/host/qt/WorkbayTestDoubles.h"

#include <QMenu>

#include "platform/qt/EnvironmentStream.h"

namespace quillpad::test {

CStandInControl::CStandInControl(QWidget* parent, const SControlSizes& sizes,
                                 const QString& menuPrefix)
    : QWidget(parent), m_sizes(sizes) {
    for (const char* title : {"Quillpad", "Lo&gging", "C&ommunications"}) {
        auto menu = std::make_unique<QMenu>(QString::fromLatin1(title));
        menu->addAction(menuPrefix + QStringLiteral(" item"));
        menus << menu->menuAction();
        m_menus.push_back(std::move(menu));
    }
}

CStandInControl::~CStandInControl() = default;

void CStandInControl::IWBGetWindowSizes(short* minCx, short* minCy, short* maxCx, short* maxCy,
                                        short* preferredCx, short* preferredCy) {
    calls << QStringLiteral("IWBGetWindowSizes");
    *minCx = m_sizes.minCx;
    *minCy = m_sizes.minCy;
    *maxCx = m_sizes.maxCx;
    *maxCy = m_sizes.maxCy;
    *preferredCx = m_sizes.preferredCx;
    *preferredCy = m_sizes.preferredCy;
}

void CStandInControl::IWBSetConnectionParameters(const QByteArray& value) {
    calls << QStringLiteral("IWBSetConnectionParameters");
    parameters = value;
}

void CStandInControl::IWBSetEnvIDispatchViaStream(int stream) {
    calls << QStringLiteral("IWBSetEnvIDispatchViaStream");
    environment = UnmarshalEnvironment(stream);
}

void CStandInControl::IWBGetSaveData(QByteArray* data, int* length) {
    calls << QStringLiteral("IWBGetSaveData");
    *data = saveData;
    *length = int(saveData.size());
}

void CStandInControl::IWBLoadSaveData(const QByteArray& data, int length) {
    calls << QStringLiteral("IWBLoadSaveData");
    loaded = data;
    loadedLength = length;
}

void CStandInControl::AboutBox() {
    ++aboutBoxes;
}

QList<QAction*> CStandInControl::InPlaceMenuActions() {
    return menus;
}

int CStandInControl::UpdateConnectionStatus(short status) {
    int result = -1;
    QMetaObject::invokeMethod(environment, "IWBENVUpdateConnectionStatus", Qt::DirectConnection,
                              Q_RETURN_ARG(int, result), Q_ARG(short, status));
    return result;
}

int CStandInControl::UpdateConnectionParams(const QString& params) {
    QString copy = params;
    int result = -1;
    QMetaObject::invokeMethod(environment, "IWBENVUpdateConnectionParams", Qt::DirectConnection,
                              Q_RETURN_ARG(int, result), Q_ARG(QString&, copy));
    return result;
}

int CStandInControl::LaunchPlugin(const QString& plugin, const QString& address) {
    int result = -1;
    QMetaObject::invokeMethod(environment, "IWBENVLaunchPlugin", Qt::DirectConnection,
                              Q_RETURN_ARG(int, result), Q_ARG(QString, plugin),
                              Q_ARG(QString, address), Q_ARG(QString, QString()));
    return result;
}

int CStandInControl::SetPluginWindowSize(int minCx, int minCy, int maxCx, int maxCy,
                                         int preferredCx, int preferredCy) {
    int result = -1;
    QMetaObject::invokeMethod(environment, "IWBENVSetPluginWindowSize", Qt::DirectConnection,
                              Q_RETURN_ARG(int, result), Q_ARG(int, minCx), Q_ARG(int, minCy),
                              Q_ARG(int, maxCx), Q_ARG(int, maxCy), Q_ARG(int, preferredCx),
                              Q_ARG(int, preferredCy));
    return result;
}

int CStandInControl::GetCurrentAddress(QString& first, QString& address, QString& third) {
    int result = -1;
    QMetaObject::invokeMethod(environment, "IWBENVGetCurrentAddress", Qt::DirectConnection,
                              Q_RETURN_ARG(int, result), Q_ARG(QString&, first),
                              Q_ARG(QString&, address), Q_ARG(QString&, third));
    return result;
}

int CStandInControl::ShowFrameFooter(int show) {
    int result = -1;
    QMetaObject::invokeMethod(environment, "IWBENVShowFrameFooter", Qt::DirectConnection,
                              Q_RETURN_ARG(int, result), Q_ARG(int, show));
    return result;
}

int CStandInControl::AppendToWindowTitle(const QString& text) {
    int result = -1;
    QMetaObject::invokeMethod(environment, "IWBENVAppendToWindowTitle", Qt::DirectConnection,
                              Q_RETURN_ARG(int, result), Q_ARG(QString, text));
    return result;
}

int CStandInControl::SetWindowTitleTool(const QString& text) {
    int result = -1;
    QMetaObject::invokeMethod(environment, "IWBENVSetWindowTitleTool", Qt::DirectConnection,
                              Q_RETURN_ARG(int, result), Q_ARG(QString, text));
    return result;
}

QWidget* CStandInPlugin::CreateControl(QWidget* parent) {
    if (makesNothing) {
        return nullptr;
    }
    QWidget* control = nullptr;
    if (older) {
        control = new QWidget(parent);
    } else {
        auto* standIn =
            new CStandInControl(parent, sizes, QStringLiteral("console %1").arg(controls.size()));
        if (!saveData.isEmpty()) {
            standIn->saveData = saveData.takeFirst();
        }
        control = standIn;
    }
    controls << control;
    return control;
}

CStandInControl* CStandInPlugin::Control(int index) const {
    return index < controls.size() ? qobject_cast<CStandInControl*>(controls[index].data())
                                   : nullptr;
}

QStringList& CQtWarnings::Collected() {
    static QStringList collected;
    return collected;
}

CQtWarnings::CQtWarnings() {
    Collected().clear();
    m_previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type != QtDebugMsg && type != QtInfoMsg) {
                Collected() << text;
            }
        });
}

CQtWarnings::~CQtWarnings() {
    qInstallMessageHandler(m_previous);
}

}  // namespace quillpad::test
