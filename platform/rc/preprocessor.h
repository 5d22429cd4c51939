// The resource compiler's front end: reads a resource script with the C preprocessor's directives as
// rc.exe understands them, and hands the script's tokens to the parser with macros expanded.
//
// Included files whose names end in .h or .c contribute only their directives (#define and the
// conditionals), as with rc.exe, so that a script can include the header that numbers its resources.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvella::rc {

// A failure, with the file and line it happened at, that ends the compilation.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Token {
  enum class Kind { kName, kNumber, kString, kPunct, kEnd };
  Kind kind = Kind::kEnd;
  std::string text;           // names and punctuation as written; the decoded bytes of a narrow string
  std::u16string wide;        // a string's text in UTF-16 (narrow strings decoded from the code page)
  uint32_t number = 0;        // numbers
  std::string where;          // "file:line"
};

struct Macro {
  std::vector<Token> body;
  bool functionLike = false;
};

class Preprocessor {
 public:
  Preprocessor(std::vector<std::filesystem::path> includeDirs, std::map<std::string, std::string> defines);

  // The tokens of the script and everything it includes, macros expanded; ends with a kEnd token.
  std::vector<Token> Run(const std::filesystem::path& script);

  // Every file read, the script first: what the output depends on.
  const std::vector<std::filesystem::path>& Files() const { return files_; }

 private:
  struct Source;
  void ProcessFile(const std::filesystem::path& file, bool directivesOnly, int depth);
  void Directive(Source& source, const std::string& line, bool directivesOnly, int depth);
  bool Active() const;
  int64_t Evaluate(const std::vector<Token>& tokens, const std::string& where);
  void Expand(const std::vector<Token>& in, std::vector<Token>& out, std::vector<std::string>& expanding);
  std::filesystem::path FindInclude(const std::string& name, bool quoted, const std::filesystem::path& from,
                                    const std::string& where) const;

  std::vector<std::filesystem::path> includeDirs_;
  std::map<std::string, Macro> macros_;
  struct Conditional {
    bool active;      // this branch is taken
    bool taken;       // some branch of this #if has been taken
    bool parentActive;
  };
  std::vector<Conditional> conditionals_;
  std::vector<Token> tokens_;
  unsigned codePage_ = 1252;
  std::vector<std::filesystem::path> files_;
};

// Splits one line of text into tokens (comments already removed). Narrow strings are decoded with
// `codePage` (1252 or 65001).
std::vector<Token> Tokenize(const std::string& line, const std::string& where, unsigned codePage);

}  // namespace orvella::rc
