// "Edit Styles...": the style editor on the current style, and what its OK
// changes in the console.

#include "control/qt/CControlMenus.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "control/qt/IControlUi.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CStyleEditorDlg.h"

namespace quillpad {

std::unique_ptr<IStyleEditorUi> IControlUi::MakeStyleEditorUi() {
    return std::make_unique<CQtStyleEditorUi>(
        [this](int topic, QWidget* owner) { ShowHelp(topic, owner); });
}

int IControlUi::RunStyleEditor(CStyleEditorDlg& editor) {
    return editor.exec();
}

void CQuillpad2Ctrl::EditStyles() {
    const std::shared_ptr<CStyleScheme> current = m_schemes.Current();
    if (!current) {
        // The menu offers the command only with a style; a key may still ask.
        ShowStatus(QStringLiteral("Select a style to edit first."));
        return;
    }
    const std::unique_ptr<IStyleEditorUi> editorUi = m_ui->MakeStyleEditorUi();
    CStyleEditorDlg editor(m_settings.m_dataDirectory, *editorUi, this);
    editor.SetScheme(current);
    editor.SetShowDataSource(m_settings.m_showAllSources);
    editor.SetPreviewSource(m_store.get(), m_settings.m_showAllSources);
    if (m_ui->RunStyleEditor(editor) != QDialog::Accepted) {
        // Changes stay on the scheme unsaved and unshown; a scheme made by
        // Browse goes with the editor.
        return;
    }
    const std::shared_ptr<CStyleScheme>& edited = editor.Scheme();
    if (edited != current) {
        // A file the list already shows takes its old place rather than
        // standing on the menu twice, once with what it held before.
        const auto listed = m_schemes.FindByPath(edited->GetPath());
        if (!listed || !m_schemes.Replace(listed.get(), edited)) {
            m_schemes.Append(edited);
        }
        m_schemes.MakeCurrent(edited);
    }
    // The default style name follows the current style, renamed or not, so
    // that the next console still finds it.
    m_settings.m_defaultSchemeName = m_schemes.Current()->Name;
    PostSchemeToView();
    m_menus->StylesChanged();
}

}  // namespace quillpad
