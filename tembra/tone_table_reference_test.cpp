// Tone tables against the rules written out step by step, with nothing
// folded or reordered: every float step in 32-bit floats in the order the
// formula reads, the curve solved and evaluated term by term.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tembra/tembra_core.h"

namespace tembra {
namespace {

// The curve: polynomial through (0, 0), the points and (255, 255). Rows are
// x^(n-1) .. x^0 = y, ordered points, (255, 255), (0, 0); Gauss-Jordan with
// no pivot search, down then back up; the value at x is the sum of the
// coefficient x power terms.
bool PlainCurve(const EnhanceParam& p, double S[256]) {
  int k = p.CurvePointCount;
  if (k > 15) k = 15;
  if (k > 10) k = 10;
  if (k == 0) return false;
  const int n = k + 2;
  std::vector<double> xs, ys;
  for (int j = 0; j < k; ++j) {
    xs.push_back(p.CurvePoints[j].x);
    ys.push_back(p.CurvePoints[j].y);
  }
  xs.push_back(255.0);
  ys.push_back(255.0);
  xs.push_back(0.0);
  ys.push_back(0.0);
  std::vector<std::vector<double>> m(n, std::vector<double>(n + 1));
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) m[r][c] = std::pow(xs[r], static_cast<double>(n - 1 - c));
    m[r][n] = ys[r];
  }
  // Down: divide each row by its diagonal, clear its column below.
  for (int i = 0; i < n; ++i) {
    const double d = m[i][i];
    for (int q = 0; q <= n; ++q) m[i][q] = m[i][q] / d;
    for (int r = i + 1; r < n; ++r) {
      const double f = m[r][i];
      for (int q = 0; q <= n; ++q) m[r][q] = m[r][q] - f * m[i][q];
    }
  }
  // Up, from the last row: clear each row's column above it.
  for (int i = n - 1; i >= 0; --i) {
    for (int r = i - 1; r >= 0; --r) {
      const double f = m[r][i];
      for (int q = 0; q <= n; ++q) m[r][q] = m[r][q] - f * m[i][q];
    }
  }
  // Coefficient of x^k sits in row n - 1 - k; the sum runs from x^0 up.
  for (int x = 0; x < 256; ++x) {
    double y = 0.0;
    for (int k = 0; k < n; ++k)
      y = y + m[n - 1 - k][n] * std::pow(static_cast<double>(x), static_cast<double>(k));
    if (y < 0.0) y = 0.0;
    if (y > 255.0) y = 255.0;
    S[x] = y;
  }
  return true;
}

// One channel, entries as plain ints (not yet held to the output range).
std::vector<long> PlainChannel(int in, int out, const EnhanceParam& p, bool lowGamma = false,
                               const uint16_t* lowTable = nullptr) {
  const int N = 1 << in;
  const int M = 1 << out;
  std::vector<float> T(N), A(N), B(M);

  const int ct = p.Contrast;
  if (ct > 0) {
    const float v = static_cast<float>(ct + 1) * static_cast<float>(N) / 256.0f - 1.0f;
    const int o = static_cast<int>(v);
    for (int i = 0; i < N; ++i) {
      if (i <= o)
        T[i] = 0.0f;
      else if (i < N - 1 - o)
        T[i] = (static_cast<float>(i) - v) * static_cast<float>(N - 1) /
               (static_cast<float>(N - 1) - 2.0f * v);
      else
        T[i] = static_cast<float>(N - 1);
    }
  } else if (ct == 0) {
    for (int i = 0; i < N; ++i) T[i] = static_cast<float>(i);
  } else {
    const float o =
        static_cast<float>(ct - 1) * static_cast<float>(N) * (-1.0f / 256.0f) - 1.0f;
    for (int i = 0; i < N; ++i)
      T[i] = ct == -127 ? o
                        : static_cast<float>(i) * (static_cast<float>(N - 1) - 2.0f * o) /
                                  static_cast<float>(N - 1) +
                              o;
  }

  for (int i = 0; i < N; ++i) T[i] = std::min(p.scale * T[i], static_cast<float>(N - 1));

  const int br = p.Brightness;
  float bv = 0.0f;
  if (br > 0) bv = static_cast<float>(br + 1) * static_cast<float>(N) / 256.0f - 1.0f;
  if (br < 0) bv = static_cast<float>(br - 1) * static_cast<float>(N) / 256.0f + 1.0f;
  for (int i = 0; i < N; ++i) T[i] = std::clamp(T[i] + bv, 0.0f, static_cast<float>(N - 1));

  double S[256];
  if (PlainCurve(p, S)) {
    for (int i = 0; i < N; ++i) {
      if (in >= 9) {
        const int s = in - 8;
        T[i] = static_cast<float>(static_cast<int>(S[static_cast<int>(T[i]) >> s]) << s);
      } else {
        const int s = 8 - in;
        T[i] = static_cast<float>(static_cast<int>(S[static_cast<int>(T[i]) << s]) >> s);
      }
    }
  }

  float lo = 0.0f, hi = 0.0f;
  if (p.InputLevelLow != 0)
    lo = static_cast<float>(p.InputLevelLow + 1) * static_cast<float>(N) / 256.0f - 1.0f;
  if (p.InputLevelHigh != 0)
    hi = static_cast<float>(p.InputLevelHigh + 1) * static_cast<float>(N) / 256.0f - 1.0f;
  lo = std::clamp(lo, 0.0f, static_cast<float>(N - 1));
  hi = std::clamp(hi, 0.0f, static_cast<float>(N - 1));
  const int K = static_cast<int>(lo);
  const int E = static_cast<int>(hi);
  for (int i = 0; i <= K; ++i) A[i] = 0.0f;
  if (E < N)
    for (int i = E; i < N; ++i) A[i] = static_cast<float>(N - 1);
  const float gamma = static_cast<float>(p.Gamma) * 0.1f;
  for (int i = K + 1; i < E; ++i) {
    if (lowGamma && in == 8) {
      const int u = static_cast<int>(static_cast<float>(i - K) / static_cast<float>(E - K) *
                                     256.0f);
      if (u < 32) {
        A[i] = static_cast<float>(lowTable[u]) * static_cast<float>(N) / 256.0f;
        continue;
      }
    }
    A[i] = static_cast<float>(N - 1) *
           powf(static_cast<float>(i - K) / static_cast<float>(E - K), 1.0f / gamma);
  }

  float olo = 0.0f, ohi = 0.0f;
  if (p.OutputLevelLow != 0)
    olo = static_cast<float>(p.OutputLevelLow + 1) * static_cast<float>(M) / 256.0f - 1.0f;
  if (olo < 0.0f) olo = 0.0f;
  if (olo > static_cast<float>(N - 1)) olo = static_cast<float>(N - 2);
  if (p.OutputLevelHigh != 0)
    ohi = static_cast<float>(p.OutputLevelHigh + 1) * static_cast<float>(M) / 256.0f - 1.0f;
  if (ohi < olo + 1.0f) ohi = olo + 1.0f;
  if (ohi > static_cast<float>(M - 1)) ohi = static_cast<float>(M - 1);
  for (int j = 0; j < M; ++j)
    B[j] = static_cast<float>(j) * (ohi - olo + 1.0f) / static_cast<float>(M) + olo;

  std::vector<long> entries(N);
  for (int i = 0; i < N; ++i) {
    int w = static_cast<int>(T[i]);
    w = std::clamp(w, 0, N - 1);
    int x = static_cast<int>(A[w]);
    if (x < 0) x = 0;
    if (in > out) x >>= in - out;
    if (x > M - 1) x = M - 1;
    entries[i] = static_cast<int>(B[x]);
  }
  if (in < out) {
    const int s = out - in;
    for (auto& e : entries) e = (e << s) + (1L << (s - 1));
  }
  return entries;
}

std::vector<uint16_t> Built(int in, int out, const EnhanceParam& p, bool lowGamma = false,
                            const uint16_t* lowTable = nullptr) {
  std::vector<uint16_t> entries(std::size_t{1} << in);
  BuildChannel(in, out, p, lowGamma, lowTable, entries.data());
  return entries;
}

// The table must equal the plain rules wherever they give an output level;
// where a shallow input on a deeper output pushes an entry past the output
// range, the entry is held at the top level.
void ExpectPlain(int in, int out, const EnhanceParam& p, const char* what, int round,
                 bool lowGamma = false, const uint16_t* lowTable = nullptr) {
  const auto plain = PlainChannel(in, out, p, lowGamma, lowTable);
  const auto built = Built(in, out, p, lowGamma, lowTable);
  const long top = (1L << out) - 1;
  for (std::size_t i = 0; i < plain.size(); ++i)
    ASSERT_EQ(built[i], std::min(plain[i], top))
        << what << " round " << round << " in " << in << " out " << out << " entry " << i;
}

EnhanceParam RandomSettings(std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
  EnhanceParam p = NeutralEnhanceParam();
  p.Brightness = static_cast<int16_t>(pick(-127, 127));
  p.Contrast = static_cast<int16_t>(pick(-127, 127));
  p.Gamma = static_cast<int16_t>(pick(1, 100));
  p.scale = std::uniform_real_distribution<float>(0.25f, 2.0f)(rng);
  p.InputLevelLow = static_cast<int16_t>(pick(0, 254));
  p.InputLevelHigh = static_cast<int16_t>(pick(p.InputLevelLow + 1, 255));
  p.OutputLevelLow = static_cast<int16_t>(pick(0, 254));
  p.OutputLevelHigh = static_cast<int16_t>(pick(0, 255));
  // Each setting is left neutral now and then, so every branch is met.
  if (rng() % 4 == 0) p.Brightness = 0;
  if (rng() % 4 == 0) p.Contrast = 0;
  if (rng() % 4 == 0) p.scale = 1.0f;
  if (rng() % 4 == 0) p.InputLevelLow = 0;
  if (rng() % 4 == 0) p.OutputLevelLow = 0;
  return p;
}

// Up to ten points with distinct x inside 1..254: the system is then regular.
void RandomCurve(EnhanceParam& p, int count, std::mt19937& rng) {
  std::vector<int> xs;
  while (static_cast<int>(xs.size()) < count) {
    const int x = 1 + static_cast<int>(rng() % 254);
    if (std::find(xs.begin(), xs.end(), x) == xs.end()) xs.push_back(x);
  }
  if (rng() % 2) std::sort(xs.begin(), xs.end());
  for (int j = 0; j < count; ++j) {
    const int near = std::clamp(xs[j] + static_cast<int>(rng() % 61) - 30, 0, 255);
    p.CurvePoints[j] = {xs[j], rng() % 3 ? near : static_cast<int>(rng() % 256)};
  }
  p.CurvePointCount = static_cast<uint8_t>(count);
}

TEST(ToneTablePlainRules, CurveValuesFollowTheTermByTermPolynomial) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    EnhanceParam p = NeutralEnhanceParam();
    RandomCurve(p, 1 + round % 10, rng);
    double expected[256], actual[256];
    ASSERT_TRUE(PlainCurve(p, expected));
    ASSERT_TRUE(CurveTable(p, actual));
    // The table uses the whole-number part of each value.
    for (int x = 0; x < 256; ++x)
      ASSERT_EQ(static_cast<int>(actual[x]), static_cast<int>(expected[x]))
          << "round " << round << " points " << int{p.CurvePointCount} << " x " << x;
  }
}

TEST(ToneTablePlainRules, EightBitTablesFollowEveryStep) {
  std::mt19937 rng(77);
  for (int round = 0; round < 3000; ++round) {
    EnhanceParam p = RandomSettings(rng);
    if (round % 3 == 0) RandomCurve(p, 1 + static_cast<int>(rng() % 10), rng);
    ExpectPlain(8, 8, p, "8/8", round);
  }
}

TEST(ToneTablePlainRules, OtherDepthsFollowEveryStep) {
  std::mt19937 rng(78);
  for (int round = 0; round < 400; ++round) {
    EnhanceParam p = RandomSettings(rng);
    if (round % 3 == 0) RandomCurve(p, 1 + static_cast<int>(rng() % 10), rng);
    const int in = 1 + static_cast<int>(rng() % (round % 8 == 0 ? 16 : 12));
    const int out = 1 + static_cast<int>(rng() % 16);
    ExpectPlain(in, out, p, "depths", round);
  }
  // The device's usual pairs, every one with a curve.
  for (auto [in, out] : {std::pair{16, 16}, {16, 8}, {8, 16}, {12, 8}, {10, 8}}) {
    EnhanceParam p = RandomSettings(rng);
    RandomCurve(p, 1 + static_cast<int>(rng() % 10), rng);
    ExpectPlain(in, out, p, "pairs", 0);
  }
}

TEST(ToneTablePlainRules, LowGammaTableFollowsTheDarkEndRule) {
  std::mt19937 rng(79);
  uint16_t low[32];
  for (auto& v : low) v = static_cast<uint16_t>(rng() % 256);
  for (int round = 0; round < 300; ++round) {
    EnhanceParam p = RandomSettings(rng);
    ExpectPlain(8, 8, p, "low gamma", round, true, low);
  }
}

}  // namespace
}  // namespace tembra
