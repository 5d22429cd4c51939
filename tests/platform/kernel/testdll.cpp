// A small DLL for the module tests: it notes every call of its entry routine in the host file named by
// ORVELLA_TESTDLL_LOG ("attach"/"detach" with the instance handle), refuses its attach while
// ORVELLA_TESTDLL_REFUSE is set, and exports stdcall functions by name.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

HINSTANCE instance;

void Note(const char* what, HINSTANCE module) {
  const char* log = std::getenv("ORVELLA_TESTDLL_LOG");
  if (log == nullptr) return;
  if (std::FILE* file = std::fopen(log, "a")) {
    std::fprintf(file, "%s %p\n", what, static_cast<void*>(module));
    std::fclose(file);
  }
}

}  // namespace

EXTERN_C DECLSPEC_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
  if (fdwReason == DLL_PROCESS_ATTACH) {
    instance = hinstDLL;
    Note("attach", hinstDLL);
    return std::getenv("ORVELLA_TESTDLL_REFUSE") == nullptr;
  }
  if (fdwReason == DLL_PROCESS_DETACH) Note("detach", hinstDLL);
  return TRUE;
}

// Five stack arguments, removed by the callee: a wrong calling convention on either side breaks the
// caller's stack and the answer.
EXTERN_C DECLSPEC_EXPORT LONG WINAPI WeightedSum(LONG a, LONG b, LONG c, LONG d, LONG e) {
  return a + 2 * b + 3 * c + 4 * d + 5 * e;
}

EXTERN_C DECLSPEC_EXPORT HINSTANCE WINAPI AttachedInstance(void) { return instance; }

// Not exported: hidden like everything a module does not mark for export.
EXTERN_C LONG WINAPI HiddenHelper(void) { return 1; }
