// How long work (a backup, a restore) tells how far it got, for a front end
// that shows it: the stage, and the work done of the work there is in it
// (bytes or tables; `total` 0 when unknown). Called from the working thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace varnel {

using Progress = std::function<void(std::string_view stage, uint64_t done, uint64_t total)>;

}  // namespace varnel
