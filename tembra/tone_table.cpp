// Building tone tables: brightness, contrast, scale, curve, input levels with
// gamma and output levels folded into one lookup table per channel. Every
// step runs in 32-bit floats in a fixed order so that each build gives the
// same entries; the curve solver alone works in doubles.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "tembra/tembra_core.h"

namespace tembra {
namespace {

// Conversion toward zero. Values past the int range saturate and NaN gives 0,
// so absurd records (negative gamma, infinite scale) still give a table.
int Trunc(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483648.0f) return std::numeric_limits<int>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

int Trunc(double value) {
  if (!(value == value)) return 0;
  if (value >= 2147483648.0) return std::numeric_limits<int>::max();
  if (value <= -2147483649.0) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// Clamp where NaN lands on the low bound.
float Clamp(float value, float low, float high) {
  if (!(value >= low)) return low;
  if (value > high) return high;
  return value;
}

// value x size as a float; the product can pass the int range for 16 bits.
float Level(int value, int size) {
  return static_cast<float>(static_cast<int64_t>(value) * size);
}

constexpr int kMaxCurvePoints = 10;
}  // namespace

bool CurveTable(const EnhanceParam& param, double table[256]) {
  // The solver has room for 10 points; a record may claim up to 15.
  int count = param.CurvePointCount;
  if (count > 15) count = 15;
  if (count > kMaxCurvePoints) count = kMaxCurvePoints;
  if (count <= 0) return false;

  // Polynomial of degree count + 1 through (0, 0), the points and (255, 255).
  // Rows: the record points first, then (255, 255), then (0, 0); the row order
  // matters because the elimination never searches for a pivot.
  const int n = count + 2;
  double xs[kMaxCurvePoints + 2];
  double ys[kMaxCurvePoints + 2];
  for (int j = 0; j < count; ++j) {
    xs[j] = param.CurvePoints[j].x;
    ys[j] = param.CurvePoints[j].y;
  }
  xs[count] = 255.0;
  ys[count] = 255.0;
  xs[count + 1] = 0.0;
  ys[count + 1] = 0.0;

  // a[row][col]: col 0 holds x^(n-1) down to col n-1 holding x^0; col n is y.
  // Powers come from pow(), not repeated products: past x^6 the products
  // round at every step and the solved curve moves by a unit here and there.
  double a[kMaxCurvePoints + 2][kMaxCurvePoints + 3];
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) a[r][c] = std::pow(xs[r], static_cast<double>(n - 1 - c));
    a[r][n] = ys[r];
  }
  // Gauss-Jordan in two sweeps, the way the curve editor solves its lists, so
  // that the table follows the curve the user sees: going down, each row is
  // divided by its diagonal and clears its column in the rows below; going
  // back up from the last row, each row clears its column in the rows above.
  for (int c = 0; c < n; ++c) {
    const double pivot = a[c][c];
    for (int k = c; k <= n; ++k) a[c][k] /= pivot;
    for (int r = c + 1; r < n; ++r) {
      const double factor = a[r][c];
      for (int k = c; k <= n; ++k) a[r][k] -= factor * a[c][k];
    }
  }
  for (int c = n - 1; c > 0; --c) {
    for (int r = 0; r < c; ++r) {
      const double factor = a[r][c];
      for (int k = c; k <= n; ++k) a[r][k] -= factor * a[c][k];
    }
  }
  // Term by term from x^0 upward, not Horner's scheme: the two round
  // differently, and a value near a whole number would truncate differently.
  // A singular system (repeated x) gives NaN, which the clamp turns into 0.
  for (int x = 0; x < 256; ++x) {
    double y = 0.0;
    for (int power = 0; power < n; ++power)
      y += a[n - 1 - power][n] * std::pow(static_cast<double>(x), static_cast<double>(power));
    if (!(y >= 0.0)) y = 0.0;
    if (y > 255.0) y = 255.0;
    table[x] = y;
  }
  return true;
}

void BuildChannel(int inBits, int outBits, const EnhanceParam& p, bool lowGamma,
                  const uint16_t* lowGammaTable, uint16_t* entries) {
  const int N = 1 << inBits;
  const int M = 1 << outBits;
  const float top = static_cast<float>(N - 1);
  std::vector<float> T(N);
  std::vector<float> A(N);
  std::vector<float> B(M);

  // 1. Contrast: a positive value steepens the ramp around the middle, a
  // negative one flattens it toward the middle value.
  const int ct = p.Contrast;
  if (ct > 0) {
    const float v = Level(ct + 1, N) / 256.0f - 1.0f;
    const int o = Trunc(v);
    for (int i = 0; i < N; ++i) {
      if (i <= o)
        T[i] = 0.0f;
      else if (i < N - 1 - o)
        T[i] = (static_cast<float>(i) - v) * top / (top - 2.0f * v);
      else
        T[i] = top;
    }
  } else if (ct == 0) {
    for (int i = 0; i < N; ++i) T[i] = static_cast<float>(i);
  } else {
    const float o =
        Level(ct - 1, N) * (-1.0f / 256.0f) - 1.0f;
    for (int i = 0; i < N; ++i) {
      if (ct == -127)
        T[i] = o;
      else
        T[i] = static_cast<float>(i) * (top - 2.0f * o) / top + o;
    }
  }

  // 2. Scale, capped at the top only.
  for (int i = 0; i < N; ++i) {
    const float scaled = p.scale * T[i];
    T[i] = scaled > top ? top : scaled;
  }

  // 3. Brightness: one offset for the whole ramp.
  const int br = p.Brightness;
  float shift = 0.0f;
  if (br > 0)
    shift = Level(br + 1, N) / 256.0f - 1.0f;
  else if (br < 0)
    shift = Level(br - 1, N) / 256.0f + 1.0f;
  for (int i = 0; i < N; ++i) T[i] = Clamp(T[i] + shift, 0.0f, top);

  // 4. Curve, always drawn on the 0..255 scale whatever the depth.
  double S[256];
  if (CurveTable(p, S)) {
    for (int i = 0; i < N; ++i) {
      const int w = Trunc(T[i]);
      if (inBits >= 9) {
        const int s = inBits - 8;
        T[i] = static_cast<float>(Trunc(S[w >> s]) << s);
      } else {
        const int s = 8 - inBits;
        T[i] = static_cast<float>(Trunc(S[w << s]) >> s);
      }
    }
  }

  // 5. Input levels and gamma.
  float lo = 0.0f;
  float hi = 0.0f;
  if (p.InputLevelLow != 0) lo = Level(p.InputLevelLow + 1, N) / 256.0f - 1.0f;
  if (p.InputLevelHigh != 0) hi = Level(p.InputLevelHigh + 1, N) / 256.0f - 1.0f;
  lo = Clamp(lo, 0.0f, top);
  hi = Clamp(hi, 0.0f, top);
  const int K = Trunc(lo);
  const int E = Trunc(hi);
  for (int i = 0; i <= K && i < N; ++i) A[i] = 0.0f;
  for (int i = E; i < N; ++i) A[i] = top;
  const float gamma = static_cast<float>(p.Gamma) * 0.1f;
  const float exponent = 1.0f / gamma;
  const bool useLowTable = lowGamma && lowGammaTable != nullptr && inBits == 8;
  for (int i = K + 1; i < E; ++i) {
    const float ratio = static_cast<float>(i - K) / static_cast<float>(E - K);
    if (useLowTable) {
      const int u = Trunc(ratio * 256.0f);
      if (u < 32) {
        A[i] = static_cast<float>(lowGammaTable[u] * N) / 256.0f;
        continue;
      }
    }
    A[i] = top * powf(ratio, exponent);
  }

  // 6. Output levels. The low level is held below N - 1, as the device
  // tables have always been built.
  float olo = 0.0f;
  float ohi = 0.0f;
  if (p.OutputLevelLow != 0)
    olo = Level(p.OutputLevelLow + 1, M) / 256.0f - 1.0f;
  if (olo < 0.0f) olo = 0.0f;
  if (olo > top) olo = static_cast<float>(N - 2);
  if (p.OutputLevelHigh != 0)
    ohi = Level(p.OutputLevelHigh + 1, M) / 256.0f - 1.0f;
  if (ohi < olo + 1.0f) ohi = olo + 1.0f;
  if (ohi > static_cast<float>(M - 1)) ohi = static_cast<float>(M - 1);
  const float span = ohi - olo + 1.0f;
  for (int j = 0; j < M; ++j)
    B[j] = static_cast<float>(j) * span / static_cast<float>(M) + olo;

  // 7. Compose ramp, levels curve and output levels.
  for (int i = 0; i < N; ++i) {
    int w = Trunc(T[i]);
    if (w < 0) w = 0;
    if (w > N - 1) w = N - 1;
    int x = Trunc(A[w]);
    if (x < 0) x = 0;
    if (inBits > outBits) x >>= inBits - outBits;
    if (x > M - 1) x = M - 1;
    // Levels inside 0..255 keep B below M; absurd ones (an output low past
    // 255) would not, and an entry must stay an output level.
    int entry = Trunc(B[x]);
    if (entry < 0) entry = 0;
    if (entry > M - 1) entry = M - 1;
    entries[i] = static_cast<uint16_t>(entry);
  }

  // 8. A shallow input on a deep output: spread the entries over the whole
  // output range, centred in each step. Capped so output levels never wrap.
  if (inBits < outBits) {
    const int s = outBits - inBits;
    for (int i = 0; i < N; ++i) {
      int value = (entries[i] << s) + (1 << (s - 1));
      if (value > M - 1) value = M - 1;
      entries[i] = static_cast<uint16_t>(value);
    }
  }
}

MappingTable* CreateTable(int inBits, int outBits, const EnhanceParam* params, int channels,
                          bool lowGamma, const uint16_t* lowGammaTable) {
  if (!ValidBits(inBits) || !ValidBits(outBits) || params == nullptr ||
      (channels != 1 && channels != 3))
    return nullptr;
  const std::size_t n = std::size_t{1} << inBits;
  auto* table = static_cast<MappingTable*>(std::calloc(1, sizeof(MappingTable)));
  if (table == nullptr) return nullptr;
  table->Entries = static_cast<uint16_t*>(std::calloc(n * channels, sizeof(uint16_t)));
  if (table->Entries == nullptr) {
    std::free(table);
    return nullptr;
  }
  table->in = static_cast<uint16_t>(inBits);
  table->out = static_cast<uint16_t>(outBits);
  try {
    for (int c = 0; c < channels; ++c)
      BuildChannel(inBits, outBits, params[c], lowGamma, lowGammaTable, table->Entries + c * n);
  } catch (...) {
    FreeTable(table);
    throw;
  }
  return table;
}

void FreeTable(MappingTable* table) {
  if (table == nullptr) return;
  std::free(table->Entries);
  std::free(table);
}

}  // namespace tembra
