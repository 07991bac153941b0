// Every member of every record struct is in its field table, and every field
// survives a save, a read and the JSON form: a member left out of the table would silently
// never be stored.
#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <variant>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/base_repository.h"
#include "model/record_json.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

// Counts the members of an aggregate: the longest brace initialiser it takes.
struct AnyMember {
  template <class T>
  operator T&() const;  // NOLINT: only used in unevaluated initialisers
};

template <class T, class... Members>
constexpr std::size_t memberCount() {
  if constexpr (requires { T{Members{}..., AnyMember{}}; }) {
    return memberCount<T, Members..., AnyMember>();
  } else {
    return sizeof...(Members);
  }
}

// A value no default or real record has, distinct per field.
template <class T>
T sentinelRecord() {
  T record;
  int n = 0;
  for (const auto& field : Entity<T>::fields()) {
    ++n;
    std::visit(
        [&](auto member) {
          using V = std::remove_reference_t<decltype(record.*member)>;
          if constexpr (std::is_same_v<V, Text>) {
            record.*member = "sentinel-" + field.attribute;
          } else if constexpr (std::is_same_v<V, Real>) {
            record.*member = 1000.25 + n;
          } else {
            record.*member = 7000 + n;
          }
        },
        field.member);
  }
  return record;
}

class EntitiesTest : public testing::LedgerTest {
 protected:
  template <class T>
  void expectEveryFieldStored() {
    SCOPED_TRACE(Entity<T>::kName);
    // The row key is the one member outside the table.
    EXPECT_EQ(memberCount<T>(), Entity<T>::fields().size() + 1)
        << "a member of the struct is missing from its field table";
    BaseRepository repo(*ledger_);
    T record = sentinelRecord<T>();
    ASSERT_TRUE(repo.save(record, "save"));
    const auto back = repo.template fetch<T>(" WHERE Z_PK = ?", record.pk);
    ASSERT_EQ(back.size(), 1u);
    for (const auto& field : Entity<T>::fields()) {
      std::visit([&](auto member) { EXPECT_EQ(back[0].*member, record.*member) << field.attribute; },
                 field.member);
    }
    // The JSON form names every attribute and drops none of the values.
    const nlohmann::json json = recordJson(back[0], ledger_->env().dates());
    EXPECT_EQ(json.size(), Entity<T>::fields().size());
    for (const auto& field : Entity<T>::fields()) {
      ASSERT_TRUE(json.contains(field.attribute)) << field.attribute;
      EXPECT_FALSE(json[field.attribute].is_null()) << field.attribute;
    }
  }
};

TEST_F(EntitiesTest, EveryMemberIsInItsTableAndRoundTrips) {
  expectEveryFieldStored<InOutCome>();
  expectEveryFieldStored<Asset>();
  expectEveryFieldStored<AssetGroup>();
  expectEveryFieldStored<Category>();
  expectEveryFieldStored<Currency>();
  expectEveryFieldStored<Budget>();
  expectEveryFieldStored<BudgetAmount>();
  expectEveryFieldStored<RepeatTransaction>();
  expectEveryFieldStored<FavTransaction>();
  expectEveryFieldStored<Memo>();
  expectEveryFieldStored<Photo>();
  expectEveryFieldStored<Tag>();
  expectEveryFieldStored<TxTag>();
  expectEveryFieldStored<Etc>();
  expectEveryFieldStored<MessageMacro2>();
  expectEveryFieldStored<SmsRawRead>();
  expectEveryFieldStored<CodeData>();
  expectEveryFieldStored<CodeLink>();
  expectEveryFieldStored<Property>();
}

}  // namespace
}  // namespace varnel
