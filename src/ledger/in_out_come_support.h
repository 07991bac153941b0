// Small rules shared by the transaction code: trimming of the memo, kind
// tests, the transfer-fee memo ("A → B") and its renaming, and the log text
// of a transfer whose other side is missing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/entities.h"
#include "model/tx_kind.h"

namespace varnel::tx_support {

// Logged with the record's `uid` when a transfer side has no other side.
inline constexpr const char* kMissingOppositeLog =
    "이체 데이터 오류 이체 데이터 오류 이체 데이터 오류 이체 데이터 오류 {}";

// The text without leading and trailing spaces and tabs; line breaks stay
// (the memo's rule: the content is trimmed of line breaks too, by trimmed()
// of model/text.h).
std::string trimSpaces(std::string_view text);

// A link text that links something: not empty and not "0".
inline bool hasLink(const Text& link) { return link && !link->empty() && *link != "0"; }

// "A → B" with the two account names.
std::string transferMemo(const std::string& fromName, const std::string& toName);

// The fee memo after the transfer's accounts changed from (oldFrom, oldTo) to
// (newFrom, newTo): "oldFrom →" becomes "newFrom →" and the old receiving name
// after the arrow becomes the new one. A memo that is exactly the generated
// text of the old pair becomes that of the new pair.
std::string renameFeeMemo(const std::string& memo, const std::string& oldFrom, const std::string& newFrom,
                          const std::string& oldTo, const std::string& newTo);

}  // namespace varnel::tx_support
