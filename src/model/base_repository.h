// What every repository does the same way: new records and identifiers,
// fetching, saving with the change stamp, soft deletion, ordering numbers,
// the records pending synchronisation, and the period date helpers.
//
// Saves never throw: a failed save is logged as "<operation> fail <error>" and
// returned as a failed Status carrying SQLite's reason. Reads throw
// StoreError when the store cannot be read, never returning an empty result
// for a failure.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/entities.h"
#include "model/ledger.h"
#include "model/record_io.h"
#include "model/status.h"

namespace varnel {

class BaseRepository {
 public:
  explicit BaseRepository(Ledger& ledger) : ledger_(ledger) {}

  Store& getContext() { return ledger_.store(); }
  Ledger& ledger() { return ledger_; }

  // A new identifier: a random UUID, 36 upper-case characters (8-4-4-4-12).
  static std::string newUid();
  // A new photo file name: a random UUID in lower case followed by ".jpg".
  static std::string newPhotoFileName();

  // A new, unsaved record with a new identifier.
  template <class T>
  T newObjectForEntity() {
    T record;
    record.uid = newUid();
    return record;
  }
  // A new, unsaved record with the given identifier; `isDel` null.
  template <class T>
  T newObjectForEntity(std::string uid) {
    T record;
    record.uid = std::move(uid);
    return record;
  }

  // The next ordering number of `attribute`: the largest stored value + 1
  // (deleted records count), or 1 for an empty entity or an attribute the
  // entity lacks. A failed fetch logs "Error fetching index: …" and throws
  // StoreError.
  template <class T>
  int64_t nextAvailble(std::string_view attribute);

  // The first record with this identifier, deleted or not.
  template <class T>
  std::optional<T> dataByUid(const std::string& uid) {
    return getFirst(fetch<T>(" WHERE ZUID = ? LIMIT 1", uid));
  }

  template <class T>
  static std::optional<T> getFirst(const std::vector<T>& list) {
    if (list.empty()) return std::nullopt;
    return list.front();
  }

  // Records changed locally and not yet written into a delta file
  // (isSynced 1), newest sync time first, at most `countTop`.
  template <class T>
  std::vector<T> listSyncWithEntityName(int countTop) {
    return fetch<T>(" WHERE ZISSYNCED = ? ORDER BY ZSYNCTIME DESC LIMIT ?", 1, countTop);
  }

  // Records of T whose SELECT ends in `clause` (" WHERE … ORDER BY …", column
  // names) with `args` bound in order. A failed read logs "query error : <sql>"
  // and throws StoreError.
  template <class T, class... Args>
  std::vector<T> fetch(const std::string& clause, const Args&... args);

  // Like fetch, but hands each record to `visit` as it is read, so that a
  // large result is never held in memory at once. A failed read logs and
  // throws StoreError.
  template <class T, class Visit, class... Args>
  void forEach(const std::string& clause, Visit&& visit, const Args&... args);

  // Inserts (pk 0) or updates the record without touching its stamp.
  template <class T>
  Status save(T& record, std::string_view operation);
  // Sets `utime` to now (ms) and `isSynced` to 1.
  template <class T>
  void stamp(T& record);
  // Stamps and saves; when the save fails the record keeps its old stamp.
  template <class T>
  Status saveStamped(T& record, std::string_view operation);
  // Saves every record in one transaction; stamped when `withStamp`. On
  // failure nothing is saved and the records keep their row keys and stamps.
  template <class T>
  Status saveAll(std::vector<T>& records, std::string_view operation, bool withStamp);
  // Soft deletion: `isDel` 1, stamped and saved.
  template <class T>
  Status deleteRecord(T& record, std::string_view operation) {
    const auto before = record.isDel;
    assignNumber(record.isDel, 1);
    Status saved = saveStamped(record, operation);
    if (!saved) record.isDel = before;
    return saved;
  }
  // Stamps every record of the list and saves once.
  template <class T>
  Status appSyncUpdate(std::vector<T>& records) {
    return saveAll(records, "appSyncUpdate", true);
  }

  // Runs `body` (returning Status) inside a write transaction, a savepoint
  // when one is already open: commits when it succeeds, rolls every change of
  // it back when it fails or throws. A failure to begin or to commit is
  // logged as "<operation> fail <reason>" and returned.
  template <class Body>
  Status inTransaction(Body&& body, std::string_view operation) {
    try {
      StoreTransaction transaction(getContext());
      Status result = body();
      if (!result) return result;
      transaction.commit();
      return result;
    } catch (const SQLite::Exception& e) {
      return getContext().writeFailed(operation, e);
    }
  }

  // Runs the duplicate-identifier repair on this store's connection.
  RepairReport fixNotUniqueUid();

  // The start day clamped to the month's length, February having 29 days in
  // years divisible by 4 (and 28 otherwise).
  static int getStartDay(int year, int month, int startDay);
  // "yyyyMM" followed by the clamped day as two digits.
  static std::string getAddDay(const std::string& yyyymm, int startDay);
  // The week start of the date (by the week-start setting) as yyyyMMdd, its
  // period month as yyyyMM and its period year as yyyy.
  std::array<std::string, 3> getIntDateWeekMonthYear(double date, int calcDayInt);

  int64_t nowMs() const { return ledger_.env().nowMs(); }

 protected:
  spdlog::logger& log() { return ledger_.log(); }

  Ledger& ledger_;
};

template <class T>
int64_t BaseRepository::nextAvailble(std::string_view attribute) {
  std::string column;
  for (const auto& f : Entity<T>::fields()) {
    if (f.attribute == attribute) column = f.column;
  }
  if (column.empty()) {
    getContext().logError("Error fetching index: " + std::string(attribute) + "\nno such attribute");
    return 1;
  }
  try {
    auto st = getContext().prepare("SELECT MAX(" + column + ") FROM " + Entity<T>::table());
    if (st.executeStep() && !st.getColumn(0).isNull()) return st.getColumn(0).getInt64() + 1;
    return 1;
  } catch (const SQLite::Exception& e) {
    getContext().logError("Error fetching index: " + std::string(e.what()) + "\n" + column);
    getContext().readFailed("MAX(" + column + ")", e);
  }
}

template <class T, class... Args>
std::vector<T> BaseRepository::fetch(const std::string& clause, const Args&... args) {
  std::vector<T> out;
  const std::string sql = record_io::selectSql<T>() + clause;
  try {
    auto st = getContext().prepare(sql);
    int i = 0;
    (st.bind(++i, args), ...);
    while (st.executeStep()) out.push_back(record_io::readRecord<T>(st));
  } catch (const SQLite::Exception& e) {
    getContext().readFailed(sql, e);
  }
  return out;
}

template <class T, class Visit, class... Args>
void BaseRepository::forEach(const std::string& clause, Visit&& visit, const Args&... args) {
  const std::string sql = record_io::selectSql<T>() + clause;
  try {
    auto st = getContext().prepare(sql);
    int i = 0;
    (st.bind(++i, args), ...);
    while (st.executeStep()) visit(record_io::readRecord<T>(st));
  } catch (const SQLite::Exception& e) {
    getContext().readFailed(sql, e);
  }
}

template <class T>
Status BaseRepository::save(T& record, std::string_view operation) {
  try {
    if (record.pk == 0) {
      auto st = getContext().prepare(record_io::insertSql<T>());
      record_io::bindFields(st.get(), record);
      st.exec();
      record.pk = getContext().db().getLastInsertRowid();
    } else {
      auto st = getContext().prepare(record_io::updateSql<T>());
      const int n = record_io::bindFields(st.get(), record);
      st.bind(n + 1, record.pk);
      st.exec();
    }
    return Status::ok();
  } catch (const SQLite::Exception& e) {
    return getContext().writeFailed(operation, e);
  }
}

template <class T>
void BaseRepository::stamp(T& record) {
  assignNumber(record.utime, nowMs());
  if constexpr (requires { record.isSynced; }) assignNumber(record.isSynced, 1);
}

template <class T>
Status BaseRepository::saveStamped(T& record, std::string_view operation) {
  const T before = record;
  stamp(record);
  Status saved = save(record, operation);
  if (saved) return saved;
  record.utime = before.utime;
  if constexpr (requires { record.isSynced; }) record.isSynced = before.isSynced;
  return saved;
}

template <class T>
Status BaseRepository::saveAll(std::vector<T>& records, std::string_view operation, bool withStamp) {
  if (records.empty()) return Status::ok();
  // What a failed batch must give back: the transaction rolls the rows back,
  // so the records lose their new row keys and stamps too.
  struct Before {
    int64_t pk;
    decltype(T::utime) utime;
  };
  std::vector<Before> before;
  before.reserve(records.size());
  for (const auto& r : records) before.push_back({r.pk, r.utime});
  auto restore = [&] {
    for (size_t i = 0; i < records.size(); ++i) {
      records[i].pk = before[i].pk;
      if (withStamp) {
        records[i].utime = before[i].utime;
      }
    }
  };
  try {
    StoreTransaction transaction(getContext());
    for (auto& record : records) {
      if (withStamp) stamp(record);
      Status saved = save(record, operation);
      if (!saved) {
        restore();
        return saved;
      }
    }
    transaction.commit();
    return Status::ok();
  } catch (const SQLite::Exception& e) {
    restore();
    return getContext().writeFailed(operation, e);
  }
}

}  // namespace varnel
