// Applying tone tables to images in place. Every sample costs one lookup; for
// 8-bit data the index arithmetic is folded into three 256-byte tables first,
// for 16-bit data into direct tables indexed by the sample value.
#include <cstring>
#include <vector>

#include "tembra/cpu.h"
#include "tembra/tembra_core.h"

namespace tembra {
namespace {

// Entries of the channel that the sample at `position` (0..2) uses.
const uint16_t* ChannelEntries(const MappingTable* table, int position, int order,
                               int channels) {
  if (channels == 1) return table->Entries;
  const std::size_t n = std::size_t{1} << table->in;
  int channel = position;  // R, G, B
  if (order == 1) channel = 2 - position;
  return table->Entries + channel * n;
}

// The index a sample takes: the table's depths may not fit the data, and an
// index past the table is held at its last entry.
uint32_t IndexOf(uint32_t value, bool sixteenBit, const MappingTable* table) {
  const int in = table->in;
  const int out = table->out;
  uint32_t index;
  if (sixteenBit)
    index = out >= in ? value >> (out - in) : value;
  else
    index = in > out ? value << (in - out) : value;
  const uint32_t last = (uint32_t{1} << in) - 1;
  return index > last ? last : index;
}

int Map(void* image, int bitsPerSample, int width, int height, int order,
        const MappingTable* table, int channels) {
  if (image == nullptr || table == nullptr || table->Entries == nullptr) return 0;
  if (!ValidBits(table->in) || !ValidBits(table->out)) return 0;
  const std::size_t pixels = SampleCount(width, height, 1);
  if (pixels == 0 || SampleCount(width, height, channels) == 0) return 0;
  auto* data = static_cast<uint8_t*>(image);

  if (bitsPerSample > 8) {
    // Little-endian 16-bit samples through one direct table per channel,
    // indexed by the raw value.
    std::vector<uint16_t> direct(std::size_t{65536} * channels + 2);
    for (int c = 0; c < channels; ++c) {
      const uint16_t* entries = ChannelEntries(table, c, order, channels);
      uint16_t* out = direct.data() + std::size_t{65536} * c;
      if (table->in == 16 && table->out == 16)
        std::memcpy(out, entries, 65536 * sizeof(uint16_t));
      else
        for (uint32_t v = 0; v < 65536; ++v) out[v] = entries[IndexOf(v, true, table)];
    }
    Lut16Best()(data, pixels * channels, direct.data(), channels);
    return 1;
  }

  // 8-bit data keeps the low byte of each entry.
  uint8_t bytes[3][256];
  const uint8_t* tables[3];
  for (int c = 0; c < channels; ++c) {
    const uint16_t* entries = ChannelEntries(table, c, order, channels);
    for (uint32_t v = 0; v < 256; ++v)
      bytes[c][v] = static_cast<uint8_t>(entries[IndexOf(v, false, table)] & 0xFF);
    tables[c] = bytes[c];
  }
  Lut8Best()(data, pixels * channels, tables, channels);
  return 1;
}

}  // namespace

std::size_t SampleCount(int width, int height, int samplesPerPixel) {
  if (width <= 0 || height <= 0 || samplesPerPixel <= 0) return 0;
  // Up to 2^40 samples (16-bit samples then need 2 TiB): beyond that the
  // sizes are not an image but a mistake.
  const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                         static_cast<uint64_t>(samplesPerPixel);
  if (count > (uint64_t{1} << 40)) return 0;
  return static_cast<std::size_t>(count);
}

void Lut8Plain(uint8_t* data, std::size_t count, const uint8_t* const* tables, int channels) {
  if (channels == 3) {
    std::size_t i = 0;
    for (; i + 3 <= count; i += 3) {
      data[i] = tables[0][data[i]];
      data[i + 1] = tables[1][data[i + 1]];
      data[i + 2] = tables[2][data[i + 2]];
    }
    for (int c = 0; i < count; ++i, ++c) data[i] = tables[c][data[i]];
  } else {
    const uint8_t* t = tables[0];
    for (std::size_t i = 0; i < count; ++i) data[i] = t[data[i]];
  }
}

void Lut16Plain(uint8_t* data, std::size_t count, const uint16_t* direct, int channels) {
  const std::size_t stride = 65536;
  std::size_t i = 0;
  if (channels == 3) {
    for (; i + 3 <= count; i += 3) {
      uint16_t v[3];
      std::memcpy(v, data + 2 * i, 6);
      v[0] = direct[v[0]];
      v[1] = direct[stride + v[1]];
      v[2] = direct[2 * stride + v[2]];
      std::memcpy(data + 2 * i, v, 6);
    }
  }
  for (; i < count; ++i) {
    uint16_t v;
    std::memcpy(&v, data + 2 * i, 2);
    v = direct[(channels == 3 ? i % 3 : 0) * stride + v];
    std::memcpy(data + 2 * i, &v, 2);
  }
}

Lut16Kernel Lut16Avx512Entry();

Lut16Kernel Lut16Avx512() { return CpuHasAvx512Vbmi() ? Lut16Avx512Entry() : nullptr; }

Lut16Kernel Lut16Best() {
  static const Lut16Kernel best = [] {
    Lut16Kernel fast = Lut16Avx512();
    return fast != nullptr ? fast : &Lut16Plain;
  }();
  return best;
}

Lut8Kernel Lut8VbmiEntry();

Lut8Kernel Lut8Vbmi() { return CpuHasAvx512Vbmi() ? Lut8VbmiEntry() : nullptr; }

void Lut8Pairs(uint8_t* data, std::size_t count, const uint8_t* const* tables, int channels) {
  // pair[k][v]: the two output bytes of the byte pair v = (first | second << 8)
  // whose first byte uses table k. Colour pairs start on channels 0, 2, 1 in turn.
  const int starts = channels == 3 ? 3 : 1;
  std::vector<uint16_t> pair(std::size_t{65536} * starts);
  for (int k = 0; k < starts; ++k) {
    const int first = channels == 3 ? (2 * k) % 3 : 0;
    const int second = channels == 3 ? (first + 1) % 3 : 0;
    uint16_t* out = pair.data() + std::size_t{65536} * k;
    for (uint32_t v = 0; v < 65536; ++v)
      out[v] = static_cast<uint16_t>(tables[first][v & 0xFF] | tables[second][v >> 8] << 8);
  }
  std::size_t i = 0;
  if (channels == 3) {
    const uint16_t* p0 = pair.data();
    const uint16_t* p1 = p0 + 65536;
    const uint16_t* p2 = p1 + 65536;
    for (; i + 6 <= count; i += 6) {
      uint16_t v[3];
      std::memcpy(v, data + i, 6);
      v[0] = p0[v[0]];
      v[1] = p1[v[1]];
      v[2] = p2[v[2]];
      std::memcpy(data + i, v, 6);
    }
  } else {
    const uint16_t* p0 = pair.data();
    for (; i + 8 <= count; i += 8) {
      uint16_t v[4];
      std::memcpy(v, data + i, 8);
      for (uint16_t& x : v) x = p0[x];
      std::memcpy(data + i, v, 8);
    }
  }
  // The rest starts on a whole pixel, so the channel cycle starts afresh.
  if (i < count) Lut8Plain(data + i, count - i, tables, channels);
}

namespace {
// Pair tables cost 65536 entries each to build: worth it on pages only.
void Lut8Generic(uint8_t* data, std::size_t count, const uint8_t* const* tables, int channels) {
  if (count >= (std::size_t{1} << 20) && (channels == 1 || channels == 3))
    Lut8Pairs(data, count, tables, channels);
  else
    Lut8Plain(data, count, tables, channels);
}
}  // namespace

Lut8Kernel Lut8Best() {
  static const Lut8Kernel best = [] {
    Lut8Kernel fast = Lut8Vbmi();
    return fast != nullptr ? fast : &Lut8Generic;
  }();
  return best;
}

int MapColor(void* image, int bitsPerSample, int width, int height, int order,
             const MappingTable* table) {
  return Map(image, bitsPerSample, width, height, order, table, 3);
}

int MapGray(void* image, int bitsPerSample, int width, int height, const MappingTable* table) {
  return Map(image, bitsPerSample, width, height, 0, table, 1);
}

}  // namespace tembra
