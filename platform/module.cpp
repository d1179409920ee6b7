#include "platform/module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace px {

std::string LibraryPath(const std::string& folder, const std::string& baseName) {
  return folder + "/" + baseName + kLibrarySuffix;
}

static std::string FolderOfPath(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ModuleFolderOf(const void* address) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0 || !info.dli_fname) return std::string();
  std::string path = info.dli_fname;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) path = resolved;
  return FolderOfPath(path);
}

std::string ExecutableFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return std::string();
  return FolderOfPath(std::string(buffer.data(), static_cast<size_t>(n)));
}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

bool Module::Load(const std::string& path) {
  Unload();
  dlerror();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr;
}

void Module::Unload() {
  if (handle_) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

void* Module::Symbol(const char* name) const {
  if (!handle_ || !name) return nullptr;
  return dlsym(handle_, name);
}

std::string Module::LastError() {
  const char* text = dlerror();
  return text ? std::string(text) : std::string();
}

}  // namespace px
