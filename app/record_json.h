// Records as JSON objects keyed by their attribute names; dates as ISO-8601
// local time.
#pragma once

#include <nlohmann/json.hpp>

#include "model/dates.h"
#include "model/entities.h"

namespace varnel::cli {

template <class T>
nlohmann::json recordJson(const T& record, const DateUtil& dates) {
  nlohmann::json out = nlohmann::json::object();
  for (const auto& f : Entity<T>::fields()) {
    std::visit(
        [&](auto member) {
          const auto& value = record.*member;
          using V = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<V, int64_t>) {
            out[f.attribute] = value;
          } else if (!value) {
            out[f.attribute] = nullptr;
          } else if constexpr (std::is_same_v<V, Real>) {
            if (f.type == ColumnType::kDate) {
              out[f.attribute] = dates.isoLocal(*value);
            } else {
              out[f.attribute] = *value;
            }
          } else {
            out[f.attribute] = *value;
          }
        },
        f.member);
  }
  return out;
}

}  // namespace varnel::cli
