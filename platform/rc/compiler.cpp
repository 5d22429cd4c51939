#include "compiler.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

namespace orvella::rc {
namespace {

constexpr uint16_t kDefaultLanguage = 0x0409;  // rc.exe's default, US English
constexpr int kMaxNesting = 256;               // parentheses and unary operators in one expression

// Window and dialog styles the compiler itself applies.
constexpr uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000;
constexpr uint32_t WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_SYSMENU = 0x00080000;
constexpr uint32_t WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000;
constexpr uint32_t DS_SETFONT = 0x40;

// The predefined control classes, written as atoms in a template.
constexpr uint16_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kListBox = 0x83, kScrollBar = 0x84, kComboBox = 0x85;

struct ControlKind {
  const char* keyword;
  uint16_t atom;
  uint32_t style;  // added to WS_CHILD | WS_VISIBLE
  bool hasText;
};

// The control statements with their class and the style rc.exe gives them before the script's own.
constexpr ControlKind kControlKinds[] = {
    {"LTEXT", kStatic, 0x0 /* SS_LEFT */ | WS_GROUP, true},
    {"CTEXT", kStatic, 0x1 /* SS_CENTER */ | WS_GROUP, true},
    {"RTEXT", kStatic, 0x2 /* SS_RIGHT */ | WS_GROUP, true},
    {"ICON", kStatic, 0x3 /* SS_ICON */, true},
    {"PUSHBUTTON", kButton, 0x0 /* BS_PUSHBUTTON */ | WS_TABSTOP, true},
    {"DEFPUSHBUTTON", kButton, 0x1 /* BS_DEFPUSHBUTTON */ | WS_TABSTOP, true},
    {"CHECKBOX", kButton, 0x2 /* BS_CHECKBOX */ | WS_TABSTOP, true},
    {"AUTOCHECKBOX", kButton, 0x3 /* BS_AUTOCHECKBOX */ | WS_TABSTOP, true},
    {"RADIOBUTTON", kButton, 0x4 /* BS_RADIOBUTTON */, true},
    {"STATE3", kButton, 0x5 /* BS_3STATE */ | WS_TABSTOP, true},
    {"AUTO3STATE", kButton, 0x6 /* BS_AUTO3STATE */ | WS_TABSTOP, true},
    {"GROUPBOX", kButton, 0x7 /* BS_GROUPBOX */, true},
    {"AUTORADIOBUTTON", kButton, 0x9 /* BS_AUTORADIOBUTTON */, true},
    {"PUSHBOX", kButton, 0xA /* BS_PUSHBOX */ | WS_TABSTOP, true},
    {"EDITTEXT", kEdit, 0x0 /* ES_LEFT */ | WS_BORDER | WS_TABSTOP, false},
    {"LISTBOX", kListBox, 0x1 /* LBS_NOTIFY */ | WS_BORDER, false},
    {"COMBOBOX", kComboBox, 0x1 /* CBS_SIMPLE */ | WS_TABSTOP, false},
    {"SCROLLBAR", kScrollBar, 0x0 /* SBS_HORZ */, false},
};

// Class names that CONTROL statements may spell out and that rc.exe writes as atoms.
constexpr std::pair<const char*, uint16_t> kClassAtoms[] = {
    {"BUTTON", kButton}, {"EDIT", kEdit}, {"STATIC", kStatic}, {"LISTBOX", kListBox}, {"SCROLLBAR", kScrollBar}, {"COMBOBOX", kComboBox},
};

constexpr const char* kMemoryFlags[] = {"DISCARDABLE", "PRELOAD", "LOADONCALL", "MOVEABLE", "FIXED", "PURE", "IMPURE", "SHARED", "NONSHARED"};

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return text;
}

std::u16string UpperWide(const std::u16string& text) {
  std::u16string out = text;
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = char16_t(c - 0x20);
  }
  return out;
}

// A name or an ordinal, as a template's menu, class and text fields hold them.
struct NameOrOrdinal {
  std::optional<uint16_t> ordinal;
  std::u16string name;
};

class Writer {
 public:
  void Word(uint32_t v) {
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
  }
  void Dword(uint32_t v) {
    Word(v & 0xFFFF);
    Word(v >> 16);
  }
  void Byte(uint8_t v) { bytes.push_back(v); }
  void String(const std::u16string& text) {
    for (char16_t c : text) Word(c);
    Word(0);
  }
  void Field(const NameOrOrdinal& field) {
    if (field.ordinal) {
      Word(0xFFFF);
      Word(*field.ordinal);
    } else {
      String(field.name);
    }
  }
  void AlignDword() {
    while (bytes.size() % 4 != 0) bytes.push_back(0);
  }
  std::vector<uint8_t> bytes;
};

struct Control {
  NameOrOrdinal text;
  uint32_t id = 0;
  NameOrOrdinal windowClass;
  uint32_t style = 0, exStyle = 0, helpId = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
};

struct Dialog {
  bool extended = false;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t helpId = 0, exStyle = 0;
  std::optional<uint32_t> style;
  std::optional<std::u16string> caption;
  NameOrOrdinal menu, windowClass;  // none: the template holds an empty string
  bool hasFont = false;
  uint16_t pointSize = 0, weight = 0;
  uint8_t italic = 0, charset = 1;
  std::u16string typeface;
  std::vector<Control> controls;
};

class Parser {
 public:
  explicit Parser(const std::vector<Token>& tokens) : tokens_(tokens) {}

  std::vector<Resource> Run() {
    while (Peek().kind != Token::Kind::kEnd) {
      if (IsKeyword("LANGUAGE")) {
        ++pos_;
        language_ = Language();
      } else if (IsKeyword("STRINGTABLE")) {
        ++pos_;
        StringTable();
      } else {
        NamedResource();
      }
    }
    EmitStringBlocks();
    return std::move(resources_);
  }

 private:
  const Token& Peek(size_t ahead = 0) const { return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)]; }
  const Token& Next() {
    const Token& t = Peek();
    if (t.kind != Token::Kind::kEnd) ++pos_;
    return t;
  }
  [[noreturn]] void Fail(const std::string& message) const {
    const Token& t = Peek();
    throw Error(t.where + ": " + message + (t.kind == Token::Kind::kEnd ? " (at the end of the script)" : " near '" + t.text + "'"));
  }
  bool IsKeyword(const char* word) const { return Peek().kind == Token::Kind::kName && Upper(Peek().text) == word; }
  bool IsPunct(const char* punct) const { return Peek().kind == Token::Kind::kPunct && Peek().text == punct; }
  bool Accept(const char* punct) {
    if (!IsPunct(punct)) return false;
    ++pos_;
    return true;
  }
  void Expect(const char* punct) {
    if (!Accept(punct)) Fail(std::string("expected '") + punct + "'");
  }
  bool AcceptBegin() {
    if (IsKeyword("BEGIN")) return ++pos_, true;
    return Accept("{");
  }
  bool AcceptEnd() {
    if (IsKeyword("END")) return ++pos_, true;
    return Accept("}");
  }

  // Integer expressions as rc.exe evaluates them: | & + - * / with C's precedence, unary - and ~,
  // parentheses; values are 32 bits and wrap.
  uint32_t Primary() {
    // Nesting is bounded so that no script can exhaust the stack.
    if (++depth_ > kMaxNesting) Fail("expression nested too deeply");
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{depth_};
    if (Accept("(")) {
      const uint32_t value = Expression();
      Expect(")");
      return value;
    }
    if (Accept("-")) return 0u - Primary();
    if (Accept("~")) return ~Primary();
    if (Accept("+")) return Primary();
    if (Peek().kind == Token::Kind::kNumber) return Next().number;
    if (Peek().kind == Token::Kind::kName) Fail("undefined name");
    Fail("expected a number");
  }
  uint32_t Binary(int level) {
    static const std::vector<std::vector<std::string>> kLevels = {{"|"}, {"^"}, {"&"}, {"+", "-"}, {"*", "/", "%"}};
    if (level == int(kLevels.size())) return Primary();
    uint32_t left = Binary(level + 1);
    while (true) {
      const auto& ops = kLevels[level];
      auto op = std::find_if(ops.begin(), ops.end(), [&](const std::string& o) { return IsPunct(o.c_str()); });
      if (op == ops.end()) return left;
      ++pos_;
      const uint32_t right = Binary(level + 1);
      if ((*op == "/" || *op == "%") && right == 0) Fail("division by zero");
      if (*op == "|") left |= right;
      else if (*op == "^") left ^= right;
      else if (*op == "&") left &= right;
      else if (*op == "+") left += right;
      else if (*op == "-") left -= right;
      else if (*op == "*") left *= right;
      else if (*op == "/") left /= right;
      else left %= right;
    }
  }
  uint32_t Expression() { return Binary(0); }
  int16_t Coordinate() { return int16_t(Expression()); }

  // A style: terms joined by '|', where "NOT term" takes the term's bits away from what is there.
  uint32_t Style(uint32_t value) {
    do {
      if (IsKeyword("NOT")) {
        ++pos_;
        value &= ~Binary(1);
      } else {
        value |= Binary(1);
      }
    } while (Accept("|"));
    return value;
  }

  uint16_t Language() {
    const uint32_t primary = Expression();
    Expect(",");
    const uint32_t sub = Expression();
    return uint16_t((sub << 10) | (primary & 0x3FF));
  }

  std::u16string Text() {
    if (Peek().kind != Token::Kind::kString) Fail("expected a string");
    std::u16string text = Next().wide;
    // Adjacent literals are one string.
    while (Peek().kind == Token::Kind::kString) text += Next().wide;
    return text;
  }

  NameOrOrdinal TextOrOrdinal() {
    if (Peek().kind == Token::Kind::kString) return {std::nullopt, Text()};
    return {uint16_t(Expression()), {}};
  }

  // Statements common to every resource's options: LANGUAGE, CHARACTERISTICS, VERSION and the
  // memory flags of 16-bit Windows, which rc.exe accepts and ignores.
  bool CommonOption(uint16_t& language) {
    if (IsKeyword("LANGUAGE")) {
      ++pos_;
      language = Language();
      return true;
    }
    if (IsKeyword("CHARACTERISTICS") || IsKeyword("VERSION")) {
      ++pos_;
      Expression();
      return true;
    }
    for (const char* flag : kMemoryFlags) {
      if (IsKeyword(flag)) return ++pos_, true;
    }
    return false;
  }

  void StringTable() {
    uint16_t language = language_;
    while (CommonOption(language)) {
    }
    if (!AcceptBegin()) Fail("expected BEGIN");
    while (!AcceptEnd()) {
      const Token& at = Peek();
      const uint16_t id = uint16_t(Expression());
      Accept(",");
      std::u16string text = Text();
      if (!strings_.emplace(std::make_pair(language, id), std::move(text)).second) {
        throw Error(at.where + ": string " + std::to_string(id) + " is defined twice");
      }
    }
  }

  void EmitStringBlocks() {
    std::map<std::pair<uint16_t, uint16_t>, std::vector<const std::pair<const std::pair<uint16_t, uint16_t>, std::u16string>*>> blocks;
    for (const auto& entry : strings_) blocks[{entry.first.first, uint16_t((entry.first.second >> 4) + 1)}].push_back(&entry);
    for (const auto& [key, entries] : blocks) {
      std::u16string slots[16];
      for (const auto* entry : entries) slots[entry->first.second & 15] = entry->second;
      Writer w;
      for (const auto& text : slots) {
        if (text.size() > 0xFFFF) throw Error("a string is longer than 65535 characters");
        w.Word(uint32_t(text.size()));
        for (char16_t c : text) w.Word(c);
      }
      resources_.push_back({kRtString, {}, key.second, {}, key.first, std::move(w.bytes)});
    }
  }

  void NamedResource() {
    const Token& name = Next();
    Resource resource;
    if (name.kind == Token::Kind::kNumber) {
      resource.nameId = uint16_t(name.number);
    } else if (name.kind == Token::Kind::kName) {
      for (char c : Upper(name.text)) resource.nameName += char16_t(c);
    } else if (name.kind == Token::Kind::kString) {
      resource.nameName = UpperWide(name.wide);
    } else {
      --pos_;
      Fail("expected a resource statement");
    }
    if (IsKeyword("DIALOG") || IsKeyword("DIALOGEX")) {
      const bool extended = IsKeyword("DIALOGEX");
      ++pos_;
      resource.typeId = kRtDialog;
      resource.language = language_;
      resource.data = DialogTemplate(extended, resource.language);
      resources_.push_back(std::move(resource));
      return;
    }
    Fail("this resource type is not supported by this compiler");
  }

  std::vector<uint8_t> DialogTemplate(bool extended, uint16_t& language) {
    Dialog d;
    d.extended = extended;
    while (CommonOption(language)) {
    }
    d.x = Coordinate(), Expect(","), d.y = Coordinate(), Expect(",");
    d.cx = Coordinate(), Expect(","), d.cy = Coordinate();
    if (extended && Accept(",")) d.helpId = Expression();
    while (!AcceptBegin()) {
      if (CommonOption(language)) continue;
      const std::string option = Peek().kind == Token::Kind::kName ? Upper(Peek().text) : "";
      if (option == "STYLE") {
        ++pos_;
        d.style = Style(0);
      } else if (option == "EXSTYLE") {
        ++pos_;
        Accept("=");
        d.exStyle = Style(0);
      } else if (option == "CAPTION") {
        ++pos_;
        d.caption = Text();
      } else if (option == "FONT") {
        ++pos_;
        d.hasFont = true;
        d.pointSize = uint16_t(Expression());
        Expect(",");
        d.typeface = Text();
        if (extended && Accept(",")) {
          d.weight = uint16_t(Expression());
          if (Accept(",")) d.italic = uint8_t(Expression());
          if (Accept(",")) d.charset = uint8_t(Expression());
        }
      } else if (option == "MENU" || option == "CLASS") {
        ++pos_;
        NameOrOrdinal value;
        if (Peek().kind == Token::Kind::kName) {
          for (char c : Upper(Next().text)) value.name += char16_t(c);
        } else {
          value = TextOrOrdinal();
        }
        (option == "MENU" ? d.menu : d.windowClass) = value;
      } else {
        Fail("expected a dialog option or BEGIN");
      }
    }
    while (!AcceptEnd()) d.controls.push_back(ControlStatement(extended));
    return Binary(d);
  }

  Control ControlStatement(bool extended) {
    const std::string keyword = Peek().kind == Token::Kind::kName ? Upper(Peek().text) : "";
    Control c;
    if (keyword == "CONTROL") {
      ++pos_;
      c.text = TextOrOrdinal();
      Expect(",");
      c.id = Expression();
      Expect(",");
      if (Peek().kind == Token::Kind::kString) {
        const std::u16string name = Text();
        c.windowClass.name = name;
        for (const auto& [className, atom] : kClassAtoms) {
          std::u16string wide(className, className + std::char_traits<char>::length(className));
          if (UpperWide(name) == wide) c.windowClass = {atom, {}};
        }
      } else if (Peek().kind == Token::Kind::kName) {
        const std::string name = Upper(Next().text);
        auto atom = std::find_if(std::begin(kClassAtoms), std::end(kClassAtoms), [&](const auto& a) { return name == a.first; });
        if (atom == std::end(kClassAtoms)) Fail("unknown control class");
        c.windowClass = {atom->second, {}};
      } else {
        c.windowClass = {uint16_t(Expression()), {}};
      }
      Expect(",");
      c.style = Style(WS_CHILD | WS_VISIBLE);
      Expect(",");
      Position(c, true);
      if (Accept(",")) {
        c.exStyle = Expression();
        if (extended && Accept(",")) c.helpId = Expression();
      }
      return c;
    }
    const auto kind = std::find_if(std::begin(kControlKinds), std::end(kControlKinds), [&](const ControlKind& k) { return keyword == k.keyword; });
    if (kind == std::end(kControlKinds)) Fail("expected a control statement or END");
    ++pos_;
    if (kind->hasText) {
      c.text = TextOrOrdinal();
      Expect(",");
    } else {
      c.text = {std::nullopt, {}};
    }
    c.windowClass = {kind->atom, {}};
    c.id = Expression();
    Expect(",");
    const bool icon = std::string_view(kind->keyword) == "ICON";
    Position(c, !icon);
    c.style = WS_CHILD | WS_VISIBLE | kind->style;
    if (Accept(",")) {
      if (icon) {
        c.cx = Coordinate(), Expect(","), c.cy = Coordinate();
        if (!Accept(",")) return c;
      }
      c.style = Style(c.style);
      if (Accept(",")) {
        c.exStyle = Expression();
        if (extended && Accept(",")) c.helpId = Expression();
      }
    }
    return c;
  }

  void Position(Control& c, bool withSize) {
    c.x = Coordinate(), Expect(","), c.y = Coordinate();
    if (withSize) Expect(","), c.cx = Coordinate(), Expect(","), c.cy = Coordinate();
  }

  // DLGTEMPLATE or DLGTEMPLATEEX with its items, each item on a DWORD boundary.
  static std::vector<uint8_t> Binary(const Dialog& d) {
    uint32_t style = d.style.value_or(WS_POPUP | WS_BORDER | WS_SYSMENU);
    if (d.caption) style |= WS_CAPTION;
    if (d.hasFont) style |= DS_SETFONT;
    if (d.controls.size() > 0xFFFF) throw Error("a dialog has more than 65535 controls");
    Writer w;
    if (d.extended) {
      w.Word(1), w.Word(0xFFFF), w.Dword(d.helpId), w.Dword(d.exStyle), w.Dword(style);
    } else {
      w.Dword(style), w.Dword(d.exStyle);
    }
    w.Word(uint32_t(d.controls.size()));
    w.Word(uint16_t(d.x)), w.Word(uint16_t(d.y)), w.Word(uint16_t(d.cx)), w.Word(uint16_t(d.cy));
    w.Field(d.menu);
    w.Field(d.windowClass);
    w.String(d.caption.value_or(u""));
    if (style & DS_SETFONT) {
      w.Word(d.pointSize);
      if (d.extended) w.Word(d.weight), w.Byte(d.italic), w.Byte(d.charset);
      w.String(d.typeface);
    }
    for (const Control& c : d.controls) {
      w.AlignDword();
      if (d.extended) {
        w.Dword(c.helpId), w.Dword(c.exStyle), w.Dword(c.style);
      } else {
        w.Dword(c.style), w.Dword(c.exStyle);
      }
      w.Word(uint16_t(c.x)), w.Word(uint16_t(c.y)), w.Word(uint16_t(c.cx)), w.Word(uint16_t(c.cy));
      if (d.extended) {
        w.Dword(c.id);
      } else {
        w.Word(c.id & 0xFFFF);
      }
      w.Field(c.windowClass);
      w.Field(c.text);
      w.Word(0);  // no creation data
    }
    return std::move(w.bytes);
  }

  const std::vector<Token>& tokens_;
  size_t pos_ = 0;
  int depth_ = 0;
  uint16_t language_ = kDefaultLanguage;
  std::map<std::pair<uint16_t, uint16_t>, std::u16string> strings_;  // (language, id) -> text
  std::vector<Resource> resources_;
};

std::string WideArray(const std::u16string& text) {
  std::string out = "{";
  for (char16_t c : text) out += std::to_string(unsigned(c)) + ", ";
  return out + "0}";
}

}  // namespace

std::vector<Resource> Compile(const std::vector<Token>& tokens) { return Parser(tokens).Run(); }

std::string EmitTable(const std::vector<Resource>& resources, const std::string& scriptName) {
  std::string out = "// The resource table of " + scriptName +
                    ", written by the resource compiler (platform/rc); edit the script, not this file.\n"
                    "#include <platform/resources.h>\n\nnamespace {\n";
  std::string entries;
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    const std::string n = std::to_string(i);
    out += "alignas(4) const BYTE kData" + n + "[] = {";
    for (size_t k = 0; k < r.data.size(); ++k) {
      char byte[16];
      std::snprintf(byte, sizeof byte, "%s0x%02x", k % 16 == 0 ? "\n    " : " ", r.data[k]);
      out += byte;
      if (k + 1 < r.data.size()) out += ',';
    }
    out += r.data.empty() ? "0};\n" : "\n};\n";
    std::string typeName = "nullptr", nameName = "nullptr";
    if (!r.typeName.empty()) {
      out += "const char16_t kType" + n + "[] = " + WideArray(r.typeName) + ";\n";
      typeName = "kType" + n;
    }
    if (!r.nameName.empty()) {
      out += "const char16_t kName" + n + "[] = " + WideArray(r.nameName) + ";\n";
      nameName = "kName" + n;
    }
    entries += "    {" + std::to_string(r.typeId) + ", " + typeName + ", " + std::to_string(r.nameId) + ", " + nameName +
               ", " + std::to_string(r.language) + ", kData" + n + ", " + std::to_string(r.data.size()) + "},\n";
  }
  if (!resources.empty()) out += "const platform::ResourceEntry kEntries[] = {\n" + entries + "};\n";
  out += "}  // namespace\n\nextern \"C\" __attribute__((visibility(\"default\"))) const platform::ResourceTable "
         "OrvellaResourceTable = {" +
         std::to_string(resources.size()) + ", " + (resources.empty() ? "nullptr" : "kEntries") + "};\n";
  return out;
}

}  // namespace orvella::rc
