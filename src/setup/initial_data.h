// The default ledger written into a store that has no settings yet: settings,
// main currency, categories, account groups, three accounts, message rules and
// the two system tags. Each step writes its part only while that part of the
// store is still empty.
#pragma once

#include <string>

#include "model/status.h"

namespace varnel {

class Ledger;

class EasyInitDataMake {
 public:
  explicit EasyInitDataMake(Ledger& ledger) : ledger_(ledger) {}

  // The set-up variant of a new ledger: 0 to 9, drawn from a generator seeded
  // with the environment's clock (so a fixed "now" fixes it). Variant 9 takes
  // the older category lists, 8 and 9 set the emoji preference, 6 and 7 the
  // daily memo button.
  int drawSetupVariant() const;

  // The settings, the main currency from the locale (else "USD") and the
  // device's theme preferences.
  Status initSetting(int variant);
  // Categories from the bundled lists, when the store has none.
  Status initCategory(int variant);
  // Account groups, when the store has none and fewer than 4 transactions.
  Status initAccGroupData();
  // Cash "1", bank "2" and credit card "3" in the main currency, when the
  // store has no account.
  Status initAsset();
  // Creates, from the bundled group list, the groups the three initial
  // accounts belong to ("11", "1", "2") when they are missing, so accounts
  // recreated in a ledger that kept other groups are never left without one.
  Status ensureInitialAccountGroups();
  Status initMessageMacroSetting();
  Status initTag();

 private:
  Ledger& ledger_;
};

// Writes the default ledger when the store has no settings record, in one
// store transaction (so a crash cannot leave settings without the rest), then
// reloads the caches. Returns whether it wrote anything, or the failure
// (nothing written). Several processes opening a new store at once write it
// once: the check runs inside the write transaction. `variant` -1 draws the
// set-up variant.
Result<bool> settingDefaultData(Ledger& ledger, int variant = -1);

}  // namespace varnel
