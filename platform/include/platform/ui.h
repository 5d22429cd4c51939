// How message boxes (and later dialogs) are answered and what they showed: for tests, sim/ and cli/.
//
// A box is answered, in this order of preference, by
//   1. answers scripted with ScriptAnswers,
//   2. the environment's ORVELLA_ANSWERS,
//   3. the user on a terminal (stdin and stderr are terminals, or a terminal chosen with UseTerminal),
//   4. its default button.
// Scripted answers and ORVELLA_ANSWERS are taken in turn, one per box; the last one answers every box
// after it. An answer that the box does not offer presses the box's default button, as Enter would.
//
// ORVELLA_ANSWERS holds one word or a comma-separated list of words: ok, cancel, abort, retry, ignore,
// yes, no, tryagain, continue, default.
// ORVELLA_UI_LOG names a host file that receives one JSON line per box, whatever answered it:
//   {"event":"messagebox","caption":"...","text":"...","style":4112,"answer":1}
#pragma once

#include <windows.h>

#include <iosfwd>
#include <string>
#include <vector>

// Exported from the platform library to the programs and tests that drive it.
#pragma GCC visibility push(default)
namespace platform {

// Answers are button ids (IDOK, IDCANCEL, ...); 0 stands for "the default button".
void ScriptAnswers(std::vector<int> answers);
// Forgets scripted answers; boxes fall back to ORVELLA_ANSWERS, the terminal or the default button.
void ClearScriptedAnswers();

struct ShownBox {
  std::u16string caption;
  std::u16string text;
  UINT style = 0;
  int answer = 0;
};

// Every box shown by this process since the last ClearShownBoxes, in order.
std::vector<ShownBox> ShownBoxes();
void ClearShownBoxes();

// Shows boxes on these streams and reads the user's choice from `in`, as on a terminal, when nothing is
// scripted. StopUsingTerminal returns to detecting the process's own terminal.
void UseTerminal(std::istream& in, std::ostream& out);
void StopUsingTerminal();

}  // namespace platform
#pragma GCC visibility pop
