#include "user/dialog_template.h"

namespace platform::user {
namespace {

constexpr DWORD kSetFont = 0x40;  // DS_SETFONT, also part of DS_SHELLFONT

// Reads little-endian fields in order; once a read would pass the end, every later read fails too.
class Reader {
 public:
  explicit Reader(std::span<const BYTE> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  size_t offset() const { return at_; }

  BYTE Byte() { return Take(1) ? bytes_[at_ - 1] : 0; }
  WORD Word() { return Take(2) ? WORD(bytes_[at_ - 2] | bytes_[at_ - 1] << 8) : 0; }
  DWORD Dword() {
    const DWORD low = Word();
    return low | DWORD(Word()) << 16;
  }
  SHORT Short() { return static_cast<SHORT>(Word()); }

  std::u16string String() {
    std::u16string text;
    while (ok_) {
      const WORD c = Word();
      if (!ok_ || c == 0) break;
      text += char16_t(c);
    }
    return text;
  }

  NameOrOrdinal Field() {
    NameOrOrdinal field;
    const WORD first = Word();
    if (!ok_ || first == 0) return field;
    if (first == 0xFFFF) {
      field.ordinal = Word();
      return field;
    }
    field.name = std::u16string(1, char16_t(first)) + String();
    return field;
  }

  std::vector<BYTE> Bytes(size_t count) {
    if (!Take(count)) return {};
    return std::vector<BYTE>(bytes_.begin() + (at_ - count), bytes_.begin() + at_);
  }

  // Items start on a DWORD boundary counted from the template's first byte.
  void AlignDword() { Take((4 - at_ % 4) % 4); }

 private:
  bool Take(size_t count) {
    if (!ok_ || count > bytes_.size() - at_) {
      ok_ = false;
      return false;
    }
    at_ += count;
    return true;
  }

  std::span<const BYTE> bytes_;
  size_t at_ = 0;
  bool ok_ = true;
};

DialogItem ReadItem(Reader& r, bool extended) {
  DialogItem item;
  r.AlignDword();
  if (extended) {
    item.helpId = r.Dword();
    item.exStyle = r.Dword();
    item.style = r.Dword();
  } else {
    item.style = r.Dword();
    item.exStyle = r.Dword();
  }
  item.x = r.Short(), item.y = r.Short(), item.cx = r.Short(), item.cy = r.Short();
  item.id = extended ? r.Dword() : r.Word();
  item.windowClass = r.Field();
  item.text = r.Field();
  // The creation data: in an extended item a count of the bytes that follow; in a classic one a size
  // that includes its own WORD.
  const WORD size = r.Word();
  if (extended) {
    item.creationData = r.Bytes(size);
  } else if (size > 0) {
    item.creationData = size >= 2 ? r.Bytes(size - 2) : std::vector<BYTE>();
  }
  return item;
}

}  // namespace

std::optional<DialogTemplate> ReadDialogTemplate(std::span<const BYTE> bytes) {
  Reader r(bytes);
  DialogTemplate t;
  const WORD version = r.Word(), signature = r.Word();
  t.extended = version == 1 && signature == 0xFFFF;
  if (t.extended) {
    t.helpId = r.Dword();
    t.exStyle = r.Dword();
    t.style = r.Dword();
  } else {
    t.style = DWORD(version) | DWORD(signature) << 16;
    t.exStyle = r.Dword();
  }
  const WORD count = r.Word();
  t.x = r.Short(), t.y = r.Short(), t.cx = r.Short(), t.cy = r.Short();
  t.menu = r.Field();
  t.windowClass = r.Field();
  t.caption = r.String();
  t.hasFont = (t.style & kSetFont) != 0;
  if (t.hasFont) {
    t.pointSize = r.Word();
    if (t.extended) {
      t.weight = r.Word();
      t.italic = r.Byte();
      t.charset = r.Byte();
    }
    t.typeface = r.String();
  }
  for (WORD i = 0; i < count && r.ok(); ++i) t.items.push_back(ReadItem(r, t.extended));
  if (!r.ok()) return std::nullopt;
  return t;
}

}  // namespace platform::user
