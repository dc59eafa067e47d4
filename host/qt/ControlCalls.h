#pragma once
// The host's calls to a console control, made by name through Qt's
// meta-object system, as a COM host calls a dispatch interface: the host
// links none of the control's code. A method the control lacks (an older
// control) is simply not called.

#include <QByteArray>
#include <QList>
#include <QSize>

#include <optional>

class QAction;
class QObject;

namespace quillpad {

// Sizes of 0 or less in any part mean "no preference" for that part.
struct SWindowSizes {
    QSize minimum;
    QSize maximum;
    QSize preferred;
};

bool HasControlMethod(const QObject* control, const char* signature);

std::optional<SWindowSizes> CallGetWindowSizes(QObject* control);
void CallSetEnvironmentStream(QObject* control, int stream);
void CallLoadSaveData(QObject* control, const QByteArray& data);
void CallSetConnectionParameters(QObject* control, const QByteArray& parameters);
// The saved state, cut to the length the control gives.
std::optional<QByteArray> CallGetSaveData(QObject* control);
bool CallAboutBox(QObject* control);
QList<QAction*> CallInPlaceMenuActions(QObject* control);

}  // namespace quillpad
