// Fuzz target for the job-stream readers: the input is cut into pieces (the first byte seeds the cut
// sizes) and fed through the write dispatch, as the spooler would hand it over. Every piece must be
// consumed whole, and the display list must hold together afterwards.
#include "entry/JobContext.h"
#include "stream/DisplayList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckList(const dovamon::PageBandList& list) {
  const dovamon::Band* last = nullptr;
  for (const dovamon::Band* band = list.head; band; band = band->next) {
    Check(band->isPageHead == (band == list.head ? 1u : 0u));
    for (const dovamon::BandRecord* r = band->records; r; r = r->next) Check(r->length == 0 || r->data);
    last = band;
  }
  Check(last == list.tail);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint32_t cuts = data[0] * 2654435761u + 1;
  ++data;
  --size;

  dovamon::JobContext context;
  context.bandList = dovamon::CreateBandList();
  if (!context.bandList) return 0;
  for (size_t at = 0; at < size;) {
    cuts = cuts * 1103515245u + 12345u;
    size_t piece = (cuts >> 16) % 64;
    if (piece > size - at) piece = size - at;
    Check(dovamon::DispatchWrite(context, data + at, static_cast<DWORD>(piece)));
    Check(context.inputLeft == 0);
    at += piece;
  }
  CheckList(*context.bandList);
  dovamon::DestroyBandList(context.bandList);
  return 0;
}
