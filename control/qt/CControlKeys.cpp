#include "control/qt/CControlKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include "control/qt/CQuillpad2Ctrl.h"
#include "input/CKeySet.h"
#include "nxr/NxrLineScript.h"
#include "platform/qt/Latin1.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CHexPane.h"

namespace quillpad {
namespace {

SKeyModifiers KeyboardModifiers() {
    const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
    return {(m & Qt::ControlModifier) != 0, (m & Qt::ShiftModifier) != 0,
            (m & Qt::AltModifier) != 0};
}

}  // namespace

SKeyPress ToKeyPress(const QKeyEvent& e, const SKeyModifiers& m) {
    SKeyPress k;
    k.text = QStringToBytes(e.text());
    const int key = e.key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        k.key = EKey::Function;
        k.functionKey = key - Qt::Key_F1 + 1;
        return k;
    }
    switch (key) {
        case Qt::Key_Backspace:
            k.key = EKey::Backspace;
            return k;
        case Qt::Key_Delete:
            k.key = EKey::Delete;
            return k;
        case Qt::Key_Left:
            k.key = EKey::Left;
            return k;
        case Qt::Key_Right:
            k.key = EKey::Right;
            return k;
        case Qt::Key_Up:
            k.key = EKey::Up;
            return k;
        case Qt::Key_Down:
            k.key = EKey::Down;
            return k;
        case Qt::Key_Insert:
            k.key = EKey::Insert;
            return k;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            // Shift+Tab arrives as Backtab; both type a tab.
            k.key = EKey::Tab;
            k.text = "\t";
            return k;
        default:
            break;
    }
    if ((m.ctrl || m.alt) && key >= Qt::Key_A && key <= Qt::Key_Z) {
        k.key = EKey::Letter;
        k.letter = static_cast<char>('A' + (key - Qt::Key_A));
        // With Ctrl a letter types its control code, whatever the platform put in the text.
        if (m.ctrl && !m.alt) {
            k.text = std::string(1, static_cast<char>(k.letter - 'A' + 1));
        }
        return k;
    }
    k.key = k.text.empty() ? EKey::Other : EKey::Character;
    return k;
}

CControlKeys::CControlKeys(CQuillpad2Ctrl& control, std::function<SKeyModifiers()> modifiers)
    : m_control(control), m_modifiers(modifiers ? std::move(modifiers) : &KeyboardModifiers) {}

bool CControlKeys::ClaimsShortcut(const QKeyEvent& event) const {
    const SKeyModifiers modifiers = m_modifiers();
    const SKeyPress press = ToKeyPress(event, modifiers);
    return InterceptKey(press, modifiers, HasSelection()).action != EKeyAction::PassOn ||
           FilterViewKey(press, modifiers, m_control.Settings().m_transmitArrowCharacters).action ==
               EKeyAction::SendChars;
}

bool CControlKeys::HandleKey(const QKeyEvent& event) {
    const SKeyModifiers modifiers = m_modifiers();
    const SKeyPress key = ToKeyPress(event, modifiers);
    SKeyRoute route = InterceptKey(key, modifiers, HasSelection());
    if (route.action == EKeyAction::PassOn) {
        route = FilterViewKey(key, modifiers, m_control.Settings().m_transmitArrowCharacters);
    }
    switch (route.action) {
        case EKeyAction::PassOn:
            return false;
        case EKeyAction::Swallow:
            return true;
        case EKeyAction::FunctionKey:
            if (DispatchFunctionKey(route.functionKey, modifiers)) {
                return true;
            }
            // F1 that no macro took asks for help; with Ctrl it shows none.
            if (route.functionKey == 1) {
                if (!modifiers.ctrl) {
                    m_control.ControlUi().ShowHelp(CQuillpad2Ctrl::kHelpTopic, &m_control);
                }
                return true;
            }
            return false;
        case EKeyAction::Paste:
            if (CConsoleView* view = m_control.View()) {
                view->Paste();
            }
            return true;
        case EKeyAction::Copy:
            if (CHexPane* hex = m_control.HexPane(); hex != nullptr && hex->hasFocus()) {
                hex->Copy();  // the bytes as hex text
            } else if (CConsoleView* view = m_control.View()) {
                view->Copy();
            }
            return true;
        case EKeyAction::Command:
            m_control.OnCommand(route.command);
            return true;
        case EKeyAction::HistoryPopup:
            m_control.MessageChannel().Post(m_control.Handle(), UM_HISTORY_POPUP);
            return true;
        case EKeyAction::SendChars:
            for (const char c : route.chars) {
                m_control.MessageChannel().Post(m_control.Handle(), UM_SEND_CHAR, 0,
                                                static_cast<unsigned char>(c));
            }
            return true;
    }
    return false;
}

bool CControlKeys::HasSelection() const {
    if (const CHexPane* hex = m_control.HexPane(); hex != nullptr && hex->hasFocus()) {
        return hex->HasSelection();
    }
    const CConsoleView* view = m_control.View();
    return view != nullptr && view->SelectionStart() != view->SelectionEnd();
}

bool CControlKeys::DispatchFunctionKey(int number, const SKeyModifiers& modifiers) {
    CMessageChannel& channel = m_control.MessageChannel();
    const SKeyDispatch dispatch =
        quillpad::DispatchFunctionKey(m_control.KeySet(), number, modifiers);
    switch (dispatch.action) {
        case EFunctionKeyAction::NotHandled:
            return false;
        case EFunctionKeyAction::SendBytes:
            if (dispatch.truncated) {
                m_control.ShowStatus(
                    QStringLiteral("The macro of F%1 was cut to its first %2 bytes.")
                        .arg(number)
                        .arg(kMaxSendBytes));
            }
            channel.Post(m_control.Handle(), UM_SEND_BYTES, dispatch.bytes.size(), 0,
                         CPayload::Make(dispatch.bytes));
            return true;
        case EFunctionKeyAction::PlaySteps: {
            if (dispatch.truncated) {
                m_control.ShowStatus(
                    QStringLiteral("The macro of F%1 was cut to its first %2 bytes.")
                        .arg(number)
                        .arg(kMaxSendBytes));
            }
            std::vector<SNxrLineStep> steps;
            for (const SMacroStep& step : dispatch.steps) {
                switch (step.kind) {
                    case EMacroStep::Bytes:
                        steps.push_back(NxrSend(step.bytes));
                        break;
                    case EMacroStep::Dtr:
                        steps.push_back(NxrSetLine(ENxrLineStep::Dtr, step.value != 0));
                        break;
                    case EMacroStep::Rts:
                        steps.push_back(NxrSetLine(ENxrLineStep::Rts, step.value != 0));
                        break;
                    case EMacroStep::Wait:
                        steps.push_back(NxrWait(step.value));
                        break;
                }
            }
            // Posted as the sends are, so that it keeps its place among them.
            channel.Post(m_control.Handle(), UM_PLAY_LINES, 0, 0, CPayload::Make(std::move(steps)));
            return true;
        }
        case EFunctionKeyAction::RunAbility:
            channel.Post(m_control.Handle(), UM_ABILITY, 0, 0,
                         CPayload::Make(ByteString(dispatch.text)));
            return true;
        case EFunctionKeyAction::ShowAbilityGroup:
            channel.Post(m_control.Handle(), UM_ABILITY_GROUP, 0, 0,
                         CPayload::Make(ByteString(dispatch.text)));
            return true;
        case EFunctionKeyAction::Refused:
            m_control.ShowStatus(QStringLiteral("The macro of %1F%2 is not sent: %3.")
                                     .arg(modifiers.ctrl ? QStringLiteral("Ctrl+") : QString())
                                     .arg(number)
                                     .arg(QString::fromLatin1(dispatch.text.c_str())));
            return true;
    }
    return false;
}

}  // namespace quillpad
