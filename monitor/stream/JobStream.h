// The job stream that the printer driver writes to the port, and its incremental readers. The spooler
// hands the stream over in pieces of any size cut at any byte; every reader takes what it can from
// the current piece, keeps partial fields in the job context, and never reads past the piece.
//
// Stream (little-endian throughout): JobHeader (124 bytes), then pages. A page is a u16 band count N
// and N bands; a band is a 12-byte band header and payloadSize bytes of records; a record is kind
// (u16), length (u32) and length bytes of data.
#pragma once

#include <windows.h>

#include <span>

namespace dovamon {

struct Band;
struct JobContext;

inline constexpr size_t kJobHeaderSize = 124;
inline constexpr size_t kJobHeaderKept = 122;  // the last two bytes carry nothing the monitor uses

struct JobHeader {
  BYTE bytes[kJobHeaderKept] = {};
  WORD extentA = 0;
  WORD extentB = 0;
  WORD paperKind = 0;
  WORD pageCopies = 0;
  WORD topShift = 0;
  WORD topOrigin = 0;
  WORD borderMode = 0;
  WORD gridCopies = 0;
};

// Decodes the interpreted fields; the other bytes are carried as they came.
JobHeader ReadJobHeader(std::span<const BYTE> bytes);

// Each reader consumes from the context's inputCursor / inputLeft and reports whether its item is
// complete.
bool AppendHeaderBytes(JobContext& context);
bool ReadBandCount(JobContext& context);
bool ReadBandHeader(JobContext& context);
// The tail band once its payload is complete and split into records, else NULL.
Band* ReadPayload(JobContext& context);

}  // namespace dovamon
