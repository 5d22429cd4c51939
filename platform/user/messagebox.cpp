// MessageBoxW / MessageBoxA. A box is answered by scripted answers, ORVELLA_ANSWERS, the user on a
// terminal or its default button (see platform/ui.h), recorded for tests and logged to ORVELLA_UI_LOG.
#include <windows.h>

#include <platform/ui.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kernel/text.h"
#include "user/messagebox.h"
#include "user/ui_log.h"
#include "user/windows.h"

namespace platform::user {
namespace {

struct Button {
  int id;
  std::u16string_view label;
  char key;               // the letter that picks it on a terminal
  std::string_view word;  // its word in ORVELLA_ANSWERS
};

constexpr Button kOk{IDOK, u"OK", 'o', "ok"};
constexpr Button kCancel{IDCANCEL, u"Cancel", 'c', "cancel"};
constexpr Button kAbort{IDABORT, u"Abort", 'a', "abort"};
constexpr Button kRetry{IDRETRY, u"Retry", 'r', "retry"};
constexpr Button kIgnore{IDIGNORE, u"Ignore", 'i', "ignore"};
constexpr Button kYes{IDYES, u"Yes", 'y', "yes"};
constexpr Button kNo{IDNO, u"No", 'n', "no"};
constexpr Button kTryAgain{IDTRYAGAIN, u"Try Again", 't', "tryagain"};
constexpr Button kContinue{IDCONTINUE, u"Continue", 'o', "continue"};

struct BoxType {
  std::array<Button, 3> buttons;
  int count;
};

// Indexed by uType & MB_TYPEMASK; the buttons in the order Windows lays them out.
constexpr std::array<BoxType, 7> kBoxTypes{{
    /* MB_OK */ {{kOk}, 1},
    /* MB_OKCANCEL */ {{kOk, kCancel}, 2},
    /* MB_ABORTRETRYIGNORE */ {{kAbort, kRetry, kIgnore}, 3},
    /* MB_YESNOCANCEL */ {{kYes, kNo, kCancel}, 3},
    /* MB_YESNO */ {{kYes, kNo}, 2},
    /* MB_RETRYCANCEL */ {{kRetry, kCancel}, 2},
    /* MB_CANCELTRYCONTINUE */ {{kCancel, kTryAgain, kContinue}, 3},
}};

constexpr std::array<Button, 9> kAllButtons{kOk, kCancel, kAbort, kRetry, kIgnore, kYes, kNo, kTryAgain, kContinue};

struct Box {
  std::u16string caption;
  std::u16string text;
  UINT style;
  std::span<const Button> buttons;
  int defaultId;
};

bool Offers(const Box& box, int id) {
  return std::any_of(box.buttons.begin(), box.buttons.end(), [id](const Button& b) { return b.id == id; });
}

// What Escape (or the end of input) does: Cancel where the box has it; an OK-only box takes OK.
int EscapeAnswer(const Box& box) {
  if (Offers(box, IDCANCEL)) return IDCANCEL;
  if (Offers(box, IDOK)) return IDOK;
  return box.defaultId;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

// A word of ORVELLA_ANSWERS as a button id; 0 for "default" and for words that name no button.
int AnswerFromWord(std::string_view word) {
  const std::string lower = Lower(Trim(word));
  for (const Button& b : kAllButtons) {
    if (lower == b.word) return b.id;
  }
  return 0;
}

struct AnswerState {
  std::mutex lock;
  std::vector<int> scripted;
  size_t scriptedNext = 0;
  std::string environment;  // the ORVELLA_ANSWERS text that environmentNext counts through
  size_t environmentNext = 0;
  std::vector<ShownBox> shown;
  std::istream* terminalIn = nullptr;
  std::ostream* terminalOut = nullptr;
};

AnswerState& State() {
  static AnswerState state;
  return state;
}

// Takes the next answer of a list used in turn, whose last entry repeats.
int TakeInTurn(const std::vector<int>& answers, size_t& next) {
  const int answer = answers[std::min(next, answers.size() - 1)];
  if (next < answers.size()) ++next;
  return answer;
}

std::optional<int> EnvironmentAnswer(AnswerState& state) {
  const char* value = std::getenv("ORVELLA_ANSWERS");
  if (value == nullptr || *value == '\0') return std::nullopt;
  if (state.environment != value) {
    state.environment = value;
    state.environmentNext = 0;
  }
  std::vector<int> answers;
  std::string_view rest = state.environment;
  while (true) {
    const size_t comma = rest.find(',');
    answers.push_back(AnswerFromWord(rest.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return TakeInTurn(answers, state.environmentNext);
}

std::u16string_view IconMark(UINT style) {
  switch (style & MB_ICONMASK) {
    case MB_ICONHAND: return u"(x) ";
    case MB_ICONQUESTION: return u"(?) ";
    case MB_ICONEXCLAMATION: return u"(!) ";
    case MB_ICONASTERISK: return u"(i) ";
    default: return u"";
  }
}

// Terminal lines of a box's text: its own line breaks, and long lines wrapped at blanks (or cut where a
// word is longer than a line), as Windows wraps the text of a box.
constexpr size_t kTextWidth = 72;

std::vector<std::u16string_view> Lines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  while (true) {
    const size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    while (line.size() > kTextWidth) {
      size_t cut = line.substr(0, kTextWidth + 1).find_last_of(u' ');
      if (cut == std::u16string_view::npos || cut == 0) cut = kTextWidth;
      lines.push_back(line.substr(0, cut));
      line.remove_prefix(cut);
      while (!line.empty() && line.front() == u' ') line.remove_prefix(1);
    }
    lines.push_back(line);
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::u16string ButtonRow(const Box& box) {
  std::u16string row;
  for (size_t i = 0; i < box.buttons.size(); ++i) {
    if (i > 0) row += u"   ";
    row += u"[";
    row += char16_t(u'1' + i);
    row += u"] ";
    row += box.buttons[i].label;
    if (box.buttons[i].id == box.defaultId) row += u" *";
  }
  return row;
}

void DrawBox(const Box& box, std::ostream& out) {
  const std::u16string title = std::u16string(IconMark(box.style)) + box.caption;
  std::vector<std::u16string_view> lines = Lines(box.text);
  const std::u16string buttons = ButtonRow(box);
  size_t width = std::max(title.size() + 2, buttons.size());
  for (auto line : lines) width = std::max(width, line.size());

  const auto row = [&](std::u16string_view content) {
    out << "| " << text::ToUtf8(content) << std::string(width - content.size(), ' ') << " |\n";
  };
  out << "+- " << text::ToUtf8(title) << ' ' << std::string(width - title.size() - 1, '-') << "+\n";
  for (auto line : lines) row(line);
  row(u"");
  row(buttons);
  out << '+' << std::string(width + 2, '-') << "+\n";
}

std::string Prompt(const Box& box) {
  std::string keys;
  for (const Button& b : box.buttons) {
    if (!keys.empty()) keys += '/';
    keys += b.key;
  }
  std::string defaultLabel;
  for (const Button& b : box.buttons) {
    if (b.id == box.defaultId) defaultLabel = text::ToUtf8(b.label);
  }
  return "Choose " + keys + " or 1-" + std::to_string(box.buttons.size()) + " (Enter: " + defaultLabel + "): ";
}

// The button a terminal reply picks: its number, its letter or its word; Enter takes the default.
std::optional<int> ParseReply(const Box& box, std::string_view reply) {
  const std::string lower = Lower(Trim(reply));
  if (lower.empty()) return box.defaultId;
  for (size_t i = 0; i < box.buttons.size(); ++i) {
    const Button& b = box.buttons[i];
    if (lower == std::to_string(i + 1) || lower == std::string(1, b.key) || lower == b.word ||
        lower == Lower(text::ToUtf8(b.label))) {
      return b.id;
    }
  }
  return std::nullopt;
}

int AskOnTerminal(const Box& box, std::istream& in, std::ostream& out) {
  DrawBox(box, out);
  while (true) {
    out << Prompt(box) << std::flush;
    std::string reply;
    if (!std::getline(in, reply)) {
      out << '\n';
      return EscapeAnswer(box);
    }
    if (auto id = ParseReply(box, reply)) return *id;
  }
}

int Answer(AnswerState& state, const Box& box) {
  std::optional<int> answer;
  if (!state.scripted.empty()) {
    answer = TakeInTurn(state.scripted, state.scriptedNext);
  } else {
    answer = EnvironmentAnswer(state);
  }
  if (!answer) {
    if (state.terminalIn != nullptr) return AskOnTerminal(box, *state.terminalIn, *state.terminalOut);
    if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) return AskOnTerminal(box, std::cin, std::cerr);
    return box.defaultId;
  }
  return Offers(box, *answer) ? *answer : box.defaultId;
}

}  // namespace

int ShowMessageBox(HWND owner, std::u16string text, std::u16string caption, UINT style) {
  if (owner != nullptr && !IsLiveWindow(owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const UINT type = style & MB_TYPEMASK;
  if (type >= kBoxTypes.size()) {
    SetLastError(ERROR_INVALID_MSGBOX_STYLE);
    return 0;
  }
  const BoxType& kind = kBoxTypes[type];
  Box box{std::move(caption), std::move(text), style, std::span(kind.buttons.data(), size_t(kind.count)), 0};
  // A default button beyond the box's buttons falls back to the first, as on Windows.
  const size_t defaultIndex = (style & MB_DEFMASK) >> 8;
  box.defaultId = box.buttons[defaultIndex < box.buttons.size() ? defaultIndex : 0].id;

  AnswerState& state = State();
  std::lock_guard guard(state.lock);
  const int answer = Answer(state, box);
  state.shown.push_back({box.caption, box.text, style, answer});
  LogMessageBox(box.caption, box.text, style, answer);
  return answer;
}

}  // namespace platform::user

namespace platform {

void ScriptAnswers(std::vector<int> answers) {
  auto& state = user::State();
  std::lock_guard guard(state.lock);
  state.scripted = std::move(answers);
  state.scriptedNext = 0;
}

void ClearScriptedAnswers() { ScriptAnswers({}); }

std::vector<ShownBox> ShownBoxes() {
  auto& state = user::State();
  std::lock_guard guard(state.lock);
  return state.shown;
}

void ClearShownBoxes() {
  auto& state = user::State();
  std::lock_guard guard(state.lock);
  state.shown.clear();
}

void UseTerminal(std::istream& in, std::ostream& out) {
  auto& state = user::State();
  std::lock_guard guard(state.lock);
  state.terminalIn = &in;
  state.terminalOut = &out;
}

void StopUsingTerminal() {
  auto& state = user::State();
  std::lock_guard guard(state.lock);
  state.terminalIn = nullptr;
  state.terminalOut = nullptr;
}

}  // namespace platform

namespace {
// Windows shows "Error" when a box has no caption.
constexpr std::u16string_view kDefaultCaption = u"Error";
}  // namespace

WINBASEAPI int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  std::u16string text = lpText ? std::u16string(lpText) : std::u16string();
  std::u16string caption(lpCaption ? std::u16string_view(lpCaption) : kDefaultCaption);
  return platform::user::ShowMessageBox(hWnd, std::move(text), std::move(caption), uType);
}

WINBASEAPI int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  std::u16string text = lpText ? platform::text::FromAnsi(lpText) : std::u16string();
  std::u16string caption = lpCaption ? platform::text::FromAnsi(lpCaption) : std::u16string(kDefaultCaption);
  return platform::user::ShowMessageBox(hWnd, std::move(text), std::move(caption), uType);
}
