#include "stream/DisplayList.h"

#include "stream/ByteOrder.h"

#include <cstring>
#include <new>

namespace dovamon {

namespace {

constexpr size_t kRecordHeaderSize = 6;  // kind u16, length u32

void DestroyRecords(BandRecord* record) {
  while (record) {
    BandRecord* next = record->next;
    delete[] record->data;
    delete record;
    record = next;
  }
}

}  // namespace

PageBandList* CreateBandList() {
  auto* list = new (std::nothrow) PageBandList;
  if (!list) return nullptr;
  auto* first = new (std::nothrow) Band;
  if (!first) {
    delete list;
    return nullptr;
  }
  AppendBand(*list, first);
  return list;
}

void AppendBand(PageBandList& list, Band* band) {
  if (!list.hasBand) {
    list.head = list.tail = band;
    list.hasBand = 1;
    band->isPageHead = 1;
    return;
  }
  list.tail->next = band;
  list.tail = band;
}

// A page can hold up to 65535 bands; the chain is walked, not recursed, so a long page cannot exhaust
// the stack of the spooler thread.
void DestroyBandChain(Band* band) {
  while (band) {
    Band* next = band->next;
    delete[] band->payload;
    DestroyRecords(band->records);
    delete band;
    band = next;
  }
}

void ClearBandList(PageBandList& list) {
  DestroyBandChain(list.head);
  list.hasBand = 0;
  list.head = list.tail = nullptr;
  list.bandCounter = 0;
}

void DestroyBandList(PageBandList* list) {
  if (!list) return;
  DestroyBandChain(list->head);
  delete list;
}

void SplitPayload(Band& band, std::span<const BYTE> payload) {
  BandRecord** link = &band.records;
  while (*link) link = &(*link)->next;

  size_t offset = 0;
  while (offset < payload.size()) {
    if (payload.size() - offset < kRecordHeaderSize) return;
    const WORD kind = ReadLe16(payload, offset);
    const DWORD length = ReadLe32(payload, offset + 2);
    offset += kRecordHeaderSize;
    if (length > payload.size() - offset) return;

    BYTE* data = nullptr;
    if (length > 0) data = new (std::nothrow) BYTE[length];
    auto* record = (length == 0 || data) ? new (std::nothrow) BandRecord : nullptr;
    if (record) {
      if (data) std::memcpy(data, payload.data() + offset, length);
      record->kind = kind;
      record->length = length;
      record->data = data;
      *link = record;
      link = &record->next;
    } else {
      delete[] data;
    }
    offset += length;
  }
}

}  // namespace dovamon
