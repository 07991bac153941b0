#include <string>

#include <gtest/gtest.h>

#include "model/tx_kind.h"

namespace varnel {
namespace {

constexpr TxKind kEveryKind[] = {TxKind::kIncome,        TxKind::kExpense,      TxKind::kTransfer,
                                 TxKind::kTransferOut,   TxKind::kTransferIn,   TxKind::kOldAdjustment,
                                 TxKind::kAdjustmentUp,  TxKind::kAdjustmentDown};

TEST(TxKindTest, EveryKindRoundTripsThroughItsCodeAndNumber) {
  for (TxKind kind : kEveryKind) {
    const std::string code(kindCode(kind));
    SCOPED_TRACE(code);
    EXPECT_EQ(kindOfCode(code), kind);
    EXPECT_EQ(std::to_string(static_cast<int>(kind)), code);
    EXPECT_EQ(kindOfNumber(static_cast<int>(kind)), kind);
    // The SQL lists of the totals hold exactly the kinds the C++ counts.
    EXPECT_EQ(std::string(kInKindsSql).find(kindSql(kind)) != std::string::npos, countsAsIn(kind));
    EXPECT_EQ(std::string(kOutKindsSql).find(kindSql(kind)) != std::string::npos, countsAsOut(kind));
    EXPECT_FALSE(countsAsIn(kind) && countsAsOut(kind));
  }
}

TEST(TxKindTest, UnknownCodesAndNumbersHaveNoKind) {
  for (const char* code : {"5", "", "10", "9", "00", " 1", "-1", "a"}) {
    EXPECT_FALSE(kindOfCode(code)) << '"' << code << '"';
  }
  for (int number : {5, 9, 10, -1}) EXPECT_FALSE(kindOfNumber(number)) << number;
  InOutCome missing;
  EXPECT_FALSE(kindOf(missing));
  EXPECT_FALSE(isKind(missing, TxKind::kIncome));  // a row without a kind is never income
}

}  // namespace
}  // namespace varnel
