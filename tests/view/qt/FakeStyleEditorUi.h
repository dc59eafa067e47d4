#pragma once
// The style editor's choosers and message boxes, answered by the test.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "view/qt/IStyleEditorUi.h"

namespace quillpad::test {

class CFakeStyleEditorUi final : public IStyleEditorUi {
  public:
    struct SMessage {
        QString caption;
        QString text;
    };

    std::optional<QColor> ChooseColour(const QColor& initial, QWidget*) override {
        colourInitials.push_back(initial);
        return colour;
    }
    std::optional<SFontChoice> ChooseFont(const std::optional<SFontChoice>& initial,
                                          QWidget*) override {
        fontInitials.push_back(initial);
        return font;
    }
    QString ChooseStyleFile(const QString& directory, QWidget*) override {
        fileDirectories.push_back(directory);
        return file;
    }
    void Inform(const QString& caption, const QString& text, QWidget*) override {
        messages.push_back({caption, text});
    }
    bool AskYesNo(const QString& caption, const QString& text, QWidget*) override {
        questions.push_back({caption, text});
        return yes;
    }
    int TrackPopup(const std::vector<SPopupChoice>& items, QPoint, QWidget*) override {
        offered = items;
        return popupAnswer;
    }
    void ShowHelp(int topic, QWidget*) override { helps.push_back(topic); }

    // Answers.
    std::optional<QColor> colour;
    std::optional<SFontChoice> font;
    QString file;
    bool yes = true;
    int popupAnswer = 0;
    // What was asked.
    std::vector<QColor> colourInitials;
    std::vector<std::optional<SFontChoice>> fontInitials;
    std::vector<QString> fileDirectories;
    std::vector<SMessage> messages;
    std::vector<SMessage> questions;
    std::vector<SPopupChoice> offered;
    std::vector<int> helps;
};

}  // namespace quillpad::test
