// Read-only resources compiled into the library: the XML lists read when a
// ledger is set up and the localised message texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

namespace detail {
struct EmbeddedResource {
  const char* name;
  std::string_view data;
};
const std::vector<EmbeddedResource>& embeddedResources();
}  // namespace detail

// The bytes of the resource at `name` (a path below resources/, such as
// "strings/en.xml"), or nothing when there is no such resource.
inline std::optional<std::string_view> resource(std::string_view name) {
  for (const auto& r : detail::embeddedResources()) {
    if (name == r.name) return r.data;
  }
  return std::nullopt;
}

}  // namespace varnel
