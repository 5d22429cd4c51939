// Code pages: the machine's ANSI code page and the conversions between 8-bit text and UTF-16.
#include "kernel/text.h"
#include "machine/machine.h"

#include <cstring>
#include <string>

using namespace platform;

namespace {

constexpr UINT kThreadAnsi = 3;  // CP_THREAD_ACP
constexpr DWORD kComposite = 0x2, kUseGlyphChars = 0x4;
constexpr DWORD kErrorOnInvalid = 0x80;  // WC_ERR_INVALID_CHARS
// WC_COMPOSITECHECK, WC_DEFAULTCHAR, WC_DISCARDNS and WC_SEPCHARS: precomposed text has nothing to
// compose, so they change nothing.
constexpr DWORD kCompositeFlags = 0x200 | 0x40 | 0x20 | 0x10;

bool IsDoubleByteCodePage(UINT codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// The code page a caller means: CP_ACP and CP_THREAD_ACP are the machine's ANSI code page; the OEM
// code page of a Western machine is 437, on the East Asian ones it is the ANSI code page itself.
UINT ActualCodePage(UINT codePage) {
  UINT ansi = text::AnsiCodePage();
  if (codePage == CP_ACP || codePage == kThreadAnsi) return ansi;
  if (codePage == CP_OEMCP) return ansi == 1252 ? 437 : ansi;
  return codePage;
}

}  // namespace

WINBASEAPI UINT WINAPI GetACP(void) { return text::AnsiCodePage(); }

WINBASEAPI int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar) {
  UINT codePage = ActualCodePage(CodePage);
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr) ||
      static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr) ||
      !text::IsSupportedCodePage(codePage)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD allowed = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS
                                      : MB_PRECOMPOSED | kComposite | kUseGlyphChars | MB_ERR_INVALID_CHARS;
  if (dwFlags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  std::u16string wide;
  bool invalid = false;
  text::Decode(codePage, std::string_view(lpMultiByteStr, length), wide, invalid);
  if (invalid && (dwFlags & MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (cchWideChar == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<size_t>(cchWideChar)) {
    std::copy_n(wide.begin(), cchWideChar, lpWideCharStr);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(wide.begin(), wide.end(), lpWideCharStr);
  return static_cast<int>(wide.size());
}

WINBASEAPI int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar) {
  UINT codePage = ActualCodePage(CodePage);
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr) ||
      static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr) ||
      !text::IsSupportedCodePage(codePage) ||
      (codePage == CP_UTF8 && (lpDefaultChar || lpUsedDefaultChar))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD allowed = codePage == CP_UTF8 ? kErrorOnInvalid : WC_NO_BEST_FIT_CHARS | kCompositeFlags;
  if (dwFlags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t length = cchWideChar == -1 ? text::Length(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  std::u16string_view wide(lpWideCharStr, length);
  if ((dwFlags & kErrorOnInvalid)) {
    for (size_t i = 0; i < wide.size(); ++i) {
      bool high = wide[i] >= 0xD800 && wide[i] <= 0xDBFF, low = wide[i] >= 0xDC00 && wide[i] <= 0xDFFF;
      bool paired = high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF;
      if ((high && !paired) || low) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      if (paired) ++i;
    }
  }
  // The default character is one character of the code page: one byte, or a lead and a trail byte.
  size_t defaultSize = 1;
  if (lpDefaultChar && IsDoubleByteCodePage(codePage) && (lpDefaultChar[0] & 0x80) && lpDefaultChar[1]) defaultSize = 2;
  std::string_view defaultChar = lpDefaultChar && lpDefaultChar[0] ? std::string_view(lpDefaultChar, defaultSize) : "?";
  std::string bytes;
  bool usedDefault = false;
  text::Encode(codePage, wide, defaultChar, bytes, usedDefault);
  if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault;
  if (cbMultiByte == 0) return static_cast<int>(bytes.size());
  if (bytes.size() > static_cast<size_t>(cbMultiByte)) {
    std::memcpy(lpMultiByteStr, bytes.data(), cbMultiByte);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpMultiByteStr, bytes.data(), bytes.size());
  return static_cast<int>(bytes.size());
}
