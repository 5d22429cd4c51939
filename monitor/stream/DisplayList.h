// The display list of one page: the bands that the job stream delivers, each with its drawing records.
// The list is kept until the page's last copy is printed, because every copy is rendered again from
// the records.
#pragma once

#include <windows.h>

#include <span>

namespace dovamon {

struct BandRecord {
  WORD kind = 0;
  DWORD length = 0;
  BYTE* data = nullptr;  // its own copy of the record data; NULL when length is 0
  BandRecord* next = nullptr;
};

inline constexpr size_t kBandHeaderSize = 12;

struct Band {
  // From the band header.
  WORD bandTop = 0;
  WORD bandEnd = 0;
  WORD width = 0;
  WORD height = 0;
  DWORD payloadSize = 0;

  // The payload while it arrives; released once the records are split out. It grows with the bytes
  // that actually arrive rather than trusting payloadSize up front.
  BYTE* payload = nullptr;
  DWORD payloadCapacity = 0;
  DWORD payloadDropped = 0;  // it could not be held: the rest is counted down unread
  Band* next = nullptr;
  BandRecord* records = nullptr;

  // Canvas, filled by the rasterizer between rendering and release.
  BYTE* pixels = nullptr;
  HMODULE plugin = nullptr;
  DWORD isPageHead = 0;
  HDC canvasDc = nullptr;
  HBITMAP canvasBitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  HGDIOBJ previousBrush = nullptr;
  HBRUSH blackBrush = nullptr;

  // Reader state.
  BYTE* payloadCursor = nullptr;
  DWORD payloadLeft = 0;  // 0 while the band waits for its header
  BYTE headerFill = 0;
  BYTE headerBytes[kBandHeaderSize] = {};

  // Rows written by the rasterizer; an empty, inverted range until it draws.
  LONG dirtyTop = 0;
  LONG dirtyBottom = 0;
};

struct PageBandList {
  WORD bandCounter = 0;  // bands of the page whose payload is not complete yet
  DWORD countPending = 0;
  BYTE pendingByte = 0;
  DWORD hasBand = 0;
  Band* head = nullptr;
  Band* tail = nullptr;
};

// A list holding the job's first, empty band; NULL when memory is short.
PageBandList* CreateBandList();
void AppendBand(PageBandList& list, Band* band);
// Page done: every band goes, the list waits for the next page.
void ClearBandList(PageBandList& list);
void DestroyBandList(PageBandList* list);

// Releases a band and every band chained after it.
void DestroyBandChain(Band* band);

// Splits a complete payload into the band's records, in stream order. A record whose header or data
// would reach past the payload ends the split there: the records before it are kept, the broken tail
// is dropped. A record whose data cannot be allocated is left out; the next record is still found,
// since its length is known.
void SplitPayload(Band& band, std::span<const BYTE> payload);

}  // namespace dovamon
