#include "model/preferences.h"

#include <unistd.h>

#include <fstream>

#include <nlohmann/json.hpp>

namespace varnel {

struct Preferences::Values {
  nlohmann::json json = nlohmann::json::object();
};

Preferences::Preferences(std::filesystem::path file)
    : file_(std::move(file)), values_(std::make_unique<Values>()) {
  std::ifstream in(file_);
  if (!in) return;
  auto parsed = nlohmann::json::parse(in, nullptr, false);
  if (parsed.is_object()) values_->json = std::move(parsed);
}

Preferences::~Preferences() = default;

std::optional<std::string> Preferences::getString(const std::string& key) const {
  auto it = values_->json.find(key);
  if (it == values_->json.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool Preferences::setString(const std::string& key, const std::string& value) {
  values_->json[key] = value;
  if (held_) {
    held_->emplace_back(key, value);
    return true;
  }
  return write();
}

bool Preferences::remove(const std::string& key) {
  values_->json.erase(key);
  if (held_) {
    held_->emplace_back(key, std::nullopt);
    return true;
  }
  return write();
}

void Preferences::hold(std::shared_ptr<Changes> changes) { held_ = std::move(changes); }

bool Preferences::apply(const Changes& changes) {
  if (changes.empty()) return true;
  for (const auto& [key, value] : changes) {
    if (value) {
      values_->json[key] = *value;
    } else {
      values_->json.erase(key);
    }
  }
  return write();
}

bool Preferences::write() {
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  // A temporary file of this process's own: two processes writing one
  // temporary file at once would interleave into a file that reads as empty.
  const auto temp = file_.string() + ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) return false;
    out << values_->json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    if (!out.flush()) return false;
  }
  std::filesystem::rename(temp, file_, ec);
  return !ec;
}

}  // namespace varnel
