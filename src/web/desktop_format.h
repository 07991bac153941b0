// The small pieces the desktop API's replies are made of: request
// parameters, the texts inside its object-text replies (JavaScript object
// literals with single-quoted values, not JSON) and inside its XML dataset,
// and its money figures.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::web {

using Params = std::map<std::string, std::string>;

// A query string or a form body: split at "&", each piece at "="; a piece
// without "=" is left out, and of "a=b=c" the value is "b". Keys and values
// are percent-decoded after the split, so that an encoded "&" or "=" in a
// value stays in it; "+" stays "+" (the client encodes spaces as "%20").
// A value with a broken escape is kept as it came; one that decodes to a NUL
// is left out.
Params parseParameters(std::string_view text);

// A name inside a single-quoted value: "\" and "'" escaped with "\".
std::string jsText(std::string_view text);

// Entries of a list joined with ",": what appending "%@{…}" entries and then
// turning every "}{" into "},{" gives, without touching a "}{" inside a name.
std::string joinEntries(const std::vector<std::string>& entries);

// Text inside <![CDATA[…]]>: a "]]>" in it is split across two sections,
// characters XML cannot carry (controls other than tab and line breaks)
// are dropped and bytes that are not UTF-8 become U+FFFD, so that one odd
// name never makes the whole dataset unreadable.
std::string cdata(std::string_view text);
// Text between tags: the same clean-up, with "&", "<" and ">" written as
// entities.
std::string xmlText(std::string_view text);

// How amounts are written: with two decimals when the main currency has
// decimals ("%.2f"), as whole numbers otherwise ("%li"). Minus zero is
// written as zero.
class MoneyForm {
 public:
  explicit MoneyForm(bool decimals) : decimals_(decimals) {}
  bool decimals() const { return decimals_; }
  std::string operator()(double amount) const;

 private:
  bool decimals_;
};

// "%f": six decimals, minus zero as zero.
std::string sixDecimals(double amount);

}  // namespace varnel::web
