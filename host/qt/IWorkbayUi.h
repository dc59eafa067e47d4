#pragma once
// What the host asks of the person at the screen: message boxes and the New
// Console dialog. The host's windows reach them only through this interface,
// so that tests answer them without a modal loop.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace quillpad {

enum class EWorkbayMessage { Information, Warning, About };

struct SSerialPortChoice {
    QString device;       // what the connection spec names, "/dev/ttyUSB0"
    QString description;  // shown beside it
};

struct SNewConsoleOptions {
    QStringList plugins;
    QString plugin;            // the one chosen at first
    QList<QByteArray> recent;  // newest first
    QList<SSerialPortChoice> ports;
    // Asked again every second while the dialog is open, so that an adapter
    // plugged in meanwhile shows up; none: the list stays as it was.
    std::function<QList<SSerialPortChoice>()> listPorts;
};

struct SNewConsoleChoice {
    QString plugin;
    QByteArray spec;  // Latin-1
};

class IWorkbayUi {
  public:
    virtual ~IWorkbayUi() = default;
    virtual void ShowMessage(QWidget* parent, EWorkbayMessage kind, const QString& title,
                             const QString& text) = 0;
    // The plug-in and the connection of a new console; nothing when cancelled.
    virtual std::optional<SNewConsoleChoice> AskNewConsole(QWidget* parent,
                                                           const SNewConsoleOptions& options) = 0;
};

}  // namespace quillpad
