// Run-time loading of the suite's libraries by file name.
#pragma once

#include <string>
#include <type_traits>

namespace px {

/// Suffix of every run-time loaded library of the suite.
inline constexpr const char* kLibrarySuffix = ".so";

/// folder + "/" + base name + suffix ("Tembra" -> "/opt/x/Tembra.so").
std::string LibraryPath(const std::string& folder, const std::string& baseName);

/// Folder (without the final "/") of the module that holds `address`.
/// Empty when it cannot be found.
std::string ModuleFolderOf(const void* address);

/// Folder of the running program (from /proc/self/exe), without the final "/".
std::string ExecutableFolder();

/// One loaded library. Not copyable; unloads on destruction.
class Module {
 public:
  Module() = default;
  ~Module() { Unload(); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  Module(Module&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Module& operator=(Module&& other) noexcept;

  /// Loads `path` (RTLD_NOW | RTLD_LOCAL), unloading any library held before.
  bool Load(const std::string& path);
  void Unload();
  bool IsLoaded() const { return handle_ != nullptr; }
  /// Address of `name`, or null.
  void* Symbol(const char* name) const;
  /// Last loader error text (dlerror), for messages.
  static std::string LastError();

  /// Binds every slot of a function table (interfaces/api_table.h). When a
  /// name is missing the table is cleared, the library unloaded and false
  /// returned: nothing half-bound is ever used.
  template <class Api>
  bool BindAll(Api& api) {
    bool complete = IsLoaded();
    api.ForEach([&](const char* name, auto& slot) {
      void* address = complete ? Symbol(name) : nullptr;
      if (!address) complete = false;
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
    });
    if (!complete) {
      api.Clear();
      Unload();
    }
    return complete;
  }

  /// Binds what is there and leaves missing slots null.
  template <class Api>
  int BindAvailable(Api& api) {
    int found = 0;
    api.ForEach([&](const char* name, auto& slot) {
      void* address = IsLoaded() ? Symbol(name) : nullptr;
      if (address) ++found;
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
    });
    return found;
  }

 private:
  void* handle_ = nullptr;
};

}  // namespace px
