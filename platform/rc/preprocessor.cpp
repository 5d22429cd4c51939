#include "preprocessor.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <functional>
#include <sstream>

namespace orvella::rc {
namespace {

constexpr int kMaxIncludeDepth = 32;
constexpr size_t kMaxExpansion = 100000;  // tokens one line may grow to
constexpr int kMaxNesting = 256;           // parentheses and unary operators in one expression

// Code page 1252 from 0x80 to 0x9F; the rest of the page is Latin-1.
constexpr std::array<char16_t, 32> kWestern80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

void AppendUtf8(std::u16string& out, const std::string& bytes, const std::string& where) {
  const auto invalid = [&] { return Error(where + ": invalid UTF-8 in a string"); };
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char b = bytes[i];
    const size_t extra = b < 0x80 ? 0 : b >= 0xF8 ? 4 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 4;
    if (extra == 4 || i + extra >= bytes.size() + (extra == 0)) throw invalid();
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char c = bytes[i + k];
      if ((c & 0xC0) != 0x80) throw invalid();
      cp = cp << 6 | (c & 0x3F);
    }
    if (cp > 0x10FFFF) throw invalid();
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += char16_t(0xD800 + (cp >> 10));
      out += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
}

std::u16string Decode(const std::string& bytes, unsigned codePage, const std::string& where) {
  std::u16string out;
  if (codePage == 65001) {
    AppendUtf8(out, bytes, where);
    return out;
  }
  for (unsigned char b : bytes) out += b >= 0x80 && b < 0xA0 ? kWestern80[b - 0x80] : char16_t(b);
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A string literal starting at line[i] (the opening quote). Escapes as rc.exe reads them: \n \t \r \a
// \\ \" \x (hex) and octal digits; a doubled quote stands for one quote. Narrow strings keep their
// escapes' values as bytes of the code page; wide ones as UTF-16 units.
Token ReadString(const std::string& line, size_t& i, bool wide, const std::string& where, unsigned codePage) {
  Token token{Token::Kind::kString, {}, {}, 0, where};
  std::string pending;  // raw bytes of the code page not yet decoded
  const auto flush = [&] {
    token.wide += Decode(pending, codePage, where);
    token.text += pending;
    pending.clear();
  };
  const auto unit = [&](uint32_t value) {
    if (wide) {
      flush();
      token.wide += char16_t(value);
    } else {
      pending += char(value & 0xFF);
    }
  };
  ++i;
  while (true) {
    if (i >= line.size()) throw Error(where + ": string not closed on its line");
    const char c = line[i];
    if (c == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        pending += '"';
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    if (c != '\\') {
      pending += c;
      ++i;
      continue;
    }
    if (++i >= line.size()) throw Error(where + ": string not closed on its line");
    const char e = line[i++];
    switch (e) {
      case 'n': pending += '\n'; break;
      case 't': pending += '\t'; break;
      case 'r': pending += '\r'; break;
      case 'a': pending += '\b'; break;  // rc.exe writes \a as 0x08, the right-alignment mark of menus
      case '\\': pending += '\\'; break;
      case '"': pending += '"'; break;
      case 'x':
      case 'X': {
        uint32_t value = 0;
        int digits = 0;
        const int limit = wide ? 4 : 2;
        while (digits < limit && i < line.size() && HexValue(line[i]) >= 0) value = value * 16 + HexValue(line[i++]), ++digits;
        if (digits == 0) throw Error(where + ": \\x without hex digits");
        unit(value);
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          uint32_t value = e - '0';
          for (int k = 0; k < 2 && i < line.size() && line[i] >= '0' && line[i] <= '7'; ++k) value = value * 8 + (line[i++] - '0');
          unit(value);
        } else {
          // An unknown escape keeps the backslash and the character, as rc.exe does.
          pending += '\\';
          pending += e;
        }
    }
  }
  flush();
  return token;
}

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Removes /* */ and // comments, keeping line breaks (so line numbers stay) and string contents.
std::string StripComments(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool inString = false, inBlock = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (inBlock) {
      if (c == '*' && next == '/') {
        inBlock = false;
        ++i;
      } else if (c == '\n') {
        out += '\n';
      }
      continue;
    }
    if (inString) {
      out += c;
      if (c == '\\' && next != '\n' && next != '\0') {
        out += next;
        ++i;
      } else if (c == '"') {
        inString = false;
      } else if (c == '\n') {
        inString = false;  // the tokenizer reports the unclosed string
      }
      continue;
    }
    if (c == '"') inString = true;
    if (c == '/' && next == '*') {
      inBlock = true;
      out += ' ';
      ++i;
      continue;
    }
    if (c == '/' && next == '/') {
      while (i < text.size() && text[i] != '\n') ++i;
      if (i < text.size()) out += '\n';
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

std::vector<Token> Tokenize(const std::string& line, const std::string& where, unsigned codePage) {
  static constexpr std::array<const char*, 8> kTwoCharPunct = {"&&", "||", "==", "!=", "<=", ">=", "<<", ">>"};
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if ((c == 'L' || c == 'l') && i + 1 < line.size() && line[i + 1] == '"') {
      ++i;
      tokens.push_back(ReadString(line, i, true, where, codePage));
    } else if (c == '"') {
      tokens.push_back(ReadString(line, i, false, where, codePage));
    } else if (IsNameStart(c)) {
      size_t end = i;
      while (end < line.size() && IsNameChar(line[end])) ++end;
      tokens.push_back({Token::Kind::kName, line.substr(i, end - i), {}, 0, where});
      i = end;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t end = i;
      const bool hex = c == '0' && i + 1 < line.size() && (line[i + 1] == 'x' || line[i + 1] == 'X');
      if (hex) end += 2;
      uint64_t value = 0;
      while (end < line.size() && (hex ? HexValue(line[end]) >= 0 : std::isdigit(static_cast<unsigned char>(line[end])))) {
        value = value * (hex ? 16 : 10) + HexValue(line[end++]);
        if (value > 0xFFFFFFFFull) throw Error(where + ": number too large");
      }
      if (hex && end == i + 2) throw Error(where + ": 0x without hex digits");
      while (end < line.size() && (line[end] == 'L' || line[end] == 'l' || line[end] == 'U' || line[end] == 'u')) ++end;
      if (end < line.size() && IsNameChar(line[end])) throw Error(where + ": malformed number");
      tokens.push_back({Token::Kind::kNumber, line.substr(i, end - i), {}, uint32_t(value), where});
      i = end;
    } else {
      std::string punct(1, c);
      for (const char* two : kTwoCharPunct) {
        if (line.compare(i, 2, two) == 0) punct = two;
      }
      if (std::string_view("(),|&^~!+-*/%<>?:{}=#").find(c) == std::string_view::npos) {
        throw Error(where + ": unexpected character '" + std::string(1, c) + "'");
      }
      tokens.push_back({Token::Kind::kPunct, punct, {}, 0, where});
      i += punct.size();
    }
  }
  return tokens;
}

struct Preprocessor::Source {
  std::filesystem::path path;
  int line = 0;
  std::string Where() const { return path.filename().string() + ":" + std::to_string(line); }
};

Preprocessor::Preprocessor(std::vector<std::filesystem::path> includeDirs, std::map<std::string, std::string> defines)
    : includeDirs_(std::move(includeDirs)) {
  macros_["RC_INVOKED"] = {{{Token::Kind::kNumber, "1", {}, 1, "<built-in>"}}, false};
  macros_["_WIN32"] = {{{Token::Kind::kNumber, "1", {}, 1, "<built-in>"}}, false};
  for (const auto& [name, value] : defines) macros_[name] = {Tokenize(value, "<command line>", codePage_), false};
}

std::vector<Token> Preprocessor::Run(const std::filesystem::path& script) {
  ProcessFile(script, false, 0);
  if (!conditionals_.empty()) throw Error(script.filename().string() + ": #if without #endif");
  tokens_.push_back({Token::Kind::kEnd, "", {}, 0, script.filename().string() + ":end"});
  return std::move(tokens_);
}

bool Preprocessor::Active() const { return conditionals_.empty() || conditionals_.back().active; }

std::filesystem::path Preprocessor::FindInclude(const std::string& name, bool quoted, const std::filesystem::path& from,
                                                const std::string& where) const {
  std::vector<std::filesystem::path> dirs;
  if (quoted) dirs.push_back(from.parent_path());
  dirs.insert(dirs.end(), includeDirs_.begin(), includeDirs_.end());
  std::string relative = name;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  for (const auto& dir : dirs) {
    const auto candidate = dir / relative;
    if (std::filesystem::is_regular_file(candidate)) return candidate;
    // Windows names are not case-sensitive: look for a file of the same name in another case.
    std::error_code error;
    const auto folder = candidate.parent_path();
    if (!std::filesystem::is_directory(folder, error)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      const std::string a = entry.path().filename().string(), b = candidate.filename().string();
      if (a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
          })) {
        return entry.path();
      }
    }
  }
  throw Error(where + ": cannot find include file " + name);
}

void Preprocessor::ProcessFile(const std::filesystem::path& file, bool directivesOnly, int depth) {
  if (depth > kMaxIncludeDepth) throw Error(file.string() + ": includes nested too deeply");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Error("cannot read " + file.string());
  files_.push_back(file);
  std::stringstream raw;
  raw << in.rdbuf();
  std::string text = StripComments(raw.str());
  // A UTF-8 byte order mark says how the script's narrow strings are written.
  if (text.starts_with("\xEF\xBB\xBF")) {
    text.erase(0, 3);
    codePage_ = 65001;
  }
  const size_t conditionalDepth = conditionals_.size();
  Source source{file, 0};
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    ++source.line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A backslash at the end of a line continues it.
    while (!line.empty() && line.back() == '\\') {
      line.pop_back();
      std::string more;
      if (!std::getline(lines, more)) break;
      ++source.line;
      if (!more.empty() && more.back() == '\r') more.pop_back();
      line += more;
    }
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line[first] == '#') {
      Directive(source, line.substr(first + 1), directivesOnly, depth);
      continue;
    }
    if (directivesOnly || !Active()) continue;
    std::vector<std::string> expanding;
    Expand(Tokenize(line, source.Where(), codePage_), tokens_, expanding);
  }
  if (conditionals_.size() != conditionalDepth) throw Error(file.filename().string() + ": #if without #endif");
}

void Preprocessor::Directive(Source& source, const std::string& line, bool directivesOnly, int depth) {
  const std::string where = source.Where();
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos) return;  // the null directive
  size_t end = i;
  while (end < line.size() && IsNameChar(line[end])) ++end;
  const std::string name = line.substr(i, end - i);
  std::string rest = line.substr(end);

  if (name == "if" || name == "ifdef" || name == "ifndef") {
    const bool parentActive = Active();
    bool value = false;
    if (parentActive) {
      const auto tokens = Tokenize(rest, where, codePage_);
      if (name == "if") {
        value = Evaluate(tokens, where) != 0;
      } else {
        if (tokens.size() != 1 || tokens[0].kind != Token::Kind::kName) throw Error(where + ": #" + name + " needs a name");
        value = macros_.contains(tokens[0].text) == (name == "ifdef");
      }
    }
    conditionals_.push_back({parentActive && value, value, parentActive});
    return;
  }
  if (name == "elif" || name == "else") {
    if (conditionals_.empty()) throw Error(where + ": #" + name + " without #if");
    Conditional& c = conditionals_.back();
    bool value = !c.taken;
    if (name == "elif" && value && c.parentActive) value = Evaluate(Tokenize(rest, where, codePage_), where) != 0;
    c.active = c.parentActive && value;
    c.taken = c.taken || value;
    return;
  }
  if (name == "endif") {
    if (conditionals_.empty()) throw Error(where + ": #endif without #if");
    conditionals_.pop_back();
    return;
  }
  if (!Active()) return;

  if (name == "define") {
    size_t n = rest.find_first_not_of(" \t");
    if (n == std::string::npos || !IsNameStart(rest[n])) throw Error(where + ": #define needs a name");
    size_t e = n;
    while (e < rest.size() && IsNameChar(rest[e])) ++e;
    Macro macro;
    const std::string macroName = rest.substr(n, e - n);
    if (e < rest.size() && rest[e] == '(') {
      // Function-like macros of included headers are known by name (for #ifdef) but not expanded.
      macro.functionLike = true;
      macros_[macroName] = macro;
      return;
    }
    macro.body = Tokenize(rest.substr(e), where, codePage_);
    macros_[macroName] = std::move(macro);
  } else if (name == "undef") {
    const auto tokens = Tokenize(rest, where, codePage_);
    if (tokens.size() != 1 || tokens[0].kind != Token::Kind::kName) throw Error(where + ": #undef needs a name");
    macros_.erase(tokens[0].text);
  } else if (name == "include") {
    const size_t open = rest.find_first_of("\"<");
    if (open == std::string::npos) throw Error(where + ": #include needs a file name");
    const char close = rest[open] == '"' ? '"' : '>';
    const size_t stop = rest.find(close, open + 1);
    if (stop == std::string::npos) throw Error(where + ": #include needs a file name");
    const auto path = FindInclude(rest.substr(open + 1, stop - open - 1), close == '"', source.path, where);
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    ProcessFile(path, directivesOnly || extension == ".h" || extension == ".c", depth + 1);
  } else if (name == "pragma") {
    const auto tokens = Tokenize(rest, where, codePage_);
    if (tokens.size() == 4 && tokens[0].text == "code_page" && tokens[1].text == "(" && tokens[3].text == ")") {
      if (tokens[2].kind != Token::Kind::kNumber || (tokens[2].number != 1252 && tokens[2].number != 65001)) {
        throw Error(where + ": only code pages 1252 and 65001 are supported");
      }
      codePage_ = tokens[2].number;
    }
    // Other pragmas are for other tools.
  } else if (name == "error") {
    throw Error(where + ": #error" + rest);
  } else if (name == "line" || name == "warning") {
    // Nothing to do for a resource script.
  } else if (!directivesOnly) {
    throw Error(where + ": unknown directive #" + name);
  }
}

void Preprocessor::Expand(const std::vector<Token>& in, std::vector<Token>& out, std::vector<std::string>& expanding) {
  for (const Token& token : in) {
    auto macro = token.kind == Token::Kind::kName ? macros_.find(token.text) : macros_.end();
    if (macro == macros_.end() || macro->second.functionLike ||
        std::find(expanding.begin(), expanding.end(), token.text) != expanding.end()) {
      out.push_back(token);
      if (out.size() > kMaxExpansion) throw Error(token.where + ": macro expansion too large");
      continue;
    }
    expanding.push_back(token.text);
    std::vector<Token> body = macro->second.body;
    for (Token& t : body) t.where = token.where;
    Expand(body, out, expanding);
    expanding.pop_back();
  }
}

// #if expressions: integers, defined(NAME), the C operators of integer arithmetic, comparison and
// logic with C's precedence; names that are not macros count as 0.
int64_t Preprocessor::Evaluate(const std::vector<Token>& raw, const std::string& where) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i].kind == Token::Kind::kName && raw[i].text == "defined") {
      size_t k = i + 1;
      const bool paren = k < raw.size() && raw[k].text == "(";
      if (paren) ++k;
      if (k >= raw.size() || raw[k].kind != Token::Kind::kName) throw Error(where + ": defined needs a name");
      const bool isDefined = macros_.contains(raw[k].text);
      if (paren && (++k >= raw.size() || raw[k].text != ")")) throw Error(where + ": defined( without )");
      tokens.push_back({Token::Kind::kNumber, "", {}, isDefined ? 1u : 0u, where});
      i = k;
      continue;
    }
    std::vector<std::string> expanding;
    Expand({raw[i]}, tokens, expanding);
  }

  size_t pos = 0;
  int depth = 0;  // nesting of parentheses and unary operators, bounded so no line can exhaust the stack
  const auto peek = [&]() -> std::string { return pos < tokens.size() && tokens[pos].kind == Token::Kind::kPunct ? tokens[pos].text : ""; };
  std::function<int64_t(int)> binary;
  std::function<int64_t()> unary = [&]() -> int64_t {
    if (pos >= tokens.size()) throw Error(where + ": incomplete #if expression");
    if (++depth > kMaxNesting) throw Error(where + ": #if expression nested too deeply");
    struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{depth};
    const Token& t = tokens[pos++];
    if (t.kind == Token::Kind::kNumber) return t.number;
    if (t.kind == Token::Kind::kName) return 0;
    if (t.text == "(") {
      const int64_t value = binary(0);
      if (peek() != ")") throw Error(where + ": missing ) in #if expression");
      ++pos;
      return value;
    }
    if (t.text == "!") return !unary();
    if (t.text == "~") return ~unary() & 0xFFFFFFFF;
    if (t.text == "-") return static_cast<int64_t>(0 - static_cast<uint64_t>(unary()));
    if (t.text == "+") return unary();
    throw Error(where + ": unexpected '" + t.text + "' in #if expression");
  };
  struct Operator {
    const char* text;
    int precedence;
  };
  static constexpr Operator kOperators[] = {
      {"||", 1}, {"&&", 2}, {"|", 3},  {"^", 4},  {"&", 5},  {"==", 6}, {"!=", 6}, {"<", 7},  {">", 7},
      {"<=", 7}, {">=", 7}, {"<<", 8}, {">>", 8}, {"+", 9},  {"-", 9},  {"*", 10}, {"/", 10}, {"%", 10},
  };
  binary = [&](int minimum) -> int64_t {
    int64_t left = unary();
    while (true) {
      const std::string op = peek();
      const Operator* found = nullptr;
      for (const Operator& o : kOperators) {
        if (op == o.text && o.precedence > minimum) found = &o;
      }
      if (found == nullptr) return left;
      ++pos;
      const int64_t right = binary(found->precedence);
      if ((op == "/" || op == "%") && right == 0) throw Error(where + ": division by zero in #if");
      // Arithmetic wraps as unsigned, so that no script can overflow the evaluator.
      const auto wrap = [](uint64_t v) { return static_cast<int64_t>(v); };
      if (op == "||") left = left || right;
      else if (op == "&&") left = left && right;
      else if (op == "|") left |= right;
      else if (op == "^") left ^= right;
      else if (op == "&") left &= right;
      else if (op == "==") left = left == right;
      else if (op == "!=") left = left != right;
      else if (op == "<") left = left < right;
      else if (op == ">") left = left > right;
      else if (op == "<=") left = left <= right;
      else if (op == ">=") left = left >= right;
      else if (op == "<<") left = right >= 0 && right < 63 ? left << right : 0;
      else if (op == ">>") left = right >= 0 && right < 63 ? left >> right : 0;
      else if (op == "+") left = wrap(uint64_t(left) + uint64_t(right));
      else if (op == "-") left = wrap(uint64_t(left) - uint64_t(right));
      else if (op == "*") left = wrap(uint64_t(left) * uint64_t(right));
      else if (right == -1) left = op == "/" ? wrap(0 - uint64_t(left)) : 0;
      else if (op == "/") left /= right;
      else left %= right;
    }
  };
  const int64_t value = binary(0);
  if (pos != tokens.size()) throw Error(where + ": unexpected '" + tokens[pos].text + "' in #if expression");
  return value;
}

}  // namespace orvella::rc
