// pellix-scan: scans pages without a window, the way Pellix's Scan command does.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "pellix/scan_cli.h"
#include "platform/module.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  pellix::CliOptions options;
  std::string error;
  if (!pellix::ParseCliOptions(args, options, error)) {
    std::fprintf(stderr, "pellix-scan: %s\nTry 'pellix-scan --help'.\n", error.c_str());
    return pellix::kExitUsage;
  }
  if (options.help) {
    std::fputs(pellix::UsageText().c_str(), stdout);
    return pellix::kExitOk;
  }
  try {
    return pellix::RunPellixScan(options, px::ExecutableFolder());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pellix-scan: %s\n", e.what());
    return pellix::kExitScanFailed;
  }
}
