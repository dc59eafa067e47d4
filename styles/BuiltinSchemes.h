#pragma once
// The schemes every console offers, held as style sheet texts and read
// through the same reader as the files. Set A (four schemes) is offered when
// data of other sources is shown, set B (three schemes) otherwise.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "styles/CStyleScheme.h"

namespace quillpad {

enum class EBuiltinSet { A, B };

// The style sheet texts of a set, in menu order.
std::vector<std::string> BuiltinSchemeTexts(EBuiltinSet set);

// Whether a scheme of either set has this name.
bool IsBuiltinSchemeName(std::string_view name);

// The schemes of a set, read from their texts; each has an empty path.
std::vector<std::shared_ptr<CStyleScheme>> MakeBuiltinSchemes(EBuiltinSet set);

}  // namespace quillpad
