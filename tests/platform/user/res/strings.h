// Numbers of the test program's resources.
#pragma once

#define IDS_PLAIN 1
#define IDS_ESCAPES 2
#define IDS_EMPTY 3
#define IDS_ANSI 4
#define IDS_CONDITIONAL 5
#define IDS_BASE 100
#define IDS_SECOND (IDS_BASE + 1)
#define IDS_END_OF_BLOCK 31
#define IDS_HIGHEST 0xFFFF

#define IDD_WAIT 131
#define IDC_PROGRESS 1003
#define IDC_CANCEL 1005
#define IDC_MESSAGE 4000

#ifdef APSTUDIO_INVOKED
this line is not a directive and is ignored in a header
#endif
