// Automatic levels: the darkest and brightest 0.5 % of the samples of each
// channel become black and white. The histograms look at a bounded sample of
// the page; the resulting tables then go over every sample.
#include "tembra/tembra_core.h"

namespace tembra {
namespace {

// Every k-th pixel of every k-th row, k doubling until at most 2^24 pixels
// remain, so that the analysis of a huge page stays cheap.
uint64_t SamplingStep(uint64_t pixels) {
  uint64_t k = 1;
  while (pixels > (uint64_t{1} << 24)) {
    k *= 2;
    pixels /= 4;
  }
  return k;
}

// Histograms of the sampled pixels, one per channel. Four sets of bins take
// turns so that runs of one value (a white page) do not queue on one counter.
void Histograms(const uint8_t* image, int width, int height, int channels, uint64_t k,
                uint32_t hist[3][256]) {
  uint32_t parts[4][3][256] = {};
  const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
  const std::size_t step = static_cast<std::size_t>(k) * channels;
  for (uint64_t y = 0; y < static_cast<uint64_t>(height); y += k) {
    const uint8_t* row = image + static_cast<std::size_t>(y) * rowBytes;
    std::size_t x = 0;
    if (channels == 3) {
      for (; x + 3 * step < rowBytes; x += 4 * step) {
        for (int part = 0; part < 4; ++part) {
          const uint8_t* q = row + x + part * step;
          ++parts[part][0][q[0]];
          ++parts[part][1][q[1]];
          ++parts[part][2][q[2]];
        }
      }
      for (; x < rowBytes; x += step) {
        ++parts[0][0][row[x]];
        ++parts[0][1][row[x + 1]];
        ++parts[0][2][row[x + 2]];
      }
    } else {
      for (; x + 3 * step < rowBytes; x += 4 * step) {
        ++parts[0][0][row[x]];
        ++parts[1][0][row[x + step]];
        ++parts[2][0][row[x + 2 * step]];
        ++parts[3][0][row[x + 3 * step]];
      }
      for (; x < rowBytes; x += step) ++parts[0][0][row[x]];
    }
  }
  for (int c = 0; c < channels; ++c)
    for (int v = 0; v < 256; ++v)
      hist[c][v] = parts[0][c][v] + parts[1][c][v] + parts[2][c][v] + parts[3][c][v];
}

// Stretch table of one histogram: the first value whose running count reaches
// the threshold from below becomes 0, the first from above becomes 255.
void StretchTable(const uint32_t hist[256], uint64_t threshold, uint8_t table[256]) {
  int low = 0;
  uint64_t count = 0;
  for (int v = 0; v < 256; ++v) {
    count += hist[v];
    if (count >= threshold) {
      low = v;
      break;
    }
  }
  int high = 255;
  count = 0;
  for (int v = 255; v > low; --v) {
    count += hist[v];
    if (count >= threshold) {
      high = v;
      break;
    }
  }
  for (int i = 0; i < 256; ++i) {
    if (low == high)
      table[i] = static_cast<uint8_t>(i);
    else if (i <= low)
      table[i] = 0;
    else if (i >= high)
      table[i] = 255;
    else
      table[i] = static_cast<uint8_t>(static_cast<int>(
          static_cast<float>((i - low) * 255) / static_cast<float>(high - low) + 0.5f));
  }
}

int AutoLevel(unsigned char* image, int width, int height, int channels) {
  if (image == nullptr) return 0;
  const std::size_t samples = SampleCount(width, height, channels);
  if (samples == 0) return 0;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const uint64_t k = SamplingStep(pixels);
  uint32_t hist[3][256];
  Histograms(image, width, height, channels, k, hist);
  // Threshold: 0.5 % of the pixels the histogram stands for.
  const float share = static_cast<float>(pixels / (k * k)) * 0.005f;
  const uint64_t threshold = static_cast<uint64_t>(share);
  uint8_t tables[3][256];
  const uint8_t* tablePointers[3];
  for (int c = 0; c < channels; ++c) {
    StretchTable(hist[c], threshold, tables[c]);
    tablePointers[c] = tables[c];
  }
  Lut8Best()(image, samples, tablePointers, channels);
  return 1;
}

}  // namespace

int AutoLevelColor(unsigned char* image, int width, int height, int /*order*/) {
  // Each byte position has its own histogram and table, so the channel order
  // does not change the result.
  return AutoLevel(image, width, height, 3);
}

int AutoLevelGray(unsigned char* image, int width, int height) {
  return AutoLevel(image, width, height, 1);
}

}  // namespace tembra
