#include "quorra/tests/standin_log.h"

#include <cstdio>
#include <map>

namespace standin {

namespace {
Controls g_controls;
std::vector<std::string> g_log;
std::map<const void*, std::string> g_names;
std::map<std::string, int> g_counters;
}  // namespace

void Reset() {
  g_controls = Controls{};
  g_log.clear();
  g_names.clear();
  g_counters.clear();
}

Controls& Ctl() { return g_controls; }
void Record(const std::string& line) { g_log.push_back(line); }
std::vector<std::string>& Log() { return g_log; }

void Name(const void* address, const std::string& name) { g_names[address] = name; }

std::string NameOf(const void* address) {
  if (!address) return "null";
  auto it = g_names.find(address);
  return it != g_names.end() ? it->second : "unknown";
}

std::string NextName(const std::string& prefix) {
  return prefix + std::to_string(++g_counters[prefix]);
}

}  // namespace standin
