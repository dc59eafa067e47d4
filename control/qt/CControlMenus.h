#pragma once
// The console's menus: the menu bar's popups (made at once, filled when
// first opened), "Select Style" and "Select Key Set" (filled when shown, and
// again after their lists changed), and the enable and check rules that run
// when a menu is about to show. Every chosen item goes to the control's
// OnCommand.

#include <QList>
#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "control/Commands.h"
#include "control/MenuModel.h"
#include "input/CKeySetMenu.h"

class QAction;
class QActionGroup;
class QMenu;

namespace quillpad {

class CQuillpad2Ctrl;

class CControlMenus final : public QObject {
    Q_OBJECT
  public:
    explicit CControlMenus(CQuillpad2Ctrl& control);
    ~CControlMenus() override;

    // The menu bar's popups, titles only.
    void Build();
    // The menu bar's popups, with their items.
    const std::vector<std::unique_ptr<QMenu>>& MenuBarPopups();
    QList<QAction*> InPlaceMenuActions() const;
    // Applies the enable and check rules to a menu's actions.
    void Update(QMenu& menu) const;

    // Filled from the list of styles first if it or the data folder changed.
    QMenu* StylePopup();
    // Filled from the data directory's key sets first if they may have changed.
    QMenu* KeySetPopup();
    // The lists changed: the popups are filled again when next shown.
    void StylesChanged() { m_styleMenuStale = true; }
    void KeySetsChanged() { m_keySetMenuStale = true; }
    // Empties both sub-popups (teardown: the styles are released).
    void ClearSubPopups();

    // The data directory's key sets as the menu lists them.
    const CKeySetMenu& KeySetFiles() const { return m_keySetFiles; }

  private:
    void MakeSubPopups();
    void FillMenuBarPopup(QMenu& menu);
    void Fill(QMenu& into, const std::vector<SMenuItem>& items);
    void FillStyleMenu();
    void FillKeySetMenu();
    // One item of a generated list (a style, a key set): its text as it
    // stands ("&" shown as itself), its command and status tip, checkable.
    QAction* AddListItem(QMenu& menu, const std::string& text, cmd::CommandId id);

    CQuillpad2Ctrl& m_control;
    std::vector<std::unique_ptr<QMenu>> m_popups;
    std::vector<SMenuItem> m_popupItems;  // the items of m_popups not yet added
    std::unique_ptr<QMenu> m_stylePopup;
    std::unique_ptr<QActionGroup> m_styleGroup;
    bool m_styleMenuStale = true;
    std::unique_ptr<QMenu> m_keySetPopup;
    bool m_keySetMenuStale = true;
    CKeySetMenu m_keySetFiles;
};

}  // namespace quillpad
