// Replacing the ledger's store with a whole new one (a restore, a ledger
// loaded from another device): the new store is built in a file beside the
// old one, checked, and only then put in its place by one rename, after a
// safety copy of the old store. A kill at any moment leaves the old store or
// the new one under the store's name, never a mix and never nothing.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "model/status.h"

namespace spdlog {
class logger;
}

namespace varnel {

class Environment;
class Ledger;

// What the check of a candidate store found.
struct CandidateCheck {
  int schemaVersion = 0;  // PRAGMA user_version
  int dataVersion = 0;    // the data version setting; 0 when there is none
};

// Checks that `candidate` can take the store's place: it opens as SQLite,
// `PRAGMA quick_check` says "ok", it carries our application id and a
// schema this version reads, every ledger table is there, and the data
// version setting, when present, is a decimal number. Rolls back a hot
// journal the candidate may have and leaves it in rollback-journal mode
// with nothing beside it. Fails (invalid input) with the first thing wrong.
[[nodiscard]] Result<CandidateCheck> checkCandidateStore(const std::filesystem::path& candidate);

// What a swap did.
struct StoreSwapReport {
  std::optional<std::filesystem::path> safetyCopy;  // none when there was no store to keep
  CandidateCheck candidate;
};

// A fresh, unused name for a working file beside `storeFile` ("tag" tells
// what it is for: "candidate", "gunzip", …). Working files of processes that
// no longer run are found and removed by removeLeftoverWorkFiles().
std::filesystem::path workFilePath(const std::filesystem::path& storeFile, const std::string& tag);

// Removes the working files (and their journals) that killed processes left
// beside `storeFile`. Files of processes still running are left alone.
// Returns how many were removed.
int removeLeftoverWorkFiles(const std::filesystem::path& storeFile, spdlog::logger& log);

// Puts `candidate` (a file in the store's own folder) in place of
// `storeFile`, for a caller that has no ledger open on that store in this
// process (other processes may have it open: their writes after the swap
// fail with "attempt to write a readonly database" instead of landing in the
// replaced file). In order: checks the candidate (checkCandidateStore); takes
// the store's write lock, so that no write is under way; takes a safety copy
// of the old store into the on-demand backup folder (a byte copy when the old
// store is too damaged for SQLite to read); syncs the candidate to disk;
// renames it over the store; syncs the folder. When there is no store yet,
// the candidate only takes its name.
// On success the candidate's name is gone. On failure the store is exactly
// as it was, the candidate is left where it is (its creator removes it),
// and the failure says why: invalid input for a candidate that fails its
// check, a system or store failure otherwise.
[[nodiscard]] Result<StoreSwapReport> replaceStoreFile(const Environment& env, spdlog::logger& log,
                                                       const std::filesystem::path& storeFile,
                                                       const std::filesystem::path& candidate);

// The same for an open ledger: `ledger` is closed for the swap and opened
// again on the new store. Nothing else may hold on to the ledger (its
// repositories, its caches) across the call. When opening the new store
// fails, the old store is put back and opened again, and the failure is
// returned; the old store is then as it was. `ledger` is null afterwards
// only when even the old store cannot be opened again (the failure says so).
[[nodiscard]] Result<StoreSwapReport> replaceLedgerStore(std::unique_ptr<Ledger>& ledger,
                                                         const std::filesystem::path& candidate);

}  // namespace varnel
