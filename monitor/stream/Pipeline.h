// The page pipeline that runs inside WritePort once the job header is complete: it drives the stream
// readers in the order the stream gives and takes each completed band and page on from there.
#pragma once

#include <windows.h>

namespace dovamon {

struct JobContext;

// Processes the input left in the context; TRUE once it is used up, FALSE when the pipeline fails.
BOOL Run(JobContext& context);

}  // namespace dovamon
