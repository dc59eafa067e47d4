#include "control/qt/FindFilter.h"

#include <QCheckBox>
#include <QLineEdit>

#include "control/qt/CFindBar.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CFilterView.h"

namespace quillpad {

void ConnectFilter(CFindBar& bar, CFilterView& filter, CConsoleView& view,
                   std::function<void()> layOut) {
    QObject::connect(&bar, &CFindBar::FilterChanged, &filter,
                     [&bar, &filter, &view, layOut](bool on) {
                         if (on) {
                             filter.Start(bar.Query());
                             if (!filter.isVisible()) {
                                 // The console keeps its place, unseen.
                                 filter.show();
                                 view.hide();
                             }
                         } else {
                             filter.Stop();
                             filter.hide();
                             view.show();
                             bar.SetFilterStatus(QString());
                         }
                         if (layOut) {
                             layOut();
                         }
                     });
    QObject::connect(&filter, &CFilterView::StatusChanged, &bar,
                     [&bar](const QString& text) { bar.SetFilterStatus(text); });
    QObject::connect(&filter, &CFilterView::EscapePressed, &bar, [&bar] { bar.Close(); });
}

}  // namespace quillpad
