// The pieces of the desktop API's replies: request parameters, texts inside
// object texts and inside the XML dataset, and money figures.
#include <gtest/gtest.h>

#include "web/desktop_format.h"

namespace varnel::web {
namespace {

TEST(DesktopFormatTest, ParametersAreSplitBeforeTheyAreDecoded) {
  struct Case {
    const char* text;
    Params expected;
  } cases[] = {
      {"startDate=2024-01-01&endDate=2024-01-31", {{"startDate", "2024-01-01"}, {"endDate", "2024-01-31"}}},
      // A piece without "=" is no parameter; of "a=b=c" the value is "b".
      {"startDate", {}},
      {"a=b=c&d=", {{"a", "b"}, {"d", ""}}},
      // An encoded "&" or "=" stays in its value; "+" stays a plus.
      {"mbContent=Lunch%20%26%20dinner%3D1&x=1+2", {{"mbContent", "Lunch & dinner=1"}, {"x", "1+2"}}},
      {"name=%ED%95%9C", {{"name", "한"}}},
      // A broken escape is kept as it came; a NUL drops the field.
      {"a=100%&b=%zz&c=x%00y", {{"a", "100%"}, {"b", "%zz"}}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(parseParameters(c.text), c.expected) << c.text;
}

TEST(DesktopFormatTest, ObjectTextValuesAndListsKeepNamesIntact) {
  EXPECT_EQ(jsText("Tom's \\ cafe"), "Tom\\'s \\\\ cafe");
  // A name holding "}{" is not split into two entries.
  EXPECT_EQ(joinEntries({"{a:'x}{y'}", "{a:'z'}"}), "{a:'x}{y'},{a:'z'}");
  EXPECT_EQ(joinEntries({}), "");
}

TEST(DesktopFormatTest, DatasetTextsStayWellFormedXml) {
  struct Case {
    std::string text;
    std::string cdata;
    std::string element;
  } cases[] = {
      {"Lunch", "Lunch", "Lunch"},
      {"a]]>b", "a]]]]><![CDATA[>b", "a]]&gt;b"},
      {"x<y & z", "x<y & z", "x&lt;y &amp; z"},
      {std::string("bell\x07tab\tline\n"), "belltab\tline\n", "belltab\tline\n"},
      {"bad \xff byte", "bad \xEF\xBF\xBD byte", "bad \xEF\xBF\xBD byte"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cdata(c.text), c.cdata) << c.text;
    EXPECT_EQ(xmlText(c.text), c.element) << c.text;
  }
}

TEST(DesktopFormatTest, MoneyFollowsTheMainCurrencysDecimals) {
  struct Case {
    double amount;
    const char* withDecimals;
    const char* whole;
    const char* six;
  } cases[] = {
      {1234.5, "1234.50", "1235", "1234.500000"},
      {-0.0, "0.00", "0", "0.000000"},
      {-12000, "-12000.00", "-12000", "-12000.000000"},
      {0.004, "0.00", "0", "0.004000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MoneyForm(true)(c.amount), c.withDecimals) << c.amount;
    EXPECT_EQ(MoneyForm(false)(c.amount), c.whole) << c.amount;
    EXPECT_EQ(sixDecimals(c.amount), c.six) << c.amount;
  }
}

}  // namespace
}  // namespace varnel::web
