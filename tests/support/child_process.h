// Work run in a forked child that the test may kill at a chosen moment, as a
// power cut or a killed process would stop it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace varnel::testing {

struct ChildOutcome {
  bool killed = false;                   // ended by SIGKILL; otherwise it exited 0
  std::chrono::microseconds runTime{0};  // from the start of the work to the end
};

// Forks a child that runs `child(readyFd)`: it writes one byte to `readyFd`
// when its work begins and ends with _exit. The parent kills it `killAfter`
// after that byte, when given. Throws, naming `work`, when the child was
// not killed and did not exit 0.
ChildOutcome runInChild(const std::function<void(int readyFd)>& child,
                        std::optional<std::chrono::microseconds> killAfter, const std::string& work);

}  // namespace varnel::testing
