// The device's own key/value preferences (last automatic-payment day, rate
// refresh time, macro refresh version, set-up choices). They belong to the
// device, not to the ledger: they are not backed up or synchronised.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace varnel {

class Preferences {
 public:
  // Reads `file` when it exists; an unreadable file counts as empty and is
  // replaced at the next write.
  explicit Preferences(std::filesystem::path file);
  ~Preferences();
  Preferences(const Preferences&) = delete;
  Preferences& operator=(const Preferences&) = delete;

  std::optional<std::string> getString(const std::string& key) const;
  // Writes through to the file at once (whole-file replace, so a crash never
  // leaves half a file). Returns false when the file cannot be written.
  bool setString(const std::string& key, const std::string& value);
  bool remove(const std::string& key);

 private:
  bool write();

  // The file's JSON object, kept whole (values of other kinds included) so
  // that a write never drops what another version stored.
  struct Values;
  std::filesystem::path file_;
  std::unique_ptr<Values> values_;
};

}  // namespace varnel
