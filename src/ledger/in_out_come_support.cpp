#include "ledger/in_out_come_support.h"

#include <fmt/format.h>

namespace varnel::tx_support {

std::string trimSpaces(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string transferMemo(const std::string& fromName, const std::string& toName) {
  return fmt::format("{} → {}", fromName, toName);
}

std::string renameFeeMemo(const std::string& memo, const std::string& oldFrom, const std::string& newFrom,
                          const std::string& oldTo, const std::string& newTo) {
  if (memo == transferMemo(oldFrom, oldTo)) return transferMemo(newFrom, newTo);
  std::string out = memo;
  size_t arrowEnd = std::string::npos;
  const std::string oldHead = oldFrom + " →";
  if (!oldFrom.empty()) {
    if (size_t at = out.find(oldHead); at != std::string::npos) {
      const std::string newHead = newFrom + " →";
      out.replace(at, oldHead.size(), newHead);
      arrowEnd = at + newHead.size();
    }
  }
  if (arrowEnd == std::string::npos) {
    if (size_t arrow = out.find("→"); arrow != std::string::npos) arrowEnd = arrow + std::string("→").size();
  }
  // The receiving name is looked for after the arrow only, so that a sending
  // name containing it is left alone.
  if (!oldTo.empty() && oldTo != newTo && arrowEnd != std::string::npos) {
    if (size_t at = out.find(oldTo, arrowEnd); at != std::string::npos) out.replace(at, oldTo.size(), newTo);
  }
  return out;
}

}  // namespace varnel::tx_support
