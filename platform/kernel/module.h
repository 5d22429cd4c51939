// What the rest of the stand-in needs to know about the modules of the process (the resource
// functions of platform/user read a module's tables through its exported symbols).
#pragma once

#include <windows.h>

namespace platform::kernel {

// The address of the symbol `name` that `module` itself exports (NULL: the program), or nullptr when
// the module is not loaded or does not export it. Symbols of the libraries a module depends on are not
// the module's own and are not found.
DECLSPEC_EXPORT void* ModuleSymbol(HMODULE module, const char* name);

// The module (its HMODULE, the base address it is loaded at) that holds an address of code or data,
// or NULL when no loaded module holds it.
DECLSPEC_EXPORT HMODULE ModuleOfAddress(const void* address);

}  // namespace platform::kernel
