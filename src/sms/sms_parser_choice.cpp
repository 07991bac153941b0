#include "sms/sms_parser_choice.h"

#include <initializer_list>

namespace varnel {

namespace {

bool has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool hasAny(std::string_view text, std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) {
    if (has(text, part)) return true;
  }
  return false;
}

}  // namespace

std::string_view parserClassName(SmsParserKind kind) {
  switch (kind) {
    case SmsParserKind::kEng: return "SmsParsingEng";
    case SmsParserKind::kCanada: return "SmsParsingCanada";
    case SmsParserKind::kUsa: return "SmsParsingUSA";
    case SmsParserKind::kBrazil: return "SmsParsingBrazil";
    case SmsParserKind::kBelarus: return "SmsParsingBelarus";
    case SmsParserKind::kRussia: return "SmsParsingRussia";
    case SmsParserKind::kIndia: return "SmsParsingIndia";
    case SmsParserKind::kDominican: return "SmsParsingDominican";
    case SmsParserKind::kAus: return "SmsParsingAUS";
    case SmsParserKind::kPortugal: return "SmsParsingPortugal";
    case SmsParserKind::kSaudi: return "SmsParsingSaudi";
    case SmsParserKind::kLebanon: return "SmsParsingLebanon";
    case SmsParserKind::kSwiss: return "SmsParsingSwiss";
    case SmsParserKind::kUae: return "SmsParsingUAE";
    case SmsParserKind::kChina: return "SmsParsingChina";
    case SmsParserKind::kItaly: return "SmsParsingItaly";
    case SmsParserKind::kArmenia: return "SmsParsingArmenia";
    case SmsParserKind::kColombia: return "SmsParsingColombia";
    case SmsParserKind::kSg: return "SmsParsingSG";
    case SmsParserKind::kMexico: return "SmsParsingMexico";
    case SmsParserKind::kTr: return "SmsParsingTR";
    case SmsParserKind::kVi: return "SmsParsingVi";
    case SmsParserKind::kKor: return "SmsParsingKor";
  }
  return "SmsParsingKor";
}

bool isCanadaSMS(std::string_view lowerText) {
  // The lower-cased forms of "rbc credit card", "rogers bank", "capital one",
  // "tangerine world mastercard", "capital one alert", "RBC acct", "at OLG",
  // "FREEDOM MOBILE", "RBC Royal Bank" and "CANADA".
  return hasAny(lowerText, {"rbc credit card", "rogers bank", "capital one", "tangerine world mastercard",
                            "capital one alert", "rbc acct", "at olg", "freedom mobile", "rbc royal bank",
                            "canada"});
}

SmsParserKind chooseParser(std::string_view l, std::string_view region, std::string_view language) {
  using K = SmsParserKind;
  if (has(l, "monzo") && has(l, "£")) return K::kEng;
  if (isCanadaSMS(l) && region == "CA") return K::kCanada;
  if (has(l, "discover card") || (has(l, "bank of america") && !has(l, "키움")) ||
      hasAny(l, {"chase account", "chase acct", "bb&t", "capital one alert", "chase freedom unlimited", "bofa",
                 "account as purchase", "rcbc bankard"})) {
    return K::kUsa;
  }
  if (hasAny(l, {"compra aprovada", "uniclass", "itau personnalite", "person black mc", "itaucard mc plat",
                 "uberbr"}) ||
      (has(l, "brasil") && has(l, "rs"))) {
    return K::kBrazil;
  }
  if ((has(l, "summa") || has(l, "oplata")) && region == "BY") return K::kBelarus;
  if (hasAny(l, {"покупка на сумму", "покупка", "nalichnye", "oplata", "zachislenie", "pokupka", "оплата",
                 "перевод"})) {
    return K::kRussia;
  }
  if (region != "KR" &&
      (hasAny(l, {"charge of inr", "rs.", " inr", "hdfc bank", "union bank of india"}) || region == "IN")) {
    return K::kIndia;
  }
  if (has(l, "estimad@ cliente")) return K::kDominican;
  if (has(l, kIngAustraliaDomain) || has(l, "autrue pty. ltd")) return K::kAus;
  if (has(l, "compra crédito")) return K::kPortugal;
  if (region == "SA" && (has(l, "sar") || has(l, "in lebanon on"))) return K::kSaudi;
  if (region == "LB" && (has(l, "sar") || has(l, "in lebanon on"))) return K::kLebanon;
  if (has(l, "wurden der karte")) return K::kSwiss;
  if (hasAny(l, {"avl.bal", "available balance aed"}) || (has(l, "aed") && has(l, "shopsmart.ae")) ||
      (has(l, "aed") && region == "AE")) {
    return K::kUae;
  }
  if (hasAny(l, {"建设银行", "中国农业银行", "韩亚银行", "工商银行", "中国银行", "友利银行", "邮储银行"})) return K::kChina;
  if (has(l, "bancomat")) return K::kItaly;
  if (has(l, "amd") && (has(l, "e-pos gnum") || has(l, "mutq hashvin"))) return K::kArmenia;
  if (has(l, "informa compra") || has(l, "bancolombia")) return K::kColombia;
  if (has(l, "charge of") && region == "SG") return K::kSg;
  if (has(l, "m.n.") || has(l, "mxn")) return K::kMexico;
  if (language == "tr" || language.starts_with("tr_")) return K::kTr;
  if (region == "VN") return K::kVi;
  return K::kKor;
}

}  // namespace varnel
