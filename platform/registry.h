// The per-user settings store that stands in for the registry: one INI file,
// ${XDG_CONFIG_HOME:-$HOME/.config}/pellix/registry.ini, a section per key path
// ("SOFTWARE\Dorvex\Default"), values as text. Writes are atomic.
#pragma once

#include <optional>
#include <string>

namespace px {

class RegistryKey {
 public:
  explicit RegistryKey(std::string keyPath) : keyPath_(std::move(keyPath)) {}
  /// Path of the file behind the store.
  static std::string StorePath();
  /// "Open for reading" succeeds only when the key exists.
  bool Exists() const;
  std::optional<std::string> Query(const std::string& name) const;
  /// Creates the file, folder and key as needed.
  bool Set(const std::string& name, const std::string& value) const;

 private:
  std::string keyPath_;
};

}  // namespace px
