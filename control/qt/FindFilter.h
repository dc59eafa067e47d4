#pragma once
// The find bar's "Filter" over the console: while it is ticked the filtered
// view stands in the console view's place, filtering by what the bar asks
// for and telling the bar how far it got; unticked, or on Escape in either,
// the console view comes back as it was left.

#include <functional>

namespace quillpad {

class CConsoleView;
class CFilterView;
class CFindBar;

// `layOut` places the widgets again after one is shown or hidden.
void ConnectFilter(CFindBar& bar, CFilterView& filter, CConsoleView& view,
                   std::function<void()> layOut);

}  // namespace quillpad
