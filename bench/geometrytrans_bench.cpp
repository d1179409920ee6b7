// GeometryTrans per page, on one thread, through the library's exports.
// Goals: deskew + crop of an A4 300 dpi colour page <= 120 ms; zoom of an A4
// colour page from 600 to 300 dpi <= 100 ms.
#include <cstdlib>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "interfaces/geometrytrans_api.h"
#include "platform/module.h"
#include "plugins/geometrytrans/synthetic_page.h"

namespace {

GeometryTransApi* Library() {
  static px::Module module;
  static GeometryTransApi api;
  static bool bound = [] {
    const char* bin = std::getenv("PX_BIN_DIR");
    const std::string folder = bin ? bin : px::ExecutableFolder() + "/../bin";
    return module.Load(px::LibraryPath(folder, "GeometryTrans")) && module.BindAll(api);
  }();
  if (bound) api.SetBGInfo(30, 30, 30, 55.0f, 30.0f);
  return bound ? &api : nullptr;
}

const geometry::testing::SyntheticSheet& SkewedPage() {
  static const geometry::testing::SyntheticSheet sheet = [] {
    geometry::testing::SheetOptions options;
    options.typeCode = 0;
    options.dpi = 300;
    options.angleDegrees = 3.7;
    options.pageSize = cv::Size(2550, 3508 + 300);  // the device's 8.5 inches
    return geometry::testing::RenderSheet(options);
  }();
  return sheet;
}

using GeometryCall = ImageDeskewFn;  // crop has the same signature

// One geometry call on the skewed page per iteration; a page without a sheet
// is an error only where the call must find one.
void RunOnSkewedPage(benchmark::State& state, GeometryCall GeometryTransApi::*call,
                     bool mustFindSheet) {
  cv::setNumThreads(1);
  GeometryTransApi* api = Library();
  if (!api) {
    state.SkipWithError("GeometryTrans.so not found");
    return;
  }
  const cv::Mat& page = SkewedPage().page;
  for (auto _ : state) {
    int width = page.cols, height = page.rows;
    unsigned char* out = (api->*call)(0, page.data, &width, &height, nullptr);
    if (!out && mustFindSheet) {
      state.SkipWithError("no sheet found");
      return;
    }
    benchmark::DoNotOptimize(out);
    api->FreeBuffer(&out);
  }
}

void BM_DeskewAndCropA4At300(benchmark::State& state) {
  RunOnSkewedPage(state, &GeometryTransApi::ImageDeskew, true);
  state.SetLabel("ms per page");
}
BENCHMARK(BM_DeskewAndCropA4At300)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CropOnlyA4At300(benchmark::State& state) {
  RunOnSkewedPage(state, &GeometryTransApi::ImageCrop, false);
}
BENCHMARK(BM_CropOnlyA4At300)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZoomA4From600To300(benchmark::State& state) {
  cv::setNumThreads(1);
  GeometryTransApi* api = Library();
  if (!api) {
    state.SkipWithError("GeometryTrans.so not found");
    return;
  }
  // A4 at 600 dpi: 4961 x 7016 colour pixels with real detail.
  cv::Mat page(7016, 4961, CV_8UC3);
  cv::randu(page, cv::Scalar::all(0), cv::Scalar::all(256));
  for (auto _ : state) {
    int width = page.cols, height = page.rows;
    unsigned char* out = api->ImageZoom(600, 600, 300, 300, 0, page.data, &width, &height, nullptr);
    benchmark::DoNotOptimize(out);
    api->FreeBuffer(&out);
  }
}
BENCHMARK(BM_ZoomA4From600To300)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
