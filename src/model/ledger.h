// One ledger: the store file, its shared caches, the device preferences, the
// localised texts and the environment everything takes time and locale from.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "model/common_data.h"
#include "model/environment.h"
#include "model/preferences.h"
#include "model/safety_copy.h"
#include "model/store.h"
#include "model/texts.h"
#include "model/uid_repair.h"

namespace spdlog {
class logger;
}

namespace varnel {

// The cloud side of a settings change that must reach every device at once:
// ask the cloud for a sync request, then upload this device's changes. The
// cloud client implements it; without one, such changes are refused.
class CloudSyncRequester {
 public:
  virtual ~CloudSyncRequester() = default;
  // Calls `done(true)` once the cloud accepted and the upload succeeded.
  virtual void requestSyncAndUpload(std::function<void(bool ok)> done) = 0;
};

class Ledger {
 public:
  // What opening had to do to the file.
  struct OpenReport {
    bool created = false;                         // the store file was new
    std::optional<RepairReport> repair;           // duplicates were repaired
    std::optional<std::filesystem::path> safetyCopy;
  };

  // Opens (or creates) the store in the environment's documents folder, or
  // at `storePath` when one is given. When duplicate identifiers stop the
  // schema update, takes a safety copy, repairs and tries once more; without
  // the safety copy it does not repair. Throws UnusableStoreError for a file
  // that is not a ledger this version can use, StoreError when the folder
  // cannot be written, the store cannot be opened or the copy cannot be
  // taken; the file is then left as it was.
  static std::unique_ptr<Ledger> open(Environment env,
                                      std::shared_ptr<spdlog::logger> log = nullptr,
                                      std::optional<std::filesystem::path> storePath = {});

  // Runs the duplicate-identifier repair on the store file with its safety
  // copy first, without opening it as a ledger (so that a file whose
  // duplicates stop opening can be repaired too). Throws UnusableStoreError
  // for a file that is not a ledger store, and StoreError when the safety
  // copy cannot be taken (nothing is then changed) or the repair fails.
  static RepairReport repairStoreFile(const Environment& env, spdlog::logger& log,
                                      std::optional<std::filesystem::path>* safetyCopy = nullptr,
                                      std::optional<std::filesystem::path> storePath = {});

  // A logger writing plain lines to "varnel.log" in the application-support
  // folder. Throws StoreError when the folder cannot be made.
  static std::shared_ptr<spdlog::logger> makeFileLogger(const Environment& env);

  ~Ledger();

  Environment& env() { return env_; }
  const Environment& env() const { return env_; }
  Store& store() { return *store_; }
  CommonData& commonData() { return *commonData_; }
  Preferences& preferences() { return preferences_; }
  const Texts& texts() const { return texts_; }
  spdlog::logger& log() { return *log_; }
  // The same logger, for opening another ledger (or this one again) on it.
  const std::shared_ptr<spdlog::logger>& sharedLog() const { return log_; }
  const OpenReport& openReport() const { return openReport_; }

  CloudSyncRequester* cloudSync() { return cloudSync_; }
  void setCloudSync(CloudSyncRequester* requester) { cloudSync_ = requester; }

 private:
  Ledger(Environment env, std::shared_ptr<spdlog::logger> log);

  Environment env_;
  std::shared_ptr<spdlog::logger> log_;
  Preferences preferences_;
  Texts texts_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<CommonData> commonData_;
  OpenReport openReport_;
  CloudSyncRequester* cloudSync_ = nullptr;
};

}  // namespace varnel
