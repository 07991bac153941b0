// Which country parser reads a paste: a fixed table of words that only the
// messages of one country's banks carry, some of them only in that region,
// with the Korean parser as the default.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

enum class SmsParserKind {
  kEng,
  kCanada,
  kUsa,
  kBrazil,
  kBelarus,
  kRussia,
  kIndia,
  kDominican,
  kAus,
  kPortugal,
  kSaudi,
  kLebanon,
  kSwiss,
  kUae,
  kChina,
  kItaly,
  kArmenia,
  kColombia,
  kSg,
  kMexico,
  kTr,
  kVi,
  kKor,
};

// The class name of a parser ("SmsParsingKor", "SmsParsingUSA").
std::string_view parserClassName(SmsParserKind kind);

// The web domain of the Australian bank whose notices go to the Australian parser.
inline constexpr const char* kIngAustraliaDomain = "ing.com.au";

// Whether the lower-cased paste names a Canadian bank or card.
bool isCanadaSMS(std::string_view lowerText);

// The parser for a paste: the first rule of the table that holds for the
// lower-cased paste `lowerText`, the region code `region` ("KR", "CA") and
// the interface language `language` ("ko", "tr"); the Korean parser when
// none does.
SmsParserKind chooseParser(std::string_view lowerText, std::string_view region, std::string_view language);

}  // namespace varnel
