// Error types raised at the edges of the library. The program maps them to
// its exit codes: InputError 2 (the caller's input is wrong), StoreError 1
// (the store or the system failed). Writes report their outcome as a Status
// (model/status.h); a read that fails throws StoreError, so that no caller
// can mistake a failed read for an empty ledger.
#pragma once

#include <stdexcept>
#include <string>

#include "model/status.h"

namespace varnel {

// Input a user can get wrong: a bad option value, a file that is not ours, a
// name that matches nothing. Carries a one-line message for the person.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file at the store's place is not a ledger this version can use (not
// SQLite, a database of something else, a newer schema). It is left as it was.
class UnusableStoreError : public InputError {
 public:
  using InputError::InputError;
};

// The ledger store cannot be read or written (locked beyond the busy
// timeout, disk full, corrupt pages, a folder that cannot be written, a
// safety copy that cannot be taken).
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opening the store failed while bringing its schema up to date because
// duplicate identifiers stop a unique index. The file is unchanged.
class MigrationError : public StoreError {
 public:
  using StoreError::StoreError;
};

// Throws the exception that matches a failed status; does nothing on success.
inline void throwIfFailed(const Status& status) {
  if (status) return;
  if (status.isInputFailure()) throw InputError(status.message());
  throw StoreError(status.message());
}

}  // namespace varnel
