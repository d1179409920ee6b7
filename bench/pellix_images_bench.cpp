// Saving an A4 300 dpi colour page as JPEG, TIFF and BMP, exporting ten such
// pages to PDF and to a multi-page TIFF, and the page list's rotation,
// thumbnail and preview scaling. Each benchmark reports ms_per_page.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pellix/image_container.h"
#include "pellix/output_files.h"

namespace {

constexpr int kA4Width = 2480;   // 210 mm at 300 dpi
constexpr int kA4Height = 3508;  // 297 mm at 300 dpi
constexpr int kExportPages = 10;

// A scanned-looking page: off-white paper with noise, lines of dark "text"
// strokes and a colour picture block, the same on every run.
const ImageContainer& Page() {
  static ImageContainer page = [] {
    ImageContainer image;
    image.Create(kA4Width, kA4Height, 24);
    uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1664525u + 1013904223u;
      return seed >> 24;
    };
    for (int y = 0; y < kA4Height; ++y) {
      uint8_t* row = image.Row(y);
      const bool textLine = (y / 50) % 2 == 0 && y > 300 && y < 2200;
      for (int x = 0; x < kA4Width; ++x) {
        int b = 236 + int(next() % 12), g = 240 + int(next() % 12), r = 242 + int(next() % 12);
        if (textLine && x > 250 && x < 2230 && ((x / 9 + y / 7) % 5 == 0) && (x / 40) % 7 != 0) {
          b = g = r = 30 + int(next() % 40);
        }
        if (y > 2400 && y < 3300 && x > 300 && x < 2180) {
          b = (x * 255) / kA4Width;
          g = (y * 255) / kA4Height;
          r = ((x + y) / 8) % 256;
        }
        row[3 * x] = uint8_t(b);
        row[3 * x + 1] = uint8_t(g);
        row[3 * x + 2] = uint8_t(r > 255 ? 255 : r);
      }
    }
    return image;
  }();
  return page;
}

std::string BenchFolder() {
  static std::string folder = [] {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/pellix_bench_XXXXXX";
    return std::string(mkdtemp(tmpl.data()) ? tmpl : "/tmp") + "/";
  }();
  return folder;
}

// Runs `body` (which handles `pages` pages) per iteration and reports the
// wall time per page in milliseconds.
template <typename F>
void PerPage(benchmark::State& state, int pages, F body) {
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!body()) {
      state.SkipWithError("write failed");
      return;
    }
    total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                 .count();
  }
  state.counters["ms_per_page"] = total / double(state.iterations() * uint64_t(pages));
}

void BM_SavePageJpeg(benchmark::State& state) {
  const std::string path = BenchFolder() + "page.jpg";
  PerPage(state, 1, [&] { return SavePage(Page(), path); });
}

void BM_SavePageTiff(benchmark::State& state) {
  const std::string path = BenchFolder() + "page.tif";
  PerPage(state, 1, [&] { return SavePage(Page(), path); });
}

void BM_SavePageBmp(benchmark::State& state) {
  const std::string path = BenchFolder() + "page.bmp";
  PerPage(state, 1, [&] { return SavePage(Page(), path); });
}

// What the page list and preview do with a page: a quarter turn, a
// thumbnail, and a fit-mode preview copy (shrunk, and enlarged by bilinear
// resampling for a small page).
void BM_RotatePage(benchmark::State& state) {
  ImageContainer page;
  page.CopyFrom(Page());
  PerPage(state, 1, [&] { return page.Rotate90(state.iterations() % 2 == 0); });
}

void BM_ThumbnailShrink(benchmark::State& state) {
  ImageContainer thumb;
  PerPage(state, 1, [&] { return Page().Shrink(69, 98, thumb); });
}

void BM_PreviewResampleUp(benchmark::State& state) {
  ImageContainer small, preview;
  Page().Shrink(620, 877, small);
  PerPage(state, 1, [&] { return small.Resample(900, 1273, preview); });
}

std::vector<std::string> PageFiles(const char* extension) {
  std::vector<std::string> files;
  for (int i = 0; i < kExportPages; ++i) {
    files.push_back(BenchFolder() + "ScanImage0000" + std::to_string(i) + "." + extension);
    if (!std::filesystem::exists(files.back())) SavePage(Page(), files.back());
  }
  return files;
}

// JPEG pages are embedded as they are; BMP pages are converted through
// temp.jpg first.
void BM_ExportPdfJpegPages(benchmark::State& state) {
  const std::vector<std::string> files = PageFiles("jpg");
  const std::string out = BenchFolder() + "export.pdf";
  PerPage(state, kExportPages, [&] { return WritePdf(files, out); });
}

void BM_ExportPdfBmpPages(benchmark::State& state) {
  const std::vector<std::string> files = PageFiles("bmp");
  const std::string out = BenchFolder() + "export_bmp.pdf";
  PerPage(state, kExportPages, [&] { return WritePdf(files, out); });
}

void BM_ExportTiffJpegPages(benchmark::State& state) {
  const std::vector<std::string> files = PageFiles("jpg");
  const std::string out = BenchFolder() + "export.tif";
  PerPage(state, kExportPages, [&] { return WriteTiff(files, out); });
}

BENCHMARK(BM_SavePageJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SavePageTiff)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SavePageBmp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RotatePage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailShrink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PreviewResampleUp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportPdfJpegPages)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ExportPdfBmpPages)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ExportTiffJpegPages)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(BenchFolder());
  return 0;
}
