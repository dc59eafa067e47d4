#pragma once
// The host's dialogs and message boxes as the person sees them.

#include "host/qt/IWorkbayUi.h"

namespace quillpad {

class CWorkbayDialogs : public IWorkbayUi {
  public:
    void ShowMessage(QWidget* parent, EWorkbayMessage kind, const QString& title,
                     const QString& text) override;
    std::optional<SNewConsoleChoice> AskNewConsole(QWidget* parent,
                                                   const SNewConsoleOptions& options) override;
};

}  // namespace quillpad
