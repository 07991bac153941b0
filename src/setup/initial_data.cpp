#include "setup/initial_data.h"

#include "model/etc_repository.h"

namespace varnel {

bool settingDefaultData(Ledger& ledger, int variant) {
  EtcRepository etc(ledger);
  if (!etc.getListAll().empty()) return false;
  return etc.saveBasicEtc(variant);
}

}  // namespace varnel
