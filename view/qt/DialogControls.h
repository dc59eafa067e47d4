#pragma once
// The style editor's controls are found by their resource ids (as "idNNN"
// object names), by the tests and by the form that fills them: one place
// makes them so that every control is named the same way.

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>

namespace quillpad {

inline QString IdName(int id) {
    return QStringLiteral("id%1").arg(id);
}

// A push button that Enter does not press: the dialogs keep OK as default.
inline QPushButton* MakeIdButton(QWidget* parent, int id, const char* text) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(IdName(id));
    b->setAutoDefault(false);
    return b;
}

inline QRadioButton* MakeIdRadio(QWidget* parent, QButtonGroup* group, int id, const char* text,
                                 int value) {
    auto* r = new QRadioButton(QString::fromLatin1(text), parent);
    r->setObjectName(IdName(id));
    group->addButton(r, value);
    return r;
}

inline QCheckBox* MakeIdCheck(QWidget* parent, int id, const char* text) {
    auto* c = new QCheckBox(QString::fromLatin1(text), parent);
    c->setObjectName(IdName(id));
    return c;
}

inline QLineEdit* MakeIdEdit(QWidget* parent, int id) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(IdName(id));
    return e;
}

}  // namespace quillpad
