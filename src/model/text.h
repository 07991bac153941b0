// Small text helpers shared by the record code: trimming white space and
// splitting the ";"-separated records of the bundled lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// `text` without leading and trailing ASCII white space (space, tab, line
// breaks, vertical tab, form feed).
std::string trimmed(std::string_view text);

// Splits at every `separator`, keeping empty pieces ("a;;b" gives three).
std::vector<std::string> splitFields(std::string_view text, char separator = ';');

}  // namespace varnel
