// Modules of the process as the rest of the stand-in sees them (LoadLibrary and friends are the
// Windows face of the same table).
#pragma once

#include <windows.h>

namespace platform::kernel {

// The address of an exported symbol of a loaded module, looked up in that module first; NULL hModule
// is the program itself. nullptr when the module is not loaded or does not define the symbol.
void* ModuleSymbol(HMODULE hModule, const char* name);

}  // namespace platform::kernel
