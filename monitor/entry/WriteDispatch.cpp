#include "entry/JobContext.h"
#include "stream/JobStream.h"
#include "stream/Pipeline.h"

namespace dovamon {

// The job header comes first and may take several buffers; whatever follows it in the buffer that
// completes it belongs to the first page.
BOOL DispatchWrite(JobContext& context, const BYTE* buffer, DWORD size) {
  context.inputCursor = buffer;
  context.inputLeft = size;
  if (!context.headerSeen) {
    if (!AppendHeaderBytes(context)) return TRUE;
    context.headerSeen = 1;
  }
  return Run(context);
}

}  // namespace dovamon
