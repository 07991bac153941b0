#include "model/ledger.h"

#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include "model/errors.h"

namespace varnel {

namespace {

void makeFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    throw StoreError("cannot create the data folder " + folder.string() +
                     (ec ? ": " + ec.message() : ""));
  }
}

}  // namespace

std::shared_ptr<spdlog::logger> Ledger::makeFileLogger(const Environment& env) {
  makeFolder(env.appSupportDir());
  try {
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
        (env.appSupportDir() / "varnel.log").string());
    auto log = std::make_shared<spdlog::logger>("varnel", sink);
    log->set_pattern("%Y-%m-%d %H:%M:%S.%e %l %v");
    log->flush_on(spdlog::level::info);
    return log;
  } catch (const spdlog::spdlog_ex& e) {
    throw StoreError(std::string("cannot write the log: ") + e.what());
  }
}

Ledger::Ledger(Environment env, std::shared_ptr<spdlog::logger> log)
    : env_(std::move(env)),
      log_(std::move(log)),
      preferences_(env_.appSupportDir() / "preferences.json"),
      texts_(env_.language()) {}

Ledger::~Ledger() = default;

std::unique_ptr<Ledger> Ledger::open(Environment env, std::shared_ptr<spdlog::logger> log,
                                     std::optional<std::filesystem::path> storePath) {
  makeFolder(env.documentsDir());
  makeFolder(env.appSupportDir());
  if (!log) log = makeFileLogger(env);
  std::unique_ptr<Ledger> ledger(new Ledger(std::move(env), std::move(log)));
  const auto path = storePath.value_or(ledger->env_.storePath());
  ledger->openReport_.created = !Store::inspect(path).exists;
  try {
    ledger->store_ = std::make_unique<Store>(path, *ledger->log_);
  } catch (const MigrationError& e) {
    // Duplicate identifiers written by older releases stop the unique index:
    // keep a copy of the file as it is, repair it and open once more.
    ledger->log_->error("{}", e.what());
    ledger->openReport_.repair =
        repairStoreFile(ledger->env_, *ledger->log_, &ledger->openReport_.safetyCopy, path);
    try {
      ledger->store_ = std::make_unique<Store>(path, *ledger->log_);
    } catch (const MigrationError& again) {
      throw StoreError(std::string("the ledger store cannot be opened even after repair: ") +
                       again.what());
    }
  }
  ledger->commonData_ = std::make_unique<CommonData>(*ledger);
  ledger->commonData_->ReloadTheData();
  return ledger;
}

RepairReport Ledger::repairStoreFile(const Environment& env, spdlog::logger& log,
                                     std::optional<std::filesystem::path>* safetyCopy,
                                     std::optional<std::filesystem::path> storePath) {
  const auto path = storePath.value_or(env.storePath());
  const auto inspection = Store::inspect(path);
  if (!inspection.exists) return {};
  auto copy = backupDataBeforeMigration(env, log, path, SafetyCopyReason::kBeforeUidFix);
  // The repair renames and deletes records: without a copy of the file as it
  // was, it does not run.
  if (!copy) throw StoreError("the duplicate identifiers were not repaired: " + copy.status().message());
  if (safetyCopy) *safetyCopy = copy.value();
  try {
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
    db.setBusyTimeout(Store::kBusyTimeoutMs);
    return fixNotUniqueUid(db, log);
  } catch (const SQLite::Exception& e) {
    throw StoreError("cannot repair " + path.string() + ": " + e.what());
  }
}

}  // namespace varnel
