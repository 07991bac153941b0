// The Korean card, bank, pay-app and securities message parser, also used for
// foreign-currency card messages and for every message no other country rule
// claims. A fixed sequence of rewrites removes what it recognises (amounts,
// dates, balances, card and account numbers, service numbers, the account's
// name, boiler-plate) so that what is left is the merchant or content text.
#pragma once

#include <string>
#include <vector>

#include "sms/sms_parsing.h"

namespace varnel {

class SmsParsingKor : public SmsParsing {
 public:
  using SmsParsing::SmsParsing;

  const char* parserName() const override { return "SmsParsingKor"; }

  // The whole pipeline: amount, currency, date, time, instalment, content
  // and category of one message.
  void parsing(const std::string& text, const std::string& findMacroName,
               const std::string& findUserMacroName) override;

  // Finds the amount and its currency (foreign currencies first, then won),
  // sets `moneyMainStr` and `currency`, and removes the amount.
  std::string moneyMainStrFilter(const std::string& text);
  // Won: the first match of `pattern` is the amount; a cancellation makes it
  // negative; words of `keep` found in the match stay in the text.
  std::string krwMoneyFilter(const std::string& text, const std::string& pattern,
                             const std::vector<std::string>& keep);
  // A foreign amount: the first match of `pattern`; in the ledger's currency
  // of `iso` when it holds one, else converted into the main currency at
  // `rate` won per unit.
  std::string currencyMoneyFilter(const std::string& text, const std::string& pattern,
                                  const std::string& iso, double rate);
  // Finds the date, sets `dpDate` and removes it.
  std::string dateFilter(const std::string& text);
  // Removes the account's name (the user macro's text, else a built-in
  // macro's name found in the text).
  std::string accountFilter(const std::string& text, const std::string& findMacroName,
                            const std::string& findUserMacroName);
  // Cuts a trailing street address.
  std::string addressStringFilter(const std::string& text);
  // English boiler-plate of messages read with the region "US".
  static std::string lastWordsFilterUS(const std::string& text);
};

}  // namespace varnel
