#include "stream/JobStream.h"

#include "entry/JobContext.h"
#include "stream/ByteOrder.h"
#include "stream/DisplayList.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace dovamon {

namespace {

// Interpreted fields of the job header, at their offsets.
struct HeaderField {
  size_t offset;
  WORD JobHeader::*field;
};
constexpr HeaderField kHeaderFields[] = {
    {4, &JobHeader::extentA},      // one page dimension, device pixels
    {6, &JobHeader::extentB},      // the other page dimension
    {14, &JobHeader::paperKind},   // 0x40 is the sticker sheet
    {66, &JobHeader::pageCopies},  // 0 and 1 both print once
    {94, &JobHeader::topShift},    // added to topOrigin
    {98, &JobHeader::topOrigin},   // top offset = topOrigin + topShift
    {112, &JobHeader::borderMode},
    {118, &JobHeader::gridCopies},  // copies of the image on one sheet
};

DWORD Take(JobContext& context, BYTE* destination, DWORD wanted) {
  const DWORD n = std::min(context.inputLeft, wanted);
  if (destination) std::memcpy(destination, context.inputCursor, n);
  context.inputCursor += n;
  context.inputLeft -= n;
  return n;
}

}  // namespace

JobHeader ReadJobHeader(std::span<const BYTE> bytes) {
  JobHeader header;
  const size_t kept = std::min(bytes.size(), kJobHeaderKept);
  std::memcpy(header.bytes, bytes.data(), kept);
  const std::span<const BYTE> fields(header.bytes, kJobHeaderKept);
  for (const HeaderField& f : kHeaderFields) header.*f.field = ReadLe16(fields, f.offset);
  return header;
}

bool AppendHeaderBytes(JobContext& context) {
  context.headerFill += static_cast<BYTE>(
      Take(context, context.headerBuffer + context.headerFill, kJobHeaderSize - context.headerFill));
  if (context.headerFill < kJobHeaderSize) return false;
  context.header = ReadJobHeader(std::span<const BYTE>(context.headerBuffer, kJobHeaderKept));
  context.headerFill = 0;
  return true;
}

bool ReadBandCount(JobContext& context) {
  PageBandList& list = *context.bandList;
  if (context.inputLeft == 0) return false;
  BYTE bytes[2];
  if (list.countPending) {
    bytes[0] = list.pendingByte;
    Take(context, bytes + 1, 1);
    list.countPending = 0;
  } else if (context.inputLeft >= 2) {
    Take(context, bytes, 2);
  } else {
    Take(context, &list.pendingByte, 1);
    list.countPending = 1;
    return false;
  }
  list.bandCounter = ReadLe16(bytes, 0);
  return true;
}

bool ReadBandHeader(JobContext& context) {
  Band& band = *context.bandList->tail;
  band.headerFill += static_cast<BYTE>(
      Take(context, band.headerBytes + band.headerFill, kBandHeaderSize - band.headerFill));
  if (band.headerFill < kBandHeaderSize) return false;

  const std::span<const BYTE> header(band.headerBytes);
  band.bandTop = ReadLe16(header, 0);
  band.bandEnd = ReadLe16(header, 2);
  band.width = ReadLe16(header, 4);
  band.height = ReadLe16(header, 6);
  band.payloadSize = ReadLe32(header, 8);
  band.headerFill = 0;
  band.dirtyTop = band.bandEnd;
  band.dirtyBottom = band.bandTop;

  delete[] band.payload;
  band.payload = band.payloadCursor = nullptr;
  band.payloadCapacity = 0;
  band.payloadDropped = 0;
  band.payloadLeft = band.payloadSize;
  return true;
}

namespace {

constexpr DWORD kFirstPayloadChunk = 64 * 1024;

// Makes room for `more` bytes after what the payload holds, growing it geometrically up to
// payloadSize. A payload that cannot be held is dropped: its bytes are still counted down, so the
// stream stays in step, and the band ends up without records.
void ReservePayload(Band& band, DWORD more) {
  if (band.payloadDropped) return;
  const DWORD held = band.payloadSize - band.payloadLeft;
  if (band.payloadCapacity - held >= more) return;
  const DWORD doubled = band.payloadCapacity > band.payloadSize / 2
                            ? band.payloadSize
                            : std::max(band.payloadCapacity * 2, kFirstPayloadChunk);
  const DWORD capacity = std::min(std::max(doubled, held + more), band.payloadSize);

  BYTE* grown = new (std::nothrow) BYTE[capacity];
  if (grown && held) std::memcpy(grown, band.payload, held);
  delete[] band.payload;
  band.payload = grown;
  band.payloadCursor = grown ? grown + held : nullptr;
  band.payloadCapacity = grown ? capacity : 0;
  band.payloadDropped = grown ? 0 : 1;
}

}  // namespace

Band* ReadPayload(JobContext& context) {
  Band& band = *context.bandList->tail;
  const DWORD n = std::min(context.inputLeft, band.payloadLeft);
  ReservePayload(band, n);
  Take(context, band.payloadDropped ? nullptr : band.payloadCursor, n);
  if (!band.payloadDropped) band.payloadCursor += n;
  band.payloadLeft -= n;
  if (band.payloadLeft > 0) return nullptr;

  if (!band.payloadDropped) SplitPayload(band, std::span<const BYTE>(band.payload, band.payloadSize));
  delete[] band.payload;
  band.payload = band.payloadCursor = nullptr;
  band.payloadCapacity = 0;
  band.payloadDropped = 0;
  context.bandList->bandCounter -= 1;
  return &band;
}

}  // namespace dovamon
