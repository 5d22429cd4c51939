// Little-endian fields of the job stream, read at their offsets from a bounded span. The caller
// has checked the length of the record; the reads still refuse to leave the span.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>

namespace dovamon {

constexpr WORD ReadLe16(std::span<const BYTE> bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return 0;
  return static_cast<WORD>(bytes[offset] | (bytes[offset + 1] << 8));
}

constexpr DWORD ReadLe32(std::span<const BYTE> bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return 0;
  return static_cast<DWORD>(bytes[offset]) | (static_cast<DWORD>(bytes[offset + 1]) << 8) |
         (static_cast<DWORD>(bytes[offset + 2]) << 16) | (static_cast<DWORD>(bytes[offset + 3]) << 24);
}

}  // namespace dovamon
