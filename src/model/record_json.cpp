#include "model/record_json.h"

#include <type_traits>
#include <variant>

#include <nlohmann/json.hpp>

namespace varnel {

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

#define VARNEL_INSTANTIATE_RECORD_JSON(T) template nlohmann::json recordJson<T>(const T&, const DateUtil&);
VARNEL_FOR_EACH_ENTITY(VARNEL_INSTANTIATE_RECORD_JSON)
#undef VARNEL_INSTANTIATE_RECORD_JSON

}  // namespace varnel
