// Files of the simulated machine behind kernel handles, and the door CreateFile opens into the device
// namespace ("\\.\name", "\\?\symbolic#link") for the device models.
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

namespace platform::kernel {

// Opens a device path for CreateFile: a handle, or INVALID_HANDLE_VALUE with the last error set
// (ERROR_FILE_NOT_FOUND for a name that no device answers to). Without an opener every device path
// fails with ERROR_FILE_NOT_FOUND.
using DeviceOpener = std::function<HANDLE(std::u16string_view devicePath, DWORD desiredAccess)>;
DECLSPEC_EXPORT void SetDeviceOpener(DeviceOpener opener);

}  // namespace platform::kernel
