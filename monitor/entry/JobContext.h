// The one object of a print job: the stream cursor, the job header, the page's display list, the two
// render slots of the band pipeline with their events and output worker, and the debug files.
#pragma once

#include <windows.h>

#include "stream/JobStream.h"

namespace dovamon {

struct Band;
struct PageBandList;

struct JobContext {
  DWORD bandsToRender = 0;  // bands of the current page not yet handed to the renderer
  BYTE headerBuffer[kJobHeaderSize] = {};
  JobHeader header;
  DWORD headerSeen = 0;
  BYTE headerFill = 0;
  DWORD inputLeft = 0;
  const BYTE* inputCursor = nullptr;
  PageBandList* bandList = nullptr;
  Band* slotBand[2] = {};
  HANDLE slotEvent[2] = {};  // manual reset; signalled while no worker is busy with the slot's band
  BYTE currentSlot = 0;      // receives the next completed band
  BYTE outputSlot = 0;       // the band the running output worker handles
  HANDLE workerThread = nullptr;
  DWORD workerThreadId = 0;
  HANDLE printer = nullptr;
  HANDLE debugFile = INVALID_HANDLE_VALUE;
  HANDLE outputPrnFile = INVALID_HANDLE_VALUE;
};

// A new context for the printer of the job, started; NULL when it cannot be started (everything it
// had built is released again).
JobContext* CreateJobContext(HANDLE printer);
// Consumes one WritePort buffer whole. FALSE when the page pipeline fails.
BOOL DispatchWrite(JobContext& context, const BYTE* buffer, DWORD size);
void DestroyJobContext(JobContext* context);

}  // namespace dovamon
