#pragma once
// What the style editor shows that runs a modal loop: the colour, font and
// file choosers, its message boxes, the rule list's popup menu and the help.
// Tests answer it; CQtStyleEditorUi shows the real thing.

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace quillpad {

struct SFontChoice {
    QFont font;
    QColor colour;
};

struct SPopupChoice {
    int command = 0;
    QString text;
    bool enabled = true;
};

class IStyleEditorUi {
  public:
    virtual ~IStyleEditorUi() = default;
    // The colour chooser, opened on `initial`; none on Cancel.
    virtual std::optional<QColor> ChooseColour(const QColor& initial, QWidget* owner) = 0;
    // The font chooser for screen fonts, on a font and colour or on none;
    // none on Cancel.
    virtual std::optional<SFontChoice> ChooseFont(const std::optional<SFontChoice>& initial,
                                                  QWidget* owner) = 0;
    // A file chooser of the save kind (no overwrite prompt) for style
    // sheets, in a directory; empty on Cancel.
    virtual QString ChooseStyleFile(const QString& directory, QWidget* owner) = 0;
    // A message box with an information icon and OK.
    virtual void Inform(const QString& caption, const QString& text, QWidget* owner) = 0;
    // A Yes/No question with an exclamation icon; true for Yes.
    virtual bool AskYesNo(const QString& caption, const QString& text, QWidget* owner) = 0;
    // A popup menu at a screen position; the chosen command, 0 for none.
    virtual int TrackPopup(const std::vector<SPopupChoice>& items, QPoint globalPos,
                           QWidget* owner) = 0;
    virtual void ShowHelp(int topic, QWidget* owner) = 0;
};

class CQtStyleEditorUi final : public IStyleEditorUi {
  public:
    // Help goes where the owner of the dialog sends it.
    explicit CQtStyleEditorUi(std::function<void(int topic, QWidget* owner)> help = {})
        : m_help(std::move(help)) {}

    std::optional<QColor> ChooseColour(const QColor& initial, QWidget* owner) override;
    std::optional<SFontChoice> ChooseFont(const std::optional<SFontChoice>& initial,
                                          QWidget* owner) override;
    QString ChooseStyleFile(const QString& directory, QWidget* owner) override;
    void Inform(const QString& caption, const QString& text, QWidget* owner) override;
    bool AskYesNo(const QString& caption, const QString& text, QWidget* owner) override;
    int TrackPopup(const std::vector<SPopupChoice>& items, QPoint globalPos,
                   QWidget* owner) override;
    void ShowHelp(int topic, QWidget* owner) override;

  private:
    std::function<void(int, QWidget*)> m_help;
};

}  // namespace quillpad
