// Blits on a 1248 x 128 band canvas, each set against memcpy or memset of the canvas bytes in the same
// run. The summary at the end gives the ratios and the target for each.

#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1248;
constexpr int kHeight = 128;
constexpr int kStride = (3 * kWidth + 3) & ~3;
constexpr size_t kBytes = size_t{kStride} * kHeight;

// A packed 24-bit bottom-up DIB with noise for pixels.
struct Image {
  std::vector<uint32_t> words;
  Image(int width, int height) {
    const int stride = (3 * width + 3) & ~3;
    words.assign((sizeof(BITMAPINFOHEADER) + size_t(stride) * height + 3) / 4, 0);
    BITMAPINFOHEADER &h = *reinterpret_cast<BITMAPINFOHEADER *>(words.data());
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    uint32_t state = 12345;
    for (size_t i = 0; i < size_t(stride) * height; ++i) {
      state = state * 1664525u + 1013904223u;
      Bits()[i] = static_cast<BYTE>(state >> 24);
    }
  }
  const BITMAPINFO *Info() const { return reinterpret_cast<const BITMAPINFO *>(words.data()); }
  BYTE *Bits() { return reinterpret_cast<BYTE *>(words.data()) + sizeof(BITMAPINFOHEADER); }
};

// The band canvas: a bottom-up 24-bit DIB section selected into a memory context.
class Canvas {
 public:
  Canvas() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<BYTE *>(bits);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  bool Ok() const { return dc_ != nullptr && bits_ != nullptr && old_ != nullptr; }
  HDC Dc() const { return dc_; }
  BYTE *Bits() const { return bits_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  BYTE *bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

HBRUSH PatternBrush() {
  BYTE bits[8 * 24];
  for (int i = 0; i < 8 * 24; ++i) bits[i] = static_cast<BYTE>(i * 37 + 11);
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 24, bits);
  HBRUSH brush = CreatePatternBrush(bitmap);
  DeleteObject(bitmap);
  return brush;
}

// Ratios are taken per destination byte, so a blit that covers less than the whole band is not favoured.
void SetBytes(benchmark::State &state, size_t bytes = kBytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
  state.counters["dest_bytes"] = static_cast<double>(bytes);
}

void BM_Memcpy(benchmark::State &state) {
  Canvas canvas;
  std::vector<BYTE> source(kBytes, 0x5A);
  for (auto _ : state) {
    std::memcpy(canvas.Bits(), source.data(), kBytes);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

void BM_Memset(benchmark::State &state) {
  Canvas canvas;
  for (auto _ : state) {
    std::memset(canvas.Bits(), 0x5A, kBytes);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

void BM_StretchDIBitsCopy(benchmark::State &state) {
  Canvas canvas;
  Image image(kWidth, kHeight);
  for (auto _ : state)
    if (StretchDIBits(canvas.Dc(), 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, image.Bits(), image.Info(),
                      DIB_RGB_COLORS, SRCCOPY) == 0)
      return state.SkipWithError("StretchDIBits failed");
  SetBytes(state);
}

void PatternFill(benchmark::State &state, HBRUSH brush, DWORD rop) {
  Canvas canvas;
  HGDIOBJ old = SelectObject(canvas.Dc(), brush);
  for (auto _ : state)
    if (!BitBlt(canvas.Dc(), 0, 0, kWidth, kHeight, nullptr, 0, 0, rop)) {
      state.SkipWithError("BitBlt failed");
      break;
    }
  SelectObject(canvas.Dc(), old);
  DeleteObject(brush);
  SetBytes(state);
}

void BM_PatCopySolid(benchmark::State &state) {
  PatternFill(state, CreateSolidBrush(RGB(12, 34, 56)), PATCOPY);
}
void BM_PatInvertSolid(benchmark::State &state) {
  PatternFill(state, CreateSolidBrush(RGB(12, 34, 56)), PATINVERT);
}

// The pattern where the source bit is 0, the destination where it is 1.
void BM_TernaryPatternSource(benchmark::State &state) {
  Canvas canvas;
  Image image(kWidth, kHeight);
  HBRUSH brush = PatternBrush();
  HGDIOBJ old = SelectObject(canvas.Dc(), brush);
  for (auto _ : state)
    if (StretchDIBits(canvas.Dc(), 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, image.Bits(), image.Info(),
                      DIB_RGB_COLORS, 0x00B8074A) == 0) {
      state.SkipWithError("StretchDIBits failed");
      break;
    }
  SelectObject(canvas.Dc(), old);
  DeleteObject(brush);
  SetBytes(state);
}

void Stretch(benchmark::State &state, int sourceWidth, int sourceHeight, int width, int height) {
  const size_t destBytes = size_t{3} * width * height;
  Canvas canvas;
  Image image(sourceWidth, sourceHeight);
  for (auto _ : state)
    if (StretchDIBits(canvas.Dc(), 0, 0, width, height, 0, 0, sourceWidth, sourceHeight, image.Bits(),
                      image.Info(), DIB_RGB_COLORS, SRCCOPY) == 0) {
      state.SkipWithError("StretchDIBits failed");
      break;
    }
  SetBytes(state, destBytes);
}

void BM_Shrink2x(benchmark::State &state) { Stretch(state, 2 * kWidth, 2 * kHeight, kWidth, kHeight); }
// 2.5 times: 498 x 50 source pixels fill 1245 x 125 of the band.
void BM_Stretch2_5x(benchmark::State &state) { Stretch(state, 498, 50, 1245, 125); }

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_Memset);
BENCHMARK(BM_StretchDIBitsCopy);
BENCHMARK(BM_PatCopySolid);
BENCHMARK(BM_PatInvertSolid);
BENCHMARK(BM_TernaryPatternSource);
BENCHMARK(BM_Shrink2x);
BENCHMARK(BM_Stretch2_5x);

// Keeps each benchmark's processor time per destination byte for the summary (the machine is shared:
// wall time carries other processes' load).
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    // With --benchmark_repetitions the median stands for the benchmark, else its one run.
    for (const Run &run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) continue;
      const auto bytes = run.counters.find("dest_bytes");
      if (bytes == run.counters.end() || bytes->second.value <= 0) continue;
      const std::string &name = run.run_name.function_name;
      if (median || medians.count(name) == 0)
        timePerByte[name] = run.GetAdjustedCPUTime() / bytes->second.value;
      if (median) medians.insert(name);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> timePerByte;
  std::set<std::string> medians;
};

struct Target {
  const char *name;
  const char *baseline;
  double limit;  // 0: measured, no target set
};

constexpr Target kTargets[] = {
    {"BM_StretchDIBitsCopy", "BM_Memcpy", 1.5}, {"BM_PatCopySolid", "BM_Memset", 1.5},
    {"BM_PatInvertSolid", "BM_Memcpy", 0},      {"BM_TernaryPatternSource", "BM_Memcpy", 4.0},
    {"BM_Shrink2x", "BM_Memcpy", 6.0},          {"BM_Stretch2_5x", "BM_Memcpy", 6.0},
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nCPU time per destination byte against the baseline (%d x %d, %zu bytes):\n", kWidth, kHeight,
              kBytes);
  for (const Target &t : kTargets) {
    const auto op = reporter.timePerByte.find(t.name);
    const auto base = reporter.timePerByte.find(t.baseline);
    if (op == reporter.timePerByte.end() || base == reporter.timePerByte.end() || base->second <= 0) continue;
    const double ratio = op->second / base->second;
    if (t.limit > 0)
      std::printf("  %-24s %6.2fx %-10s target %.1fx  %s\n", t.name, ratio, t.baseline, t.limit,
                  ratio <= t.limit ? "met" : "MISSED");
    else
      std::printf("  %-24s %6.2fx %-10s no target\n", t.name, ratio, t.baseline);
  }
  benchmark::Shutdown();
  return 0;
}
