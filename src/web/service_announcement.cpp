#include "web/service_announcement.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <vector>

#include <asio/buffer.hpp>
#include <spdlog/spdlog.h>

extern char** environ;

namespace varnel::web {

namespace {

std::string withoutTrailingDot(std::string text) {
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

std::string machineName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "varnel";
  std::string text(name);
  return text.substr(0, text.find('.'));
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

ServiceAnnouncement::ServiceAnnouncement(asio::io_context& io, std::shared_ptr<spdlog::logger> log,
                                         AnnouncementTool tool)
    : log_(std::move(log)), tool_(std::move(tool)), output_(io) {}

ServiceAnnouncement::~ServiceAnnouncement() {
  if (child_ > 0) endChild();
}

void ServiceAnnouncement::publish(const std::string& domain, const std::string& type,
                                  const std::string& name, uint16_t port,
                                  const std::map<std::string, std::string>& txtRecord) {
  withdraw();
  domain_ = domain;
  type_ = type;
  name_ = name.empty() ? machineName() : name;
  text_.clear();

  std::error_code error;
  if (!std::filesystem::exists(tool_.daemonSocket, error)) {
    state_ = State::kSkipped;
    log_->info("Service announcement skipped: the Avahi daemon is not running (no {})",
               tool_.daemonSocket.string());
    return;
  }

  std::vector<std::string> arguments = {tool_.program.string()};
  if (!domain_.empty()) arguments.push_back("--domain=" + withoutTrailingDot(domain_));
  arguments.push_back(name_);
  arguments.push_back(withoutTrailingDot(type_));
  arguments.push_back(std::to_string(port));
  for (const auto& [key, value] : txtRecord) arguments.push_back(key + "=" + value);
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) {
    logFailure(std::string("cannot make a pipe: ") + std::strerror(errno));
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], 2);
  // The child must not keep our listening socket or the ledger's files open.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t child = -1;
  const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  if (spawned != 0) {
    ::close(pipe[0]);
    logFailure("cannot run " + tool_.program.string() + ": " + std::strerror(spawned));
    return;
  }
  child_ = child;
  state_ = State::kPending;
  output_.assign(pipe[0]);
  readOutput();
}

void ServiceAnnouncement::readOutput() {
  output_.async_read_some(asio::buffer(buffer_),
                          [self = shared_from_this()](const std::error_code& error, std::size_t bytes) {
                            if (error == asio::error::operation_aborted) return;
                            if (error) {
                              self->onOutputEnded();
                              return;
                            }
                            self->text_.append(self->buffer_, bytes);
                            // Bounded: only the tool's first words matter.
                            if (self->text_.size() > 4096) self->text_.resize(4096);
                            if (self->state_ == State::kPending &&
                                self->text_.find("Established under name") != std::string::npos) {
                              self->state_ = State::kPublished;
                              self->log_->info("Bonjour Service Published: domain({}) type({}) name({})",
                                               self->domain_, self->type_, self->name_);
                            }
                            self->readOutput();
                          });
}

void ServiceAnnouncement::onOutputEnded() {
  std::error_code ignored;
  output_.close(ignored);
  int status = 0;
  pid_t done;
  do {
    done = ::waitpid(child_, &status, 0);
  } while (done < 0 && errno == EINTR);
  child_ = -1;
  std::string reason = trimmed(text_);
  if (WIFEXITED(status)) {
    reason += (reason.empty() ? "" : "; ") + std::string("exit status ") +
              std::to_string(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    reason += (reason.empty() ? "" : "; ") + std::string("ended by signal ") +
              std::to_string(WTERMSIG(status));
  }
  logFailure(reason);
}

void ServiceAnnouncement::logFailure(const std::string& reason) {
  state_ = State::kFailed;
  log_->warn("Failed to Publish Service: domain({}) type({}) name({})", domain_, type_, name_);
  log_->warn("Error Dict: {}", reason);
}

void ServiceAnnouncement::withdraw() {
  if (child_ > 0) endChild();
  std::error_code ignored;
  output_.close(ignored);
  state_ = State::kIdle;
}

void ServiceAnnouncement::endChild() {
  ::kill(child_, SIGTERM);
  // The tool leaves at once on SIGTERM; one that does not is killed after
  // two seconds rather than holding up the stop.
  for (int waited = 0;; ++waited) {
    int status = 0;
    const pid_t done = ::waitpid(child_, &status, WNOHANG);
    if (done == child_ || (done < 0 && errno != EINTR)) break;
    if (waited == 200) ::kill(child_, SIGKILL);
    const timespec pause{0, 10'000'000};
    ::nanosleep(&pause, nullptr);
  }
  child_ = -1;
}

}  // namespace varnel::web
