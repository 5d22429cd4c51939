// The resources a module carries on this platform: one table of entries, exported by the module under
// the C name "OrvellaResourceTable" (ORVELLA_RESOURCE_TABLE_SYMBOL). The resource compiler (platform/rc)
// writes it from the module's .rc script; FindResourceW and the functions built on it read it.
//
// The data of each entry is in Windows' own binary resource formats, byte for byte what rc.exe puts in
// a .res file: an RT_STRING block holds 16 strings, each a 16-bit length followed by that many UTF-16
// units (block id = string id / 16 + 1); an RT_DIALOG entry is a DLGTEMPLATE or DLGTEMPLATEEX.
#pragma once

#include <windows.h>

namespace platform {

struct ResourceEntry {
  WORD typeId;               // RT_STRING, RT_DIALOG, ... (0 when typeName is set)
  const char16_t* typeName;  // a named type, in upper case as Windows keeps it, or nullptr
  WORD nameId;               // the resource's number (0 when nameName is set)
  const char16_t* nameName;  // a named resource, in upper case, or nullptr
  WORD language;             // LANGID; 0 is language-neutral
  const BYTE* data;          // 4-byte aligned
  DWORD size;
};

struct ResourceTable {
  DWORD count;
  const ResourceEntry* entries;
};

}  // namespace platform

#define ORVELLA_RESOURCE_TABLE_SYMBOL "OrvellaResourceTable"
