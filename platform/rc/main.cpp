// orvella-rc: compiles a resource script into the C++ source of a module's resource table.
//
//   orvella-rc [-I folder]... [-D NAME[=value]]... [-d depfile] -o table.cpp script.rc
//
// The output is written only when the whole script compiled; an error names the file and line. The
// depfile (make syntax) lists the script and every file it included, for the build's dependencies.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "compiler.h"
#include "preprocessor.h"

namespace {

int Usage() {
  std::cerr << "usage: orvella-rc [-I folder]... [-D NAME[=value]]... [-d depfile] -o table.cpp script.rc\n";
  return 2;
}

// A path as make syntax needs it: blanks and '#' escaped.
std::string Escape(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ' || c == '#') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> includeDirs;
  std::map<std::string, std::string> defines;
  std::filesystem::path output, script, depfile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](size_t prefix) -> std::string {
      if (arg.size() > prefix) return arg.substr(prefix);
      return ++i < argc ? argv[i] : "";
    };
    if (arg.starts_with("-I")) {
      includeDirs.push_back(value(2));
    } else if (arg.starts_with("-D")) {
      const std::string define = value(2);
      const size_t equals = define.find('=');
      defines[define.substr(0, equals)] = equals == std::string::npos ? "1" : define.substr(equals + 1);
    } else if (arg == "-o") {
      output = value(2);
    } else if (arg == "-d") {
      depfile = value(2);
    } else if (!arg.starts_with("-") && script.empty()) {
      script = arg;
    } else {
      return Usage();
    }
  }
  if (output.empty() || script.empty()) return Usage();

  try {
    orvella::rc::Preprocessor preprocessor(includeDirs, defines);
    const auto resources = orvella::rc::Compile(preprocessor.Run(script));
    const std::string table = orvella::rc::EmitTable(resources, script.filename().string());
    const auto temporary = std::filesystem::path(output.string() + ".tmp");
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << table;
      if (!out.flush()) throw orvella::rc::Error("cannot write " + temporary.string());
    }
    std::filesystem::rename(temporary, output);
    if (!depfile.empty()) {
      std::ofstream deps(depfile, std::ios::trunc);
      deps << Escape(output.string()) << ':';
      for (const auto& file : preprocessor.Files()) deps << " \\\n  " << Escape(std::filesystem::absolute(file).string());
      deps << '\n';
    }
  } catch (const std::exception& error) {
    std::cerr << "orvella-rc: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
