#include "platform/qt/EnvironmentStream.h"

#include <QCoreApplication>
#include <QPointer>
#include <QVariant>

namespace quillpad {
namespace {

QByteArray PropertyName(std::int32_t token) {
    return "workbay.environment." + QByteArray::number(token);
}

}  // namespace

std::int32_t MarshalEnvironment(QObject* environment) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || environment == nullptr) {
        return 0;
    }
    const std::int32_t token = app->property("workbay.environment.next").toInt() + 1;
    app->setProperty("workbay.environment.next", token);
    app->setProperty(PropertyName(token), QVariant::fromValue(QPointer<QObject>(environment)));
    return token;
}

QObject* UnmarshalEnvironment(std::int32_t token) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || token <= 0) {
        return nullptr;
    }
    const QByteArray name = PropertyName(token);
    const QVariant value = app->property(name);
    app->setProperty(name, QVariant());
    return value.value<QPointer<QObject>>().data();
}

}  // namespace quillpad
