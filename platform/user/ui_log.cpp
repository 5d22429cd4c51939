#include "user/ui_log.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "kernel/text.h"

namespace platform::user {

std::string JsonString(std::u16string_view text) {
  const std::string utf8 = text::ToUtf8(text);
  std::string out = "\"";
  for (const char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

void LogUiEvent(std::string_view event, std::string_view fields) {
  const char* path = std::getenv("ORVELLA_UI_LOG");
  if (path == nullptr || *path == '\0') return;
  std::string line = "{\"event\":\"" + std::string(event) + "\"";
  if (!fields.empty()) line += "," + std::string(fields);
  line += "}\n";
  // One write per line in append mode, so that lines of several processes do not interleave.
  std::ofstream log(path, std::ios::app | std::ios::binary);
  log << line << std::flush;
}

void LogMessageBox(std::u16string_view caption, std::u16string_view text, UINT style, int answer) {
  LogUiEvent("messagebox", "\"caption\":" + JsonString(caption) + ",\"text\":" + JsonString(text) +
                               ",\"style\":" + std::to_string(style) + ",\"answer\":" + std::to_string(answer));
}

}  // namespace platform::user
