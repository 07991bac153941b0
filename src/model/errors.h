// Error types raised at the edges of the library. Store save failures are not
// errors: they are logged and the caller goes on (see BaseRepository).
#pragma once

#include <stdexcept>
#include <string>

namespace varnel {

// Input a user can get wrong: a bad option value, a file that is not ours, a
// name that matches nothing. Carries a one-line message for the person.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The ledger store cannot be opened or created (unreadable file, foreign
// database, newer schema, folder that cannot be written).
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opening the store failed while bringing its schema up to date (for example
// a unique identifier index that duplicates prevent). The file is unchanged.
class MigrationError : public StoreError {
 public:
  using StoreError::StoreError;
};

}  // namespace varnel
