// The outcome of an operation that can fail: success, or a failure kind with
// the real reason (for store failures, SQLite's own error text). Every
// operation that changes the ledger returns one; callers must look at it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace varnel {

enum class StatusCode {
  kOk = 0,
  kInvalidInput,   // the caller's input is wrong; nothing was changed
  kNotFound,       // a named record does not exist; nothing was changed
  kStoreFailure,   // the store could not be read or written (locked, full, corrupt)
  kSystemFailure,  // a file or folder outside the store could not be used
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status ok() { return {}; }
  static Status invalidInput(std::string message) {
    return {StatusCode::kInvalidInput, std::move(message)};
  }
  static Status notFound(std::string message) { return {StatusCode::kNotFound, std::move(message)}; }
  static Status storeFailure(std::string message) {
    return {StatusCode::kStoreFailure, std::move(message)};
  }
  static Status systemFailure(std::string message) {
    return {StatusCode::kSystemFailure, std::move(message)};
  }

  bool isOk() const { return code_ == StatusCode::kOk; }
  explicit operator bool() const { return isOk(); }
  StatusCode code() const { return code_; }
  const std::string& message() const { return message_; }
  // True for failures the caller caused (bad input, unknown names).
  bool isInputFailure() const {
    return code_ == StatusCode::kInvalidInput || code_ == StatusCode::kNotFound;
  }

  // The same failure with `context` in front of its reason ("saving the
  // transaction: database is locked"). Success stays success.
  Status withContext(const std::string& context) const {
    if (isOk()) return *this;
    return {code_, context + ": " + message_};
  }

 private:
  Status(StatusCode code, std::string message) : code_(code), message_(std::move(message)) {}

  StatusCode code_ = StatusCode::kOk;
  std::string message_;
};

// A value, or the failure that prevented it.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status failure) : failure_(std::move(failure)) {}  // NOLINT

  bool isOk() const { return value_.has_value(); }
  explicit operator bool() const { return isOk(); }
  Status status() const { return isOk() ? Status::ok() : failure_; }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  Status failure_;
};

// Returns from the enclosing function when `expr` (a Status) is a failure.
#define VARNEL_RETURN_IF_ERROR(expr)            \
  do {                                          \
    ::varnel::Status varnelStatus_ = (expr);    \
    if (!varnelStatus_) return varnelStatus_;   \
  } while (false)

}  // namespace varnel
