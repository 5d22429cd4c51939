#include "spooler/state.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

#include "kernel/text.h"
#include "machine/machine.h"

namespace platform::spooler {
namespace {

constexpr std::string_view kStateFile = "spooler.ini";

std::string Quote(std::u16string_view text) {
  std::string out = "\"";
  for (const char c : text::ToUtf8(text)) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[5];
          std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string at the start of `text` and moves `text` past it; nullopt when it is not one.
std::optional<std::u16string> Unquote(std::string_view& text) {
  if (text.empty() || text.front() != '"') return std::nullopt;
  std::string utf8;
  size_t i = 1;
  for (; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] != '\\') {
      utf8 += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case 'n': utf8 += '\n'; break;
      case 'r': utf8 += '\r'; break;
      case 't': utf8 += '\t'; break;
      case 'x': {
        const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low < 0) return std::nullopt;
        utf8 += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default: utf8 += text[i];
    }
  }
  if (i == text.size()) return std::nullopt;
  text.remove_prefix(i + 1);
  return text::FromUtf8(utf8);
}

std::vector<BYTE> StringBytes(std::u16string_view text) {
  std::vector<BYTE> bytes;
  for (const char16_t c : text) {
    bytes.push_back(BYTE(c & 0xFF));
    bytes.push_back(BYTE(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// The text of a REG_SZ whose bytes are one terminated UTF-16 string that survives UTF-8, else nullopt.
std::optional<std::u16string> PlainString(const std::vector<BYTE>& bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
  std::u16string text;
  for (size_t i = 0; i + 2 < bytes.size(); i += 2) text += char16_t(bytes[i] | bytes[i + 1] << 8);
  if (bytes[bytes.size() - 2] != 0 || bytes.back() != 0) return std::nullopt;
  if (text.find(u'\0') != std::u16string::npos) return std::nullopt;
  if (text::FromUtf8(text::ToUtf8(text)) != text) return std::nullopt;
  return text;
}

std::string FormatValue(const DataValue& value) {
  char buffer[32];
  if (value.type == REG_DWORD && value.bytes.size() == 4) {
    const DWORD dword = value.bytes[0] | value.bytes[1] << 8 | value.bytes[2] << 16 | DWORD(value.bytes[3]) << 24;
    std::snprintf(buffer, sizeof buffer, "dword:%08lx", dword);
    return buffer;
  }
  if (value.type == REG_SZ) {
    if (auto text = PlainString(value.bytes)) return Quote(*text);
  }
  std::string out = "hex";
  if (value.type != REG_BINARY) {
    std::snprintf(buffer, sizeof buffer, "(%lx)", value.type);
    out += buffer;
  }
  out += ':';
  for (size_t i = 0; i < value.bytes.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", value.bytes[i]);
    out += buffer;
  }
  return out;
}

std::optional<DWORD> ParseHexNumber(std::string_view text) {
  DWORD value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// The value after "Data "name"=", in any of the forms FormatValue writes.
std::optional<DataValue> ParseValue(std::string_view text) {
  DataValue value;
  if (text.starts_with("dword:")) {
    auto dword = ParseHexNumber(text.substr(6));
    if (!dword) return std::nullopt;
    value.type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8) value.bytes.push_back(BYTE(*dword >> shift));
    return value;
  }
  if (text.starts_with('"')) {
    auto string = Unquote(text);
    if (!string || !text.empty()) return std::nullopt;
    value.type = REG_SZ;
    value.bytes = StringBytes(*string);
    return value;
  }
  if (!text.starts_with("hex")) return std::nullopt;
  text.remove_prefix(3);
  value.type = REG_BINARY;
  if (text.starts_with('(')) {
    const size_t close = text.find(')');
    if (close == std::string_view::npos) return std::nullopt;
    auto type = ParseHexNumber(text.substr(1, close - 1));
    if (!type) return std::nullopt;
    value.type = *type;
    text.remove_prefix(close + 1);
  }
  if (!text.starts_with(':')) return std::nullopt;
  text.remove_prefix(1);
  while (!text.empty()) {
    const size_t comma = text.find(',');
    auto byte = ParseHexNumber(text.substr(0, comma));
    if (!byte || *byte > 0xFF) return std::nullopt;
    value.bytes.push_back(BYTE(*byte));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return value;
}

std::string_view TrimLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return line;
}

enum class Section { kNone, kSpooler, kMonitor, kDriver, kPrinter, kJob, kOther };

// The plain fields of each record, by their key in the file.
template <class Record>
struct StringField {
  const char* key;
  std::u16string Record::*member;
};
template <class Record>
struct NumberField {
  const char* key;
  DWORD Record::*member;
};

constexpr StringField<Monitor> kMonitorStrings[] = {
    {"Name", &Monitor::name}, {"Environment", &Monitor::environment}, {"Library", &Monitor::library}};

constexpr StringField<Driver> kDriverStrings[] = {
    {"Name", &Driver::name},           {"Environment", &Driver::environment}, {"DriverPath", &Driver::driverPath},
    {"DataFile", &Driver::dataFile},   {"ConfigFile", &Driver::configFile},   {"HelpFile", &Driver::helpFile},
    {"Monitor", &Driver::monitor},     {"DefaultDataType", &Driver::defaultDataType}};
constexpr NumberField<Driver> kDriverNumbers[] = {{"Version", &Driver::version}};

constexpr StringField<Printer> kPrinterStrings[] = {
    {"Name", &Printer::name},         {"Driver", &Printer::driver},
    {"Port", &Printer::port},         {"ShareName", &Printer::shareName},
    {"Comment", &Printer::comment},   {"Location", &Printer::location},
    {"SepFile", &Printer::sepFile},   {"PrintProcessor", &Printer::printProcessor},
    {"Datatype", &Printer::datatype}, {"Parameters", &Printer::parameters}};
constexpr NumberField<Printer> kPrinterNumbers[] = {
    {"Attributes", &Printer::attributes}, {"Priority", &Printer::priority},
    {"DefaultPriority", &Printer::defaultPriority}, {"StartTime", &Printer::startTime},
    {"UntilTime", &Printer::untilTime}, {"Status", &Printer::status}};

// Sets a plain field of a record from its line; false when the key names none.
template <class Record, size_t S, size_t N>
bool ParseField(Record& record, std::string_view key, std::string_view value, const StringField<Record> (&strings)[S],
                const NumberField<Record> (*numbers)[N]) {
  for (const auto& field : strings) {
    if (key != field.key) continue;
    if (auto text = Unquote(value)) record.*field.member = *text;
    return true;
  }
  if (numbers == nullptr) return false;
  for (const auto& field : *numbers) {
    if (key != field.key) continue;
    std::from_chars(value.data(), value.data() + value.size(), record.*field.member);
    return true;
  }
  return false;
}

template <class Record, size_t S, size_t N>
std::string FormatFields(const Record& record, const StringField<Record> (&strings)[S],
                         const NumberField<Record> (*numbers)[N]) {
  std::string out;
  for (const auto& field : strings) out += std::string(field.key) + "=" + Quote(record.*field.member) + "\n";
  if (numbers != nullptr) {
    for (const auto& field : *numbers) out += std::string(field.key) + "=" + std::to_string(record.*field.member) + "\n";
  }
  return out;
}

constexpr const NumberField<Monitor> (*kNoMonitorNumbers)[1] = nullptr;

void ParsePrinterLine(Printer& printer, std::string_view key, std::string_view value) {
  if (ParseField(printer, key, value, kPrinterStrings, &kPrinterNumbers)) return;
  // key is `Data "name"`; the name may hold '=' itself, so the key was cut at the closing quote.
  if (!key.starts_with("Data ")) return;
  key.remove_prefix(5);
  auto name = Unquote(key);
  if (!name || !key.empty()) return;
  auto parsed = ParseValue(value);
  if (!parsed || FindData(printer, *name) != nullptr) return;
  parsed->name = *name;
  printer.data.push_back(std::move(*parsed));
}

void ParseDriverLine(Driver& driver, std::string_view key, std::string_view value) {
  if (ParseField(driver, key, value, kDriverStrings, &kDriverNumbers)) return;
  if (key != "DependentFiles") return;
  while (auto file = Unquote(value)) {
    driver.dependentFiles.push_back(*file);
    if (!value.starts_with(',')) break;
    value.remove_prefix(1);
  }
}

void ParseJobLine(Job& job, std::string_view key, std::string_view value) {
  if (key == "Id") {
    std::from_chars(value.data(), value.data() + value.size(), job.id);
  } else if (key == "Printer" || key == "Document") {
    if (auto text = Unquote(value)) (key == "Printer" ? job.printer : job.document) = *text;
  } else if (key == "Paused") {
    job.paused = value == "1";
  } else if (key == "Commands") {
    while (!value.empty()) {
      const size_t comma = value.find(',');
      if (comma != 0) job.commands.emplace_back(value.substr(0, comma));
      if (comma == std::string_view::npos) break;
      value.remove_prefix(comma + 1);
    }
  }
}

// Splits "key=value"; a key that starts with `Data "` ends at its closing quote, so that a value name
// may contain '='.
bool SplitLine(std::string_view line, std::string_view& key, std::string_view& value) {
  size_t equals = std::string_view::npos;
  if (line.starts_with("Data \"")) {
    std::string_view rest = line.substr(5);
    if (!Unquote(rest)) return false;
    equals = line.size() - rest.size();
    if (equals >= line.size() || line[equals] != '=') return false;
  } else {
    equals = line.find('=');
    if (equals == std::string_view::npos) return false;
  }
  key = line.substr(0, equals);
  value = line.substr(equals + 1);
  return true;
}

}  // namespace

bool SameName(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) -> char16_t {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    return c;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

Printer* FindPrinter(State& state, std::u16string_view name) {
  for (Printer& printer : state.printers) {
    if (SameName(printer.name, name)) return &printer;
  }
  return nullptr;
}

// Value names are matched without regard to case, as registry value names are.
DataValue* FindData(Printer& printer, std::u16string_view name) {
  for (DataValue& value : printer.data) {
    if (SameName(value.name, name)) return &value;
  }
  return nullptr;
}

Monitor* FindMonitor(State& state, std::u16string_view name) {
  for (Monitor& monitor : state.monitors) {
    if (SameName(monitor.name, name)) return &monitor;
  }
  return nullptr;
}

Driver* FindDriver(State& state, std::u16string_view name) {
  for (Driver& driver : state.drivers) {
    if (SameName(driver.name, name)) return &driver;
  }
  return nullptr;
}

Job* FindJob(State& state, DWORD id) {
  for (Job& job : state.jobs) {
    if (job.id == id) return &job;
  }
  return nullptr;
}

State ParseState(std::string_view text) {
  State state;
  Section section = Section::kNone;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::string_view line = TrimLine(raw);
    if (line.starts_with('[') && line.ends_with(']')) {
      const std::string_view name = line.substr(1, line.size() - 2);
      section = name == "Spooler"   ? Section::kSpooler
                : name == "Monitor" ? Section::kMonitor
                : name == "Driver"  ? Section::kDriver
                : name == "Printer" ? Section::kPrinter
                : name == "Job"     ? Section::kJob
                                    : Section::kOther;
      if (section == Section::kMonitor) state.monitors.emplace_back();
      if (section == Section::kDriver) state.drivers.emplace_back();
      if (section == Section::kPrinter) state.printers.emplace_back();
      if (section == Section::kJob) state.jobs.emplace_back();
      if (section == Section::kOther) state.otherSections += std::string(raw) + "\n";
      continue;
    }
    if (section == Section::kOther) {
      state.otherSections += std::string(raw) + "\n";
      continue;
    }
    std::string_view key, value;
    if (line.empty() || line.starts_with(';') || !SplitLine(line, key, value)) continue;
    if (section == Section::kSpooler && key == "NextJobId") {
      std::from_chars(value.data(), value.data() + value.size(), state.nextJobId);
    } else if (section == Section::kMonitor) {
      ParseField(state.monitors.back(), key, value, kMonitorStrings, kNoMonitorNumbers);
    } else if (section == Section::kDriver) {
      ParseDriverLine(state.drivers.back(), key, value);
    } else if (section == Section::kPrinter) {
      ParsePrinterLine(state.printers.back(), key, value);
    } else if (section == Section::kJob) {
      ParseJobLine(state.jobs.back(), key, value);
    }
  }
  // A section that lost its name or id to damage names nothing and is dropped.
  std::erase_if(state.monitors, [](const Monitor& m) { return m.name.empty(); });
  std::erase_if(state.drivers, [](const Driver& d) { return d.name.empty(); });
  std::erase_if(state.printers, [](const Printer& p) { return p.name.empty(); });
  std::erase_if(state.jobs, [](const Job& j) { return j.id == 0; });
  for (const Job& job : state.jobs) state.nextJobId = std::max(state.nextJobId, job.id + 1);
  if (state.nextJobId == 0) state.nextJobId = 1;
  return state;
}

std::string FormatState(const State& state) {
  std::string out = "[Spooler]\nNextJobId=" + std::to_string(state.nextJobId) + "\n";
  for (const Monitor& monitor : state.monitors) {
    out += "\n[Monitor]\n" + FormatFields(monitor, kMonitorStrings, kNoMonitorNumbers);
  }
  for (const Driver& driver : state.drivers) {
    out += "\n[Driver]\n" + FormatFields(driver, kDriverStrings, &kDriverNumbers) + "DependentFiles=";
    for (size_t i = 0; i < driver.dependentFiles.size(); ++i) out += (i > 0 ? "," : "") + Quote(driver.dependentFiles[i]);
    out += "\n";
  }
  for (const Printer& printer : state.printers) {
    out += "\n[Printer]\n" + FormatFields(printer, kPrinterStrings, &kPrinterNumbers);
    for (const DataValue& value : printer.data) out += "Data " + Quote(value.name) + "=" + FormatValue(value) + "\n";
  }
  for (const Job& job : state.jobs) {
    out += "\n[Job]\nId=" + std::to_string(job.id) + "\nPrinter=" + Quote(job.printer) +
           "\nDocument=" + Quote(job.document) + "\nPaused=" + (job.paused ? "1" : "0") + "\nCommands=";
    for (size_t i = 0; i < job.commands.size(); ++i) out += (i > 0 ? "," : "") + job.commands[i];
    out += "\n";
  }
  if (!state.otherSections.empty()) out += "\n" + state.otherSections;
  return out;
}

std::u16string DriverDirectory() { return machine::GetSettings().systemDirectory + u"\\spool\\drivers\\w32x86"; }

State ReadState() { return ParseState(machine::ReadStateFile(kStateFile)); }

bool UpdateState(const std::function<bool(State&)>& edit) {
  bool changed = false;
  machine::UpdateStateFile(kStateFile, [&](std::string& text) {
    State state = ParseState(text);
    if (!edit(state)) return false;
    text = FormatState(state);
    changed = true;
    return true;
  });
  return changed;
}

}  // namespace platform::spooler
