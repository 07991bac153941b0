// The device's own key/value preferences (last automatic-payment day, rate
// refresh time, macro refresh version, set-up choices). They belong to the
// device, not to the ledger: they are not backed up or synchronised.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnel {

class Preferences {
 public:
  // Changes in the order they were made: a key with its new value, or with
  // nullopt when it was removed.
  using Changes = std::vector<std::pair<std::string, std::optional<std::string>>>;

  // Reads `file` when it exists; an unreadable file counts as empty and is
  // replaced at the next write.
  explicit Preferences(std::filesystem::path file);
  ~Preferences();
  Preferences(const Preferences&) = delete;
  Preferences& operator=(const Preferences&) = delete;

  std::optional<std::string> getString(const std::string& key) const;
  // Writes through to the file at once (whole-file replace, so a crash never
  // leaves half a file), unless held. Returns false when the file cannot be
  // written.
  bool setString(const std::string& key, const std::string& value);
  bool remove(const std::string& key);

  // From now on changes are only kept here and appended to `*changes`,
  // never written: a ledger set up in a file of its own, which may never be
  // published, must not change the device's preferences. Whoever publishes
  // the ledger applies them with apply().
  void hold(std::shared_ptr<Changes> changes);
  // Makes `changes` on the file as it is now, in one write. Returns false
  // when the file cannot be written.
  bool apply(const Changes& changes);

 private:
  bool write();

  // The file's JSON object, kept whole (values of other kinds included) so
  // that a write never drops what another version stored.
  struct Values;
  std::filesystem::path file_;
  std::unique_ptr<Values> values_;
  std::shared_ptr<Changes> held_;
};

}  // namespace varnel
