#include "control/qt/CControlMenus.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include "control/CommandRules.h"
#include "control/CommandTable.h"
#include "control/qt/CQuillpad2Ctrl.h"

namespace quillpad {
namespace {

QString StatusTextOf(cmd::CommandId id) {
    return QString::fromLatin1(CommandStatusText(id).c_str());
}

}  // namespace

CControlMenus::CControlMenus(CQuillpad2Ctrl& control) : m_control(control) {}

CControlMenus::~CControlMenus() = default;

void CControlMenus::Build() {
    // The menu bar's popups exist at once (the host shows their titles) but
    // get their items when first opened.
    SMenu main = MakeMainMenu();
    for (auto& popup : main.popups) {
        auto menu = std::make_unique<QMenu>(QString::fromLatin1(popup.text.c_str()));
        QMenu* raw = menu.get();
        connect(raw, &QMenu::aboutToShow, this, [this, raw] {
            FillMenuBarPopup(*raw);
            Update(*raw);
        });
        m_popups.push_back(std::move(menu));
        m_popupItems.push_back(std::move(popup));
    }
}

void CControlMenus::MakeSubPopups() {
    if (m_stylePopup) {
        return;
    }
    m_stylePopup = std::make_unique<QMenu>(QStringLiteral("&Select Style"));
    m_keySetPopup = std::make_unique<QMenu>(QStringLiteral("Select &Key Set"));
    // Filled when they are shown: a console may never open them, and a
    // hundred style or key set entries would be most of what making a
    // console costs.
    connect(m_stylePopup.get(), &QMenu::aboutToShow, this, [this] { FillStyleMenu(); });
    connect(m_keySetPopup.get(), &QMenu::aboutToShow, this, [this] { FillKeySetMenu(); });
    for (QMenu* popup : {m_stylePopup.get(), m_keySetPopup.get()}) {
        connect(popup, &QMenu::aboutToShow, this, [this, popup] { Update(*popup); });
    }
}

const std::vector<std::unique_ptr<QMenu>>& CControlMenus::MenuBarPopups() {
    for (const auto& popup : m_popups) {
        FillMenuBarPopup(*popup);
    }
    return m_popups;
}

QList<QAction*> CControlMenus::InPlaceMenuActions() const {
    QList<QAction*> actions;
    for (const auto& popup : m_popups) {
        actions.push_back(popup->menuAction());
    }
    return actions;
}

void CControlMenus::FillMenuBarPopup(QMenu& menu) {
    for (std::size_t i = 0; i < m_popups.size(); ++i) {
        if (m_popups[i].get() == &menu && !m_popupItems[i].items.empty()) {
            Fill(menu, m_popupItems[i].items);
            m_popupItems[i].items.clear();  // filled once
        }
    }
}

void CControlMenus::Fill(QMenu& into, const std::vector<SMenuItem>& items) {
    for (const auto& item : items) {
        switch (item.kind) {
            case EMenuItemKind::Separator:
                into.addSeparator();
                break;
            case EMenuItemKind::Command: {
                QAction* action = into.addAction(QString::fromLatin1(item.text.c_str()));
                action->setData(item.id);
                action->setStatusTip(StatusTextOf(item.id));
                const SCommandRow* row = FindCommand(item.id);
                action->setCheckable(row != nullptr && IsCheckable(*row));
                const cmd::CommandId id = item.id;
                connect(action, &QAction::triggered, this, [this, id] { m_control.OnCommand(id); });
                break;
            }
            case EMenuItemKind::Popup: {
                auto* sub = new QMenu(QString::fromLatin1(item.text.c_str()), &into);
                Fill(*sub, item.items);
                into.addMenu(sub);
                connect(sub, &QMenu::aboutToShow, this, [this, sub] { Update(*sub); });
                break;
            }
            case EMenuItemKind::StylePopup:
                MakeSubPopups();
                m_stylePopup->setTitle(QString::fromLatin1(item.text.c_str()));
                into.addMenu(m_stylePopup.get());
                break;
            case EMenuItemKind::KeySetPopup:
                MakeSubPopups();
                m_keySetPopup->setTitle(QString::fromLatin1(item.text.c_str()));
                into.addMenu(m_keySetPopup.get());
                break;
        }
    }
}

void CControlMenus::Update(QMenu& menu) const {
    const SCommandContext context = m_control.CommandContext();
    for (QAction* action : menu.actions()) {
        bool ok = false;
        const auto id = static_cast<cmd::CommandId>(action->data().toUInt(&ok));
        if (!ok || id == 0 || action->isSeparator() || action->menu() != nullptr) {
            continue;
        }
        const SCommandState state = CommandState(id, context);
        action->setEnabled(state.enabled);
        if (action->isCheckable()) {
            action->setChecked(state.checked);
        }
        if (state.text) {
            // A new text ("Stop Logging") takes a letter the others leave free.
            std::string taken;
            for (const QAction* other : menu.actions()) {
                const char c = other != action ? MnemonicOf(other->text().toStdString()) : 0;
                if (c != 0) {
                    taken += c;
                }
            }
            action->setText(QString::fromLatin1(MnemonicText(*state.text, taken).c_str()));
        }
    }
}

QAction* CControlMenus::AddListItem(QMenu& menu, const std::string& text, cmd::CommandId id) {
    QString shown = QString::fromLatin1(text.c_str());
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* action = menu.addAction(shown);
    action->setData(id);
    action->setStatusTip(StatusTextOf(id));
    action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, id] { m_control.OnCommand(id); });
    return action;
}

QMenu* CControlMenus::StylePopup() {
    MakeSubPopups();
    FillStyleMenu();
    return m_stylePopup.get();
}

void CControlMenus::FillStyleMenu() {
    if (!m_stylePopup) {
        return;
    }
    // Sheets added, changed or removed since the list was made show now.
    m_control.RefreshStyles();
    if (!m_styleMenuStale) {
        return;
    }
    m_styleMenuStale = false;
    m_stylePopup->clear();
    m_styleGroup = std::make_unique<QActionGroup>(nullptr);
    // Radio marks; with no current scheme none is marked.
    m_styleGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    const CSchemeList& schemes = m_control.Schemes();
    for (const auto& entry : schemes.MenuEntries()) {
        AddListItem(*m_stylePopup, entry.text, entry.command)->setActionGroup(m_styleGroup.get());
    }
    if (schemes.HiddenCount() > 0) {
        QAction* more = m_stylePopup->addAction(
            QStringLiteral("%1 more styles are not shown").arg(schemes.HiddenCount()));
        more->setEnabled(false);
    }
}

QMenu* CControlMenus::KeySetPopup() {
    MakeSubPopups();
    FillKeySetMenu();
    return m_keySetPopup.get();
}

void CControlMenus::FillKeySetMenu() {
    if (!m_keySetPopup || !m_keySetMenuStale) {
        return;
    }
    m_keySetMenuStale = false;
    const CQuillpadSettings& settings = m_control.Settings();
    m_keySetFiles.Rebuild(settings.m_dataDirectory);
    m_keySetPopup->clear();
    for (const auto& item : m_keySetFiles.Items(settings.m_keySetPath)) {
        QAction* action = AddListItem(*m_keySetPopup, item.text, item.command);
        action->setEnabled(item.enabled);
        action->setCheckable(item.command != cmd::NoKeySetFiles);
        action->setChecked(item.checked);
    }
}

void CControlMenus::ClearSubPopups() {
    if (m_stylePopup) {
        m_stylePopup->clear();
    }
    if (m_keySetPopup) {
        m_keySetPopup->clear();
    }
}

}  // namespace quillpad
