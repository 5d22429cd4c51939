// Throughput of the job-stream readers through the write dispatch: one page of 47 bands of 32 rows,
// each a 1248-pixel 24-bit image record (about 5.6 MB), handed over in pieces of the given size.
// memcpy of the same bytes is the yardstick.
#include <benchmark/benchmark.h>

#include "JobStreamBuilder.h"
#include "entry/JobContext.h"
#include "stream/DisplayList.h"

#include <cstring>

namespace {

using dovamon::test::Bytes;

Bytes PageStream() {
  constexpr uint16_t kWidth = 1248, kRows = 32, kBands = 47;
  dovamon::test::JobStreamBuilder builder;
  builder.Header().BandCount(kBands);
  const Bytes image(size_t{kWidth} * 3 * kRows, 0x80);
  for (uint16_t band = 0; band < kBands; ++band)
    builder.Band(band * kRows, (band + 1) * kRows, kWidth, dovamon::test::Payload({{80, image}}));
  return builder.bytes();
}

void ReadPage(benchmark::State& state) {
  const Bytes stream = PageStream();
  const size_t piece = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    dovamon::JobContext context;
    context.bandList = dovamon::CreateBandList();
    for (size_t at = 0; at < stream.size(); at += piece) {
      const size_t n = std::min(piece, stream.size() - at);
      benchmark::DoNotOptimize(dovamon::DispatchWrite(context, stream.data() + at, static_cast<DWORD>(n)));
    }
    dovamon::DestroyBandList(context.bandList);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(ReadPage)->Arg(1)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

void CopyPage(benchmark::State& state) {
  const Bytes stream = PageStream();
  Bytes copy(stream.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), stream.data(), stream.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(CopyPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
