#include "support/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace varnel::testing {

ChildOutcome runInChild(const std::function<void(int readyFd)>& child,
                        std::optional<std::chrono::microseconds> killAfter, const std::string& work) {
  int ready[2];
  if (::pipe(ready) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::close(ready[0]);
    child(ready[1]);
    _exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  const bool began = ::read(ready[0], &byte, 1) == 1;
  const auto start = std::chrono::steady_clock::now();
  if (began && killAfter) {
    std::this_thread::sleep_for(*killAfter);
    ::kill(pid, SIGKILL);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ::close(ready[0]);
  ChildOutcome outcome;
  outcome.runTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  outcome.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  if (!outcome.killed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
    throw std::runtime_error(work + " failed in the child: status " + std::to_string(status));
  }
  return outcome;
}

}  // namespace varnel::testing
