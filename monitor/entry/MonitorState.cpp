#include "entry/MonitorState.h"

namespace dovamon {

MonitorState monitorState;
HMODULE monitorModule = nullptr;

}  // namespace dovamon
