// Reading a whole number typed into an edit field.
#pragma once

#include <optional>
#include <string_view>

namespace dorvane {

// The number a user typed: optional spaces, an optional sign, decimal digits, optional spaces.
// Anything else, an empty field or a value outside int yields nothing, so the caller can ask again.
std::optional<int> ParseWholeNumber(std::u16string_view text);

}  // namespace dorvane
