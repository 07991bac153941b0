#include <gtest/gtest.h>

#include "sms/sms_parser_choice.h"
#include "sms/sms_patterns.h"

namespace varnel {
namespace {

struct ChoiceCase {
  std::string text;  // as pasted; lower-cased before the choice, as the driver does
  std::string region;
  std::string language;
  std::string parser;
};

TEST(SmsParserChoice, FirstRuleThatHoldsPicksTheParser) {
  const ChoiceCase cases[] = {
      {"신한카드(1234)승인 홍*동 12,000원 스타벅스", "KR", "ko", "SmsParsingKor"},
      {"Monzo: You spent £4.50 at Pret", "GB", "en", "SmsParsingEng"},
      {"Monzo: You spent 4.50 at Pret", "GB", "en", "SmsParsingKor"},
      // Canadian banks count only in Canada.
      {"RBC Royal Bank: purchase $12.00 at Tim Hortons", "CA", "en", "SmsParsingCanada"},
      {"RBC Royal Bank: purchase $12.00 at Tim Hortons", "KR", "ko", "SmsParsingKor"},
      {"Discover Card: A transaction of $25.00 at AMAZON", "US", "en", "SmsParsingUSA"},
      {"Bank of America: debit card purchase $9.00", "US", "en", "SmsParsingUSA"},
      // A Kiwoom dividend from a US share names the bank, not the sender.
      {"[키움] 해외증권 배당금 입금 안내 BANK OF AMERICA USD 3.20", "KR", "ko", "SmsParsingKor"},
      {"Compra aprovada no seu PERSON BLACK MC R$ 50,00", "BR", "pt", "SmsParsingBrazil"},
      {"Oplata 12.50 BYN karta 1234", "BY", "ru", "SmsParsingBelarus"},
      {"Oplata 12.50 RUB karta 1234", "RU", "ru", "SmsParsingRussia"},
      {"Покупка на сумму 500 р", "RU", "ru", "SmsParsingRussia"},
      // " inr" counts outside Korea only.
      {"Spent 500 INR at Big Bazaar", "US", "en", "SmsParsingIndia"},
      {"Spent 500 INR at Big Bazaar", "KR", "ko", "SmsParsingKor"},
      {"Your card was charged", "IN", "en", "SmsParsingIndia"},
      {"Estimad@ cliente: consumo RD$ 1,200.00", "DO", "es", "SmsParsingDominican"},
      {"ING: purchase $20.00 ing.com.au", "AU", "en", "SmsParsingAUS"},
      {"Compra crédito aprovada R$ 10,00", "PT", "pt", "SmsParsingPortugal"},
      {"Purchase SAR 45.00 at Jarir", "SA", "ar", "SmsParsingSaudi"},
      {"Purchase SAR 45.00 at Jarir", "LB", "ar", "SmsParsingLebanon"},
      {"CHF 12.00 wurden der Karte belastet", "CH", "de", "SmsParsingSwiss"},
      {"Purchase AED 30.00 Avl.Bal AED 1,000.00", "AE", "en", "SmsParsingUAE"},
      {"您的工商银行卡消费 100元", "CN", "zh", "SmsParsingChina"},
      {"Prelievo Bancomat 50,00 euro", "IT", "it", "SmsParsingItaly"},
      {"AMD 5,000 E-POS GNUM", "AM", "hy", "SmsParsingArmenia"},
      {"Bancolombia le informa compra por $50.000", "CO", "es", "SmsParsingColombia"},
      {"A charge of SGD 12.00", "SG", "en", "SmsParsingSG"},
      {"Compra 250.00 M.N. Tarjeta", "MX", "es", "SmsParsingMexico"},
      {"Kartınızdan 50 TL harcama", "TR", "tr", "SmsParsingTR"},
      {"So du: 1.000.000 VND", "VN", "vi", "SmsParsingVi"},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.text + " / " + c.region + " / " + c.language);
    const std::string lower = sms::toUtf8(sms::lowered(sms::fromUtf8(c.text)));
    EXPECT_EQ(std::string(parserClassName(chooseParser(lower, c.region, c.language))), c.parser);
  }
}

}  // namespace
}  // namespace varnel
