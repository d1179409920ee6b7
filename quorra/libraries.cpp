// Loading and unloading the libraries Quorra drives, all from its own folder.
#include <chrono>
#include <thread>

#include "quorra/scan_state.h"

namespace quorra {

namespace {

bool LoadKorvel(ScanState& s) {
  if (s.korvelModule.IsLoaded()) return true;
  if (!s.korvelModule.Load(px::LibraryPath(s.folder, "Korvel"))) return false;
  return s.korvelModule.BindAll(s.korvel);
}

bool LoadVantor(ScanState& s) {
  UnloadVantor();
  if (!s.vantorModule.Load(px::LibraryPath(s.folder, "Vantor"))) return false;
  return s.vantorModule.BindAll(s.vantor);
}

bool LoadGeometryTrans(ScanState& s) {
  if (s.geometryModule.IsLoaded()) return true;
  if (!s.geometryModule.Load(px::LibraryPath(s.folder, "GeometryTrans"))) return false;
  // ImageResize is in the table for other callers; Quorra needs the other five.
  s.geometryModule.BindAvailable(s.geometry);
  const GeometryTransApi& g = s.geometry;
  if (!g.SetBGInfo || !g.ImageCrop || !g.ImageDeskew || !g.ImageZoom || !g.FreeBuffer) {
    s.geometry.Clear();
    s.geometryModule.Unload();
    return false;
  }
  return true;
}

template <class Api>
bool LoadOnce(px::Module& module, Api& api, const ScanState& s, const char* name) {
  if (module.IsLoaded()) return true;
  if (!module.Load(px::LibraryPath(s.folder, name))) return false;
  return module.BindAll(api);
}

}  // namespace

bool LoadLibraries() {
  ScanState& s = State();
  if (!LoadKorvel(s)) return false;
  if (!LoadVantor(s)) return false;
  if (!LoadOnce(s.tembraModule, s.tembra, s, "Tembra")) return false;
  if (!LoadOnce(s.filterModule, s.filter, s, "Filter")) return false;
  if (!LoadGeometryTrans(s)) return false;
  // Colour matching is optional: without it the step is skipped.
  LoadOnce(s.colorMatchModule, s.colorMatch, s, "ColorMatch");

  const BackgroundInfo bg = ReadBackgroundInfo(s.iniPath);
  s.geometry.SetBGInfo(static_cast<unsigned char>(bg.red), static_cast<unsigned char>(bg.green),
                       static_cast<unsigned char>(bg.blue), static_cast<float>(bg.value1),
                       static_cast<float>(bg.value2));
  if (s.colorMatchModule.IsLoaded()) {
    const std::string path = s.folder + "/Sepcal.ini";
    s.colorMatch.SetColorMatchFileName(path.c_str());
  }
  return true;
}

void UnloadImageLibraries() {
  ScanState& s = State();
  s.tembra.Clear();
  s.tembraModule.Unload();
  s.filter.Clear();
  s.filterModule.Unload();
  s.geometry.Clear();
  s.geometryModule.Unload();
  s.colorMatch.Clear();
  s.colorMatchModule.Unload();
}

void UnloadVantor() {
  ScanState& s = State();
  if (s.deviceOpen && s.vantor._Close) s.vantor._Close();
  s.deviceOpen = false;
  s.vantor.Clear();
  s.vantorModule.Unload();
  s.stopSent = true;
}

void UnloadKorvel() {
  ScanState& s = State();
  if (s.shown && s.korvel.UI_Close) s.korvel.UI_Close();
  s.shown = false;
  s.korvel.Clear();
  s.korvelModule.Unload();
}

bool OpenDevice() {
  ScanState& s = State();
  if (!s.vantor._Open) return false;
  // A device that has just been plugged in may need a moment: four retries.
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (s.vantor._Open() != 0) {
      s.deviceOpen = true;
      return true;
    }
  }
  return false;
}

}  // namespace quorra
