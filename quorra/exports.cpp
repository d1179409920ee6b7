// The ten exports. Each is wrapped once so that no exception reaches the host.
#include <algorithm>
#include <cstring>
#include <new>

#include "quorra/quorra.h"
#include "quorra/scan_state.h"

namespace quorra {

namespace {

ScanState* CreateState() {
  auto* s = new ScanState;
  s->folder = px::ModuleFolderOf(reinterpret_cast<const void*>(&CreateState));
  s->iniPath = s->folder + "/Quorra.ini";
  return s;
}

// Created when the library is loaded, destroyed when it is unloaded.
struct StateHolder {
  ScanState* state = CreateState();
  ~StateHolder() {
    ReleasePage();
    UnloadImageLibraries();
    UnloadVantor();
    UnloadKorvel();
    delete state;
  }
} g_holder;

}  // namespace

ScanState& State() { return *g_holder.state; }

namespace {

uint16_t RunNoUiScan() {
  ScanState& s = State();
  s.progress = 0;
  s.cancel = 0;
  if (SetUpDevice() != StepResult::kOk) {
    EndPage();
    ReportError(kErrSetup);
    return QR_FAILURE;
  }
  if (AllocatePage() != StepResult::kOk) {
    EndPage();
    ReportError(kErrMemory);
    return QR_FAILURE;
  }
  if (StartDevice(false) != StepResult::kOk) {
    EndPage();
    ReportError(kErrSetup);
    return QR_FAILURE;
  }
  if (ReadPage() != StepResult::kOk || !ProcessPage()) {
    EndPage();
    if (s.cancel) return QR_CANCELLED;
    ReportError(kErrRead);
    return QR_FAILURE;
  }
  if (s.imageReady) s.imageReady();
  return QR_SUCCESS;
}

}  // namespace
}  // namespace quorra

using namespace quorra;

PX_EXPORT uint16_t GetProductName(char* buffer, int length) {
  return Guarded<uint16_t>(QR_FAILURE, [&]() -> uint16_t {
    if (!buffer || length <= 0) return QR_FAILURE;
    const std::string name = ReadProductName(State().iniPath);
    const size_t n = std::min(name.size(), static_cast<size_t>(length) - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
    return QR_SUCCESS;
  });
}

PX_EXPORT uint16_t OpenDS(HostCallback imageReady, HostCallback hostEvent, int reportErrors) {
  return Guarded<uint16_t>(QR_FAILURE, [&]() -> uint16_t {
    ScanState& s = State();
    s.imageReady = imageReady;
    s.hostEvent = hostEvent;
    s.reportErrors = reportErrors;
    // A page left from an earlier session holds buffers of libraries that
    // may be reloaded below.
    ReleasePage();
    if (!LoadLibraries()) return QR_FAILURE;
    s.korvel.UI_Create(Callbacks());
    if (!OpenDevice()) {
      ReportError(kErrOpen);
      return QR_FAILURE;
    }
    return QR_SUCCESS;
  });
}

PX_EXPORT uint16_t OpenUI(void* parent, void** panel, int reduceDepth, const char* section) {
  return Guarded<uint16_t>(QR_FAILURE, [&]() -> uint16_t {
    ScanState& s = State();
    s.reduceDepth = reduceDepth;
    if (!s.shown && s.korvel.UI_Show) {
      s.korvel.UI_Show(parent, panel, section);
      s.shown = true;
    }
    return QR_SUCCESS;
  });
}

PX_EXPORT uint16_t SetScanSettings(const HostSetting* setting) {
  return Guarded<uint16_t>(QR_FAILURE, [&]() -> uint16_t {
    if (!setting) return QR_FAILURE;
    ScanState& s = State();
    ModeFromPixelType(static_cast<uint16_t>(setting->PixelType), s.mode);
    s.resolution = static_cast<int16_t>(static_cast<uint16_t>(setting->Resolution));
    s.left = static_cast<uint16_t>(setting->Corners[0].x);
    s.top = static_cast<uint16_t>(setting->Corners[0].y);
    s.width = static_cast<uint16_t>(setting->Corners[2].x);
    s.height = static_cast<uint16_t>(setting->Corners[2].y);
    ClearProcessing();
    return QR_SUCCESS;
  });
}

PX_EXPORT uint16_t NoUItoXferImage(void) {
  return Guarded<uint16_t>(QR_FAILURE, []() -> uint16_t {
    try {
      return RunNoUiScan();
    } catch (const std::bad_alloc&) {
      EndPage();
      ReportError(kErrMemory);
      return QR_FAILURE;
    }
  });
}

PX_EXPORT uint16_t GetImageInfo(ImageInfo* info) {
  return Guarded<uint16_t>(QR_FAILURE, [&] { return FillImageInfo(info); });
}

PX_EXPORT uint16_t GetImageDIB(void** globalHandle) {
  return Guarded<uint16_t>(QR_FAILURE, [&] { return BuildDib(globalHandle); });
}

PX_EXPORT uint16_t GetImageMem(void* destination, uint32_t size, MemBlockInfo* block) {
  return Guarded<uint16_t>(QR_FAILURE, [&] { return HandOutBlock(destination, size, block); });
}

PX_EXPORT uint16_t CloseUI(void) {
  return Guarded<uint16_t>(QR_FAILURE, []() -> uint16_t {
    ScanState& s = State();
    if (s.shown && s.korvel.UI_Close) s.korvel.UI_Close();
    s.shown = false;
    return QR_SUCCESS;
  });
}

PX_EXPORT uint16_t CloseDS(void) {
  return Guarded<uint16_t>(QR_FAILURE, []() -> uint16_t {
    // Tables and geometry buffers go back to their libraries before those are
    // unloaded.
    ReleasePage();
    UnloadImageLibraries();
    UnloadVantor();
    UnloadKorvel();
    return QR_SUCCESS;
  });
}
