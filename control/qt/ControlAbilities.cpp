// Ability group dialogs and the session's questions.

#include <QApplication>

#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/IControlUi.h"
#include "nxr/qt/NxrGui.h"

namespace quillpad {

bool IControlUi::HandleAbilityGroup(std::uint32_t a, std::uint32_t b, EAbilityGroup group) {
    return NxrGUIHandleAbility(a, b, group, 0);
}

bool IControlUi::HandleQuery(int queryType, const WideString& prompt, WideString& answer,
                             QWidget* owner) {
    return NxrGUIHandleQuery(queryType, prompt, answer, owner);
}

void CQuillpad2Ctrl::ShowAbilityGroup(std::uint32_t a, std::uint32_t b, EAbilityGroup group) {
    if (!m_ui->HandleAbilityGroup(a, b, group)) {
        SayNoSession();
    }
}

bool CQuillpad2Ctrl::AskUser(std::int32_t queryType, const WideString& prompt, WideString& answer) {
    // Over the window the user is in, when it is one of ours (a group
    // dialog that asked); else over the console's own window.
    QWidget* owner = QApplication::activeWindow();
    if (owner == nullptr) {
        owner = window();
    }
    return m_ui->HandleQuery(queryType, prompt, answer, owner);
}

}  // namespace quillpad
