// quorra-scan: drives Quorra.so the way a TWAIN data source does and writes
// every page it receives as a file.
#include <QApplication>
#include <QMetaObject>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "hosts/page_file.h"
#include "interfaces/quorra_api.h"
#include "platform/global_memory.h"
#include "platform/module.h"

namespace {

// Exit codes, listed in the help text.
enum Exit {
  kExitOk = 0,
  kExitUsage = 1,
  kExitNoModule = 2,
  kExitNoDevice = 3,
  kExitNoPage = 4,
  kExitCancelled = 5,
  kExitTransfer = 6,
  kExitWrite = 7,
  kExitNoPanel = 8,
};

const char kHelp[] =
    "Usage: quorra-scan [options]\n"
    "Scans pages through the scan module Quorra.so (next to this program) and\n"
    "writes each page as a file: BMP for black-and-white, gray and colour pages,\n"
    "16-bit TIFF for color48 and gray16.\n"
    "\n"
    "Options:\n"
    "  --mode MODE        color (default), gray, lineart, color48 or gray16\n"
    "  --dpi N            resolution in dots per inch, 1 to 32767 (default 300)\n"
    "  --area L,T,W,H     scan area in pixels at that resolution; 0,0,0,0 (the\n"
    "                     default) is the device's full width and the sheet's own\n"
    "                     length, so the whole sheet is scanned\n"
    "  --reduce-depth     deliver color48 as 24-bit and gray16 as 8-bit pages\n"
    "  --blocks BYTES     take the page in blocks of rows of at most BYTES bytes\n"
    "                     instead of one bitmap (not with --reduce-depth for\n"
    "                     16-bit modes)\n"
    "  --pages N          scan up to N pages one after another; stops early,\n"
    "                     without an error, when a later page cannot be scanned\n"
    "                     (the feeder is empty)\n"
    "  -o FILE            output file (default page%02d.bmp); with several pages\n"
    "                     give a pattern with one %d-style number (page%02d.bmp),\n"
    "                     otherwise the page number is added before the\n"
    "                     extension. The extension follows the page: .bmp or .tif\n"
    "  --ui               open the scanner's own panel in a window and save every\n"
    "                     page scanned from it; ends when the panel is closed\n"
    "  -h, --help         this text\n"
    "\n"
    "Each written file is printed on standard output.\n"
    "\n"
    "Exit codes:\n"
    "  0  every page written (or the feeder ran empty after the first page)\n"
    "  1  bad command line\n"
    "  2  Quorra.so is missing or incomplete\n"
    "  3  the scanner could not be opened: device missing, or one of its\n"
    "     libraries is not installed\n"
    "  4  no page was scanned: no paper in the feeder, or the scanner could\n"
    "     not set up or read the page\n"
    "  5  cancelled by the user\n"
    "  6  the page could not be transferred\n"
    "  7  an output file could not be written\n"
    "  8  --ui: no display, or the scanner's panel is not available\n";

struct Options {
  int pixelType = 0;
  int dpi = 300;
  int area[4] = {0, 0, 0, 0};
  bool reduceDepth = false;
  long long blocks = 0;
  int pages = 1;
  std::string output = "page%02d.bmp";
  bool ui = false;
};

[[noreturn]] void Usage(const std::string& message) {
  std::fprintf(stderr, "quorra-scan: %s\nTry 'quorra-scan --help'.\n", message.c_str());
  std::exit(kExitUsage);
}

long long ParseNumber(const std::string& text, const char* what, long long low, long long high) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < low || v > high)
    Usage(std::string("bad ") + what + ": '" + text + "' (" + std::to_string(low) + " to " +
          std::to_string(high) + ")");
  return v;
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  auto value = [&](int& i) -> std::string {
    if (i + 1 >= argc) Usage(std::string(argv[i]) + " needs a value");
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kHelp, stdout);
      std::exit(kExitOk);
    } else if (a == "--mode") {
      const std::string m = value(i);
      static const char* kModes[] = {"color", "gray", "lineart", "color48", "gray16"};
      o.pixelType = -1;
      for (int k = 0; k < 5; ++k)
        if (m == kModes[k]) o.pixelType = k;
      if (o.pixelType < 0) Usage("unknown mode '" + m + "'");
    } else if (a == "--dpi") {
      o.dpi = static_cast<int>(ParseNumber(value(i), "resolution", 1, 32767));
    } else if (a == "--area") {
      const std::string v = value(i);
      const std::regex form(R"((\d+),(\d+),(\d+),(\d+))");
      std::smatch m;
      if (!std::regex_match(v, m, form)) Usage("--area wants LEFT,TOP,WIDTH,HEIGHT, got '" + v + "'");
      for (int k = 0; k < 4; ++k)
        o.area[k] = static_cast<int>(ParseNumber(m[k + 1].str(), "area value", 0, 65535));
    } else if (a == "--reduce-depth") {
      o.reduceDepth = true;
    } else if (a == "--blocks") {
      o.blocks = ParseNumber(value(i), "block size", 1, 0xFFFFFFFFll);
    } else if (a == "--pages") {
      o.pages = static_cast<int>(ParseNumber(value(i), "page count", 1, 9999));
    } else if (a == "-o") {
      o.output = value(i);
    } else if (a == "--ui") {
      o.ui = true;
    } else {
      Usage("unknown option '" + a + "'");
    }
  }
  if (o.blocks && o.reduceDepth && (o.pixelType == 3 || o.pixelType == 4))
    Usage("--blocks cannot be used with --reduce-depth for color48 or gray16: reduced pages "
          "come as one bitmap only");
  // Only one integer conversion, so the name cannot read anything else.
  const std::regex conversions("%(%|0?[0-9]*d|.?)");
  int count = 0;
  for (auto it = std::sregex_iterator(o.output.begin(), o.output.end(), conversions);
       it != std::sregex_iterator(); ++it) {
    const std::string c = (*it)[1].str();
    if (c == "%") continue;
    if (c.empty() || c.back() != 'd') Usage("-o: only %d-style numbers and %% are allowed");
    ++count;
  }
  if (count > 1) Usage("-o: at most one page number in the file name");
  if (o.output.empty()) Usage("-o needs a file name");
  return o;
}

/// File name for page `number` with the extension the page needs.
std::string OutputName(const Options& o, int number, const quorra_scan::Page& page) {
  std::string name;
  if (o.output.find('%') != std::string::npos) {
    std::vector<char> buffer(o.output.size() + 32);
    std::snprintf(buffer.data(), buffer.size(), o.output.c_str(), number);
    name = buffer.data();
  } else {
    name = o.output;
  }
  const size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && slash != std::string::npos && dot < slash) dot = std::string::npos;
  std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  if (o.output.find('%') == std::string::npos && o.pages > 1) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%02d", number);
    stem += suffix;
  }
  return stem + quorra_scan::ExtensionFor(page);
}

class Host {
 public:
  explicit Host(const Options& o) : options_(o) {}

  bool Load() {
    const std::string path = px::LibraryPath(px::ExecutableFolder(), "Quorra");
    if (!module_.Load(path)) {
      std::fprintf(stderr, "quorra-scan: cannot load %s: %s\n", path.c_str(),
                   px::Module::LastError().c_str());
      return false;
    }
    if (!module_.BindAll(api_)) {
      std::fprintf(stderr, "quorra-scan: %s lacks one of the scan module's functions\n",
                   path.c_str());
      return false;
    }
    return true;
  }

  QuorraApi& Api() { return api_; }

  /// Takes the ready page from Quorra and writes it. Returns an exit code.
  int SavePage(int number) {
    ImageInfo info{};
    if (api_.GetImageInfo(&info) != QR_SUCCESS) {
      std::fprintf(stderr, "quorra-scan: page %d: the scan module has no page to hand out\n",
                   number);
      return kExitTransfer;
    }
    number_ = number;
    quorra_scan::Page page;
    const int code = options_.blocks ? TakeBlocks(info, page) : TakeDib(page);
    if (code != kExitOk) return code;
    const std::string name = OutputName(options_, number, page);
    std::string error;
    if (!quorra_scan::WritePage(page, name, error)) {
      std::fprintf(stderr, "quorra-scan: page %d: %s\n", number, error.c_str());
      return kExitWrite;
    }
    std::printf("%s\n", name.c_str());
    std::fflush(stdout);
    return kExitOk;
  }

 private:
  int TransferResult(uint16_t result) {
    const int number = number_;
    if (result == QR_CANCELLED) {
      std::fprintf(stderr, "quorra-scan: page %d: transfer cancelled\n", number);
      return kExitCancelled;
    }
    std::fprintf(stderr, "quorra-scan: page %d: the page could not be transferred\n", number);
    return kExitTransfer;
  }

  int TakeDib(quorra_scan::Page& page) {
    void* handle = nullptr;
    const uint16_t r = api_.GetImageDIB(&handle);
    if (r != QR_FINISHED || !handle) return TransferResult(r);
    std::string error;
    const bool ok = quorra_scan::PageFromDib(static_cast<const uint8_t*>(px::GlobalLock(handle)),
                                             px::GlobalSize(handle), page, error);
    px::GlobalFree(handle);
    if (!ok) {
      std::fprintf(stderr, "quorra-scan: %s\n", error.c_str());
      return kExitTransfer;
    }
    return kExitOk;
  }

  int TakeBlocks(const ImageInfo& info, quorra_scan::Page& page) {
    page.width = info.Width;
    page.height = info.Height;
    page.bitsPerPixel = info.BitsPerPixel;
    page.dpi = info.Resolution;
    const uint64_t rowBytes = page.RowBytes();
    if (info.Width <= 0 || info.Height <= 0 || rowBytes == 0) return TransferResult(QR_FAILURE);
    if (uint64_t(options_.blocks) < rowBytes) {
      std::fprintf(stderr, "quorra-scan: --blocks %lld is smaller than one row (%llu bytes)\n",
                   options_.blocks, static_cast<unsigned long long>(rowBytes));
      api_.GetImageMem(nullptr, 0, nullptr);  // ends the page
      return kExitUsage;
    }
    page.rows.assign(rowBytes * uint64_t(page.height), 0);
    std::vector<uint8_t> block(static_cast<size_t>(options_.blocks));
    for (;;) {
      MemBlockInfo b{};
      const uint16_t r = api_.GetImageMem(block.data(), static_cast<uint32_t>(block.size()), &b);
      if (r != QR_SUCCESS && r != QR_FINISHED) return TransferResult(r);
      const uint64_t end = uint64_t(b.YOffset) + b.Rows;
      if (b.BytesPerRow != rowBytes || end > uint64_t(page.height)) return TransferResult(QR_FAILURE);
      std::memcpy(page.rows.data() + uint64_t(b.YOffset) * rowBytes, block.data(),
                  rowBytes * b.Rows);
      if (r == QR_FINISHED) return kExitOk;
    }
  }

  Options options_;
  int number_ = 0;
  px::Module module_;
  QuorraApi api_;
};

Host* g_host = nullptr;
int g_pagesSaved = 0;
int g_uiExit = kExitOk;

int RunWithoutUi(Host& host, const Options& o) {
  QuorraApi& q = host.Api();
  char name[260] = {};
  if (q.GetProductName(name, sizeof name) == QR_SUCCESS) std::fprintf(stderr, "Scanner: %s\n", name);
  // quorra-scan says itself what went wrong, so the module stays quiet.
  if (q.OpenDS([] { return 0; }, [] { return 0; }, 0) != QR_SUCCESS) {
    std::fprintf(stderr,
                 "quorra-scan: the scanner could not be opened (is it connected, and are its "
                 "libraries next to Quorra.so?)\n");
    q.CloseDS();
    return kExitNoDevice;
  }
  if (o.reduceDepth) {
    // The module takes the reduce-depth wish only through OpenUI; the panel is
    // closed again at once.
    void* panel = nullptr;
    q.OpenUI(nullptr, &panel, 1, "quorra-scan");
    q.CloseUI();
  }
  HostSetting setting{};
  setting.PixelType = o.pixelType;
  setting.Corners[0] = {o.area[0], o.area[1]};
  setting.Corners[1] = {o.area[0] + o.area[2], o.area[1]};
  setting.Corners[2] = {o.area[2], o.area[3]};
  setting.Corners[3] = {o.area[0], o.area[1] + o.area[3]};
  setting.Resolution = o.dpi;

  int code = kExitOk;
  for (int number = 1; number <= o.pages; ++number) {
    q.SetScanSettings(&setting);
    const uint16_t r = q.NoUItoXferImage();
    if (r == QR_CANCELLED) {
      std::fprintf(stderr, "quorra-scan: page %d: scan cancelled\n", number);
      code = kExitCancelled;
      break;
    }
    if (r != QR_SUCCESS) {
      if (number == 1) {
        std::fprintf(stderr,
                     "quorra-scan: no page was scanned: no paper in the feeder, or the scanner "
                     "could not set up or read the page\n");
        code = kExitNoPage;
      } else {
        std::fprintf(stderr, "quorra-scan: stopped after %d of %d pages: the feeder is empty\n",
                     number - 1, o.pages);
      }
      break;
    }
    code = host.SavePage(number);
    if (code != kExitOk) break;
  }
  q.CloseDS();
  return code;
}

bool DisplayAvailable() {
  return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

int ImageReadyInUi() {
  // The page is taken at once, inside the Scan request: the panel may start
  // the next scan before a queued transfer would run, and a new scan replaces
  // a page that was not handed out.
  const int code = g_host->SavePage(++g_pagesSaved);
  if (code != kExitOk) g_uiExit = code;
  return 1;
}

int HostEventInUi() {
  // Korvel is inside its own button handler: close it from the event loop.
  QMetaObject::invokeMethod(
      qApp,
      [] {
        g_host->Api().CloseUI();
        g_host->Api().CloseDS();
        qApp->quit();
      },
      Qt::QueuedConnection);
  return 1;
}

int RunWithUi(Host& host, const Options& o, int argc, char** argv) {
  if (!DisplayAvailable()) {
    std::fprintf(stderr, "quorra-scan: --ui needs a display (DISPLAY or WAYLAND_DISPLAY)\n");
    return kExitNoPanel;
  }
  QApplication app(argc, argv);
  QuorraApi& q = host.Api();
  g_host = &host;
  if (q.OpenDS(ImageReadyInUi, HostEventInUi, 1) != QR_SUCCESS) {
    std::fprintf(stderr, "quorra-scan: the scanner could not be opened\n");
    q.CloseDS();
    return kExitNoDevice;
  }
  void* panel = nullptr;
  q.OpenUI(nullptr, &panel, o.reduceDepth ? 1 : 0, "quorra-scan");
  if (!panel) {
    std::fprintf(stderr, "quorra-scan: the scanner's panel is not available\n");
    q.CloseUI();
    q.CloseDS();
    return kExitNoPanel;
  }
  app.exec();
  return g_uiExit;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  Host host(options);
  if (!host.Load()) return kExitNoModule;
  return options.ui ? RunWithUi(host, options, argc, argv) : RunWithoutUi(host, options);
}
