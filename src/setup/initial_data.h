// The default ledger written into a store that has no settings yet.
#pragma once

namespace varnel {

class Ledger;

// Writes the default ledger when the store has no settings record; returns
// whether it wrote anything. `variant` is the set-up choice of the first
// start (0 when none was made).
bool settingDefaultData(Ledger& ledger, int variant = 0);

}  // namespace varnel
