#include "model/preferences.h"

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
  return write();
}

bool Preferences::remove(const std::string& key) {
  values_->json.erase(key);
  return write();
}

bool Preferences::write() {
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  const auto temp = file_.string() + ".tmp";
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
