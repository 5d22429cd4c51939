// The resource compiler's back end: resource statements to resources in Windows' binary formats, and
// those to the C++ source of a module's resource table (platform/resources.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "preprocessor.h"

namespace orvella::rc {

struct Resource {
  uint16_t typeId = 0;
  std::u16string typeName;  // set for named types
  uint16_t nameId = 0;
  std::u16string nameName;  // set for named resources (upper case)
  uint16_t language = 0;
  std::vector<uint8_t> data;
};

constexpr uint16_t kRtDialog = 5;
constexpr uint16_t kRtString = 6;

// Compiles the statements the script holds: LANGUAGE, STRINGTABLE, DIALOG and DIALOGEX. Anything else
// is an Error, so that a script this compiler accepts means the same to rc.exe.
std::vector<Resource> Compile(const std::vector<Token>& tokens);

// The C++ source that defines the exported resource table.
std::string EmitTable(const std::vector<Resource>& resources, const std::string& scriptName);

}  // namespace orvella::rc
