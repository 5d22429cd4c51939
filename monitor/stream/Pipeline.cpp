#include "stream/Pipeline.h"

#include "entry/JobContext.h"
#include "entry/MonitorState.h"
#include "stream/DisplayList.h"
#include "stream/JobStream.h"

#include <new>

namespace dovamon {

namespace {

void StartPage(JobContext& context) {
  context.bandsToRender = context.bandList->bandCounter;
  monitorState.pageReady = FALSE;
}

void EndPage(JobContext& context) {
  context.slotBand[0] = context.slotBand[1] = nullptr;
  context.currentSlot = 0;
}

BOOL AppendEmptyBand(PageBandList& list) {
  auto* band = new (std::nothrow) Band;
  if (!band) return FALSE;
  AppendBand(list, band);
  return TRUE;
}

BOOL CompleteBand(JobContext& context, Band& band) {
  PageBandList& list = *context.bandList;
  context.slotBand[context.currentSlot] = &band;
  context.bandsToRender -= 1;
  context.currentSlot = static_cast<BYTE>(1 - context.currentSlot);

  if (list.bandCounter > 0) return AppendEmptyBand(list);
  // Every band of the page has arrived; the next bytes begin a new page with a fresh head band.
  EndPage(context);
  ClearBandList(list);
  return TRUE;
}

}  // namespace

BOOL Run(JobContext& context) {
  PageBandList& list = *context.bandList;
  while (context.inputLeft > 0) {
    if (!list.hasBand) {
      if (!AppendEmptyBand(list)) return FALSE;
    } else if (list.bandCounter == 0) {
      // A count of 0 is no page: the next two bytes are a band count again.
      if (ReadBandCount(context) && list.bandCounter > 0) StartPage(context);
    } else if (list.tail->payloadLeft == 0) {
      ReadBandHeader(context);
    } else if (Band* band = ReadPayload(context)) {
      if (!CompleteBand(context, *band)) return FALSE;
    }
  }
  return TRUE;
}

}  // namespace dovamon
