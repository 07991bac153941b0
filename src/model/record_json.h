// Records as JSON objects keyed by their attribute names ("Do_Type",
// "amountAccount", …), the form the program's --json output and the desktop
// replies share. Null attributes are JSON null; dates are ISO-8601 local time
// in the ledger's time zone.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include "model/dates.h"
#include "model/entities.h"

namespace varnel {

// Defined for every entity of model/entities.h.
template <class T>
nlohmann::json recordJson(const T& record, const DateUtil& dates);

}  // namespace varnel
