// Dialog templates as the resource compiler writes them and CreateDialog reads them: DLGTEMPLATE and
// DLGTEMPLATEEX with their items, read field by field from a bounded span.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::user {

// A menu, class or text field: an ordinal (0xFFFF followed by a number) or a string; neither is set
// for an empty field.
struct NameOrOrdinal {
  std::optional<WORD> ordinal;
  std::u16string name;
};

struct DialogItem {
  DWORD helpId = 0, exStyle = 0, style = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  NameOrOrdinal windowClass;  // 0x80 button, 0x81 edit, 0x82 static, ... or a class name
  NameOrOrdinal text;
  std::vector<BYTE> creationData;
};

struct DialogTemplate {
  bool extended = false;
  DWORD helpId = 0, exStyle = 0, style = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu, windowClass;
  std::u16string caption;
  bool hasFont = false;
  WORD pointSize = 0, weight = 0;
  BYTE italic = 0, charset = 0;
  std::u16string typeface;
  std::vector<DialogItem> items;
};

// nullopt when the bytes end before the template does or a field cannot be what it says.
std::optional<DialogTemplate> ReadDialogTemplate(std::span<const BYTE> bytes);

}  // namespace platform::user
