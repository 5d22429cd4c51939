// wsprintfW / wsprintfA: the small printf of user32. No floating point, no '*' widths, at most 1024
// characters of output including the terminator. A string conversion takes the function's own
// character width for %s and %c, the other width for %S and %C; 'h' and 'l' force narrow and wide.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <string>
#include <type_traits>

#include "kernel/text.h"

namespace {

// wsprintf never writes more than this many characters, terminator included.
constexpr size_t kOutputLimit = 1024;

enum class Size { kDefault, kShort, kLong };

struct Conversion {
  bool left = false;
  bool zero = false;
  bool alternate = false;
  size_t width = 0;
  int precision = -1;
  Size size = Size::kDefault;
};

template <class Char>
class Output {
 public:
  explicit Output(Char* out) : out_(out) {}
  void Put(Char c) {
    if (count_ < kOutputLimit - 1) out_[count_++] = c;
  }
  void Pad(size_t n, Char c) {
    while (n-- > 0) Put(c);
  }
  int Finish() {
    out_[count_] = 0;
    return static_cast<int>(count_);
  }

 private:
  Char* out_;
  size_t count_ = 0;
};

template <class Char>
void PutField(Output<Char>& out, const Conversion& field, const std::basic_string<Char>& body) {
  const size_t pad = field.width > body.size() ? field.width - body.size() : 0;
  if (!field.left) out.Pad(pad, Char(' '));
  for (Char c : body) out.Put(c);
  if (field.left) out.Pad(pad, Char(' '));
}

// Converts a string argument of either width to the output's.
template <class Char>
std::basic_string<Char> StringArgument(const void* pointer, bool wide, int precision) {
  std::u16string text;
  if (pointer == nullptr) {
    text = u"(null)";
  } else if (wide) {
    text = static_cast<const char16_t*>(pointer);
  } else if constexpr (std::is_same_v<Char, char>) {
    std::string narrow = static_cast<const char*>(pointer);
    if (precision >= 0 && narrow.size() > size_t(precision)) narrow.resize(precision);
    return narrow;
  } else {
    text = platform::text::FromAnsi(static_cast<const char*>(pointer));
  }
  if (precision >= 0 && text.size() > size_t(precision)) text.resize(precision);
  if constexpr (std::is_same_v<Char, char>) {
    return platform::text::ToAnsi(text);
  } else {
    return text;
  }
}

template <class Char>
std::basic_string<Char> CharArgument(int value, bool wide) {
  if constexpr (std::is_same_v<Char, char>) {
    if (wide) return platform::text::ToAnsi(std::u16string(1, char16_t(value)));
    return std::string(1, char(value));
  } else {
    if (wide) return std::u16string(1, char16_t(value));
    const char narrow[2] = {char(value), 0};
    return platform::text::FromAnsi(narrow);
  }
}

template <class Char>
std::basic_string<Char> NumberBody(const Conversion& field, Char conversion, va_list& args) {
  unsigned long magnitude = 0;
  bool negative = false;
  const bool isSigned = conversion == Char('d') || conversion == Char('i');
  if (isSigned) {
    long value = va_arg(args, long);
    if (field.size == Size::kShort) value = static_cast<short>(value);
    negative = value < 0;
    magnitude = negative ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  } else {
    magnitude = va_arg(args, unsigned long);
    if (field.size == Size::kShort) magnitude = static_cast<unsigned short>(magnitude);
  }
  const unsigned base = (conversion == Char('x') || conversion == Char('X')) ? 16 : 10;
  const char* digitSet = conversion == Char('X') ? "0123456789ABCDEF" : "0123456789abcdef";
  std::basic_string<Char> digits;
  do {
    digits.insert(digits.begin(), Char(digitSet[magnitude % base]));
    magnitude /= base;
  } while (magnitude != 0);
  if (field.precision >= 0 && digits.size() < size_t(field.precision)) {
    digits.insert(0, size_t(field.precision) - digits.size(), Char('0'));
  }
  std::basic_string<Char> prefix;
  if (negative) prefix += Char('-');
  if (field.alternate && base == 16) {
    prefix += Char('0');
    prefix += conversion;
  }
  // Zero padding goes between the sign (or 0x) and the digits; a precision turns it off as in C.
  if (field.zero && !field.left && field.precision < 0 && field.width > prefix.size() + digits.size()) {
    digits.insert(0, field.width - prefix.size() - digits.size(), Char('0'));
  }
  return prefix + digits;
}

template <class Char>
int FormatTo(Char* buffer, const Char* format, va_list args) {
  if (buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Output<Char> out(buffer);
  if (format == nullptr) return out.Finish();
  constexpr bool kWideOutput = std::is_same_v<Char, char16_t>;
  const Char* p = format;
  while (*p != 0) {
    if (*p != Char('%')) {
      out.Put(*p++);
      continue;
    }
    ++p;
    Conversion field;
    for (;; ++p) {
      if (*p == Char('-')) field.left = true;
      else if (*p == Char('0')) field.zero = true;
      else if (*p == Char('#')) field.alternate = true;
      else break;
    }
    // Widths and precisions beyond the output limit cannot show, so they are capped there.
    while (*p >= Char('0') && *p <= Char('9')) {
      field.width = std::min(field.width * 10 + size_t(*p++ - Char('0')), kOutputLimit);
    }
    if (*p == Char('.')) {
      ++p;
      field.precision = 0;
      while (*p >= Char('0') && *p <= Char('9')) {
        field.precision = std::min(field.precision * 10 + int(*p++ - Char('0')), int(kOutputLimit));
      }
    }
    if (*p == Char('l') || *p == Char('w')) {
      field.size = Size::kLong;
      ++p;
    } else if (*p == Char('h')) {
      field.size = Size::kShort;
      ++p;
    }
    const Char conversion = *p;
    if (conversion == 0) break;
    ++p;
    // Which width a %s or %c argument has: the function's own unless S/C or a size prefix says otherwise.
    const bool swapped = conversion == Char('S') || conversion == Char('C');
    bool wide = kWideOutput != swapped;
    if (field.size == Size::kLong) wide = true;
    if (field.size == Size::kShort) wide = false;
    switch (conversion) {
      case Char('s'):
      case Char('S'):
        PutField(out, field, StringArgument<Char>(va_arg(args, const void*), wide, field.precision));
        break;
      case Char('c'):
      case Char('C'):
        PutField(out, field, CharArgument<Char>(va_arg(args, int), wide));
        break;
      case Char('d'):
      case Char('i'):
      case Char('u'):
      case Char('x'):
      case Char('X'):
        PutField(out, field, NumberBody(field, conversion, args));
        break;
      default:
        // "%%" and conversions wsprintf does not know: the character itself.
        out.Put(conversion);
    }
  }
  return out.Finish();
}

}  // namespace

WINBASEAPI int WINAPI wvsprintfW(LPWSTR lpOutput, LPCWSTR lpFmt, va_list arglist) {
  return FormatTo<char16_t>(lpOutput, lpFmt, arglist);
}

WINBASEAPI int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFmt, va_list arglist) {
  return FormatTo<char>(lpOutput, lpFmt, arglist);
}

WINBASEAPI int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  const int written = FormatTo<char16_t>(lpOut, lpFmt, args);
  va_end(args);
  return written;
}

WINBASEAPI int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  const int written = FormatTo<char>(lpOut, lpFmt, args);
  va_end(args);
  return written;
}
