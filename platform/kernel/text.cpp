#include "kernel/text.h"

#include "machine/machine.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <mutex>
#include <unordered_map>

namespace platform::text {
namespace {

constexpr UINT kUtf8 = 65001;
constexpr UINT kWestern = 1252;
constexpr char16_t kReplacement = u'\uFFFD';

// Code page 1252 from 0x80 to 0x9F; the rest is Latin-1. The five holes map to the C1 controls of
// the same value, as Windows' own table does.
constexpr std::array<char16_t, 32> kWestern80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

void DecodeWestern(std::string_view bytes, std::u16string& text) {
  text.reserve(text.size() + bytes.size());
  for (unsigned char b : bytes) text.push_back(b >= 0x80 && b < 0xA0 ? kWestern80[b - 0x80] : char16_t(b));
}

bool EncodeWesternChar(char16_t c, char& out) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    out = static_cast<char>(c);
    return true;
  }
  for (size_t i = 0; i < kWestern80.size(); ++i) {
    if (kWestern80[i] == c) {
      out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

// Strict UTF-8: overlong forms, surrogates and values above U+10FFFF are invalid, each bad sequence
// becomes one U+FFFD.
void DecodeUtf8(std::string_view bytes, std::u16string& text, bool& invalid) {
  size_t i = 0, n = bytes.size();
  auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  while (i < n) {
    unsigned char b = at(i);
    if (b < 0x80) {
      text.push_back(b);
      ++i;
      continue;
    }
    size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    char32_t cp = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : b & 0x1F;
    size_t k = 1;
    for (; extra > 0 && k <= extra && i + k < n && (at(i + k) & 0xC0) == 0x80; ++k) cp = (cp << 6) | (at(i + k) & 0x3F);
    constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    bool ok = extra > 0 && b < 0xF5 && k == extra + 1 && cp >= kMinimum[extra] && cp <= 0x10FFFF &&
              !(cp >= 0xD800 && cp <= 0xDFFF);
    if (!ok) {
      text.push_back(kReplacement);
      invalid = true;
      i += k;  // the lead byte and the continuation bytes that belonged to it
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(cp));
    }
    i += k;
  }
}

void EncodeUtf8(std::u16string_view text, std::string& bytes) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;  // a lone surrogate
    }
    if (cp < 0x80) {
      bytes.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

// Other code pages (950, 936, 437, ...) go through the host's iconv, under their "CPnnn" names.
class Converter {
 public:
  Converter(UINT codePage, bool toUnicode) {
    std::string name = "CP" + std::to_string(codePage);
    handle_ = toUnicode ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
  }
  ~Converter() {
    if (ok()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as it can; answers how many input bytes were taken and whether it stopped at a
  // sequence it cannot convert (rather than at the end).
  size_t Run(const char* in, size_t inSize, std::string& out, bool& stopped) {
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    size_t start = out.size();
    out.resize(start + inSize * 4 + 16);
    char* src = const_cast<char*>(in);
    char* dst = out.data() + start;
    size_t srcLeft = inSize, dstLeft = out.size() - start;
    size_t result = iconv(handle_, &src, &srcLeft, &dst, &dstLeft);
    stopped = result == static_cast<size_t>(-1) && srcLeft > 0;
    out.resize(out.size() - dstLeft);
    return inSize - srcLeft;
  }

 private:
  iconv_t handle_;
};

bool DecodeIconv(UINT codePage, std::string_view bytes, std::u16string& text, bool& invalid) {
  Converter converter(codePage, true);
  if (!converter.ok()) return false;
  std::string units;
  size_t at = 0;
  while (at < bytes.size()) {
    bool stopped = false;
    at += converter.Run(bytes.data() + at, bytes.size() - at, units, stopped);
    if (!stopped) break;
    units.append("?\0", 2);  // the undecodable byte, as UTF-16LE '?'
    invalid = true;
    ++at;
  }
  for (size_t i = 0; i + 1 < units.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                         (static_cast<unsigned char>(units[i + 1]) << 8)));
  return true;
}

bool EncodeIconv(UINT codePage, std::u16string_view text, std::string_view defaultChar, std::string& bytes,
                 bool& usedDefault) {
  Converter converter(codePage, false);
  if (!converter.ok()) return false;
  std::string units;
  units.reserve(text.size() * 2);
  for (char16_t c : text) {
    units.push_back(static_cast<char>(c & 0xFF));
    units.push_back(static_cast<char>(c >> 8));
  }
  size_t at = 0;
  while (at < units.size()) {
    bool stopped = false;
    at += converter.Run(units.data() + at, units.size() - at, bytes, stopped);
    if (!stopped) break;
    bytes.append(defaultChar);
    usedDefault = true;
    char16_t c = static_cast<char16_t>(static_cast<unsigned char>(units[at]) |
                                       (static_cast<unsigned char>(units[at + 1]) << 8));
    bool pair = c >= 0xD800 && c <= 0xDBFF && at + 3 < units.size() && (static_cast<unsigned char>(units[at + 3]) & 0xFC) == 0xDC;
    at += pair ? 4 : 2;
  }
  return true;
}

}  // namespace

bool IsSupportedCodePage(UINT codePage) {
  if (codePage == kUtf8 || codePage == kWestern) return true;
  static std::mutex lock;
  static std::unordered_map<UINT, bool> known;
  std::lock_guard guard(lock);
  auto found = known.find(codePage);
  if (found != known.end()) return found->second;
  bool ok = codePage >= 37 && codePage < 65000 && Converter(codePage, true).ok() && Converter(codePage, false).ok();
  known.emplace(codePage, ok);
  return ok;
}

bool Decode(UINT codePage, std::string_view bytes, std::u16string& text, bool& invalid) {
  if (codePage == kWestern) {
    DecodeWestern(bytes, text);
    return true;
  }
  if (codePage == kUtf8) {
    DecodeUtf8(bytes, text, invalid);
    return true;
  }
  return IsSupportedCodePage(codePage) && DecodeIconv(codePage, bytes, text, invalid);
}

bool Encode(UINT codePage, std::u16string_view text, std::string_view defaultChar, std::string& bytes,
            bool& usedDefault) {
  if (codePage == kUtf8) {
    EncodeUtf8(text, bytes);
    return true;
  }
  if (codePage == kWestern) {
    for (char16_t c : text) {
      char b;
      if (EncodeWesternChar(c, b)) {
        bytes.push_back(b);
      } else {
        bytes.append(defaultChar);
        usedDefault = true;
      }
    }
    return true;
  }
  return IsSupportedCodePage(codePage) && EncodeIconv(codePage, text, defaultChar, bytes, usedDefault);
}

UINT AnsiCodePage() { return machine::GetSettings().codePage; }

std::u16string FromAnsi(std::string_view text) {
  std::u16string result;
  bool invalid = false;
  if (!Decode(AnsiCodePage(), text, result, invalid)) DecodeWestern(text, result);
  return result;
}

std::string ToAnsi(std::u16string_view text) {
  std::string result;
  bool usedDefault = false;
  if (!Encode(AnsiCodePage(), text, "?", result, usedDefault)) Encode(kWestern, text, "?", result, usedDefault);
  return result;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string result;
  bool invalid = false;
  DecodeUtf8(text, result, invalid);
  return result;
}

std::string ToUtf8(std::u16string_view text) {
  std::string result;
  EncodeUtf8(text, result);
  return result;
}

size_t Length(LPCWSTR text) {
  if (!text) return 0;
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {  // Latin Extended-A: upper and lower case alternate
    bool oddIsLower = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    bool evenIsLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddIsLower && (c & 1)) return c - 1;
    if (evenIsLower && !(c & 1)) return c - 1;
    return c;
  }
  if (c == 0x3C2) return 0x3A3;                             // final sigma
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;            // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;            // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;            // Cyrillic with marks
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 0x20;          // full-width Latin
  return c;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

}  // namespace platform::text
