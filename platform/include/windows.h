// The subset of the Windows API that the Orvella host software calls, as the stand-in provides it.
#pragma once

#include <windef.h>
#include <winerror.h>
#include <winbase.h>
#include <winnls.h>
#include <wingdi.h>
#include <winuser.h>
#include <winreg.h>
#include <winspool.h>
