#include <windows.h>

#include <gtest/gtest.h>
#include <platform/machine.h>
#include <platform/ui.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("ORVELLA_ANSWERS");
    unsetenv("ORVELLA_UI_LOG");
    platform::ClearScriptedAnswers();
    platform::ClearShownBoxes();
    // Never the developer's terminal: an empty one answers with the end of input.
    platform::UseTerminal(noInput_, drawn_);
  }
  void TearDown() override {
    platform::StopUsingTerminal();
    platform::ClearScriptedAnswers();
    unsetenv("ORVELLA_ANSWERS");
    unsetenv("ORVELLA_UI_LOG");
  }
  std::istringstream noInput_;
  std::ostringstream drawn_;
};

struct AnswerCase {
  UINT style;
  int scripted;  // 0: the default button
  int expected;
};

TEST_F(MessageBoxTest, ScriptedAnswerOrDefaultButton) {
  const AnswerCase cases[] = {
      {MB_OK, IDOK, IDOK},
      {MB_OK, IDCANCEL, IDOK},  // not offered: the default button
      {MB_OKCANCEL, IDCANCEL, IDCANCEL},
      {MB_OKCANCEL, 0, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, 0, IDCANCEL},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDYES, IDCANCEL},
      {MB_OKCANCEL | MB_DEFBUTTON3, 0, IDOK},  // beyond the buttons: the first
      {MB_ABORTRETRYIGNORE, IDIGNORE, IDIGNORE},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, 0, IDIGNORE},
      {MB_YESNOCANCEL, IDNO, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON2, IDOK, IDNO},
      {MB_YESNO, IDCANCEL, IDYES},
      {MB_RETRYCANCEL, IDRETRY, IDRETRY},
      {MB_CANCELTRYCONTINUE, IDCONTINUE, IDCONTINUE},
      {MB_CANCELTRYCONTINUE | MB_DEFBUTTON2, 0, IDTRYAGAIN},
      {MB_OKCANCEL | MB_ICONQUESTION | MB_TOPMOST, IDCANCEL, IDCANCEL},
  };
  for (const AnswerCase& c : cases) {
    platform::ScriptAnswers({c.scripted});
    EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", c.style), c.expected)
        << "style 0x" << std::hex << c.style << " scripted " << std::dec << c.scripted;
  }
  EXPECT_EQ(drawn_.str(), "") << "a scripted box must not reach the terminal";
}

TEST_F(MessageBoxTest, ScriptedAnswersAreTakenInTurnAndTheLastRepeats) {
  platform::ScriptAnswers({IDOK, IDCANCEL});
  EXPECT_EQ(MessageBoxW(nullptr, u"1", nullptr, MB_OKCANCEL), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, u"2", nullptr, MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"3", nullptr, MB_OKCANCEL), IDCANCEL);
}

TEST_F(MessageBoxTest, ShownBoxesRecordCaptionTextStyleAndAnswer) {
  platform::ScriptAnswers({IDCANCEL});
  MessageBoxW(nullptr, u"Out of paper!\nLoad paper.", u"Notice", MB_OKCANCEL | MB_ICONQUESTION | MB_TOPMOST);
  MessageBoxW(nullptr, nullptr, nullptr, MB_OK | MB_SYSTEMMODAL);
  const auto boxes = platform::ShownBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, u"Notice");
  EXPECT_EQ(boxes[0].text, u"Out of paper!\nLoad paper.");
  EXPECT_EQ(boxes[0].style, UINT(0x40021));
  EXPECT_EQ(boxes[0].answer, IDCANCEL);
  EXPECT_EQ(boxes[1].caption, u"Error");  // Windows' caption for a box without one
  EXPECT_EQ(boxes[1].text, u"");
  EXPECT_EQ(boxes[1].answer, IDOK);
  platform::ClearShownBoxes();
  EXPECT_TRUE(platform::ShownBoxes().empty());
}

TEST_F(MessageBoxTest, AnsiBoxConvertsFromTheCodePage) {
  platform::SetMachineLanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 1252);
  platform::ScriptAnswers({IDOK});
  EXPECT_EQ(MessageBoxA(nullptr, "Caf\xe9 \x80", nullptr, MB_OK), IDOK);
  const auto boxes = platform::ShownBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Caf\u00e9 \u20ac");
  EXPECT_EQ(boxes[0].caption, u"Error");
}

TEST_F(MessageBoxTest, RefusedBoxesShowNothing) {
  struct Case {
    HWND owner;
    UINT style;
    DWORD error;
  } const cases[] = {
      {reinterpret_cast<HWND>(0x1234), MB_OK, ERROR_INVALID_WINDOW_HANDLE},
      {nullptr, 7, ERROR_INVALID_MSGBOX_STYLE},
      {nullptr, MB_TYPEMASK | MB_ICONHAND, ERROR_INVALID_MSGBOX_STYLE},
  };
  platform::ScriptAnswers({IDOK});
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MessageBoxW(c.owner, u"t", u"c", c.style), 0);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_TRUE(platform::ShownBoxes().empty());
}

TEST_F(MessageBoxTest, EnvironmentAnswersWordsInTurn) {
  setenv("ORVELLA_ANSWERS", "Yes, nonsense ,retry,default,tryagain", 1);
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_YESNO | MB_DEFBUTTON2), IDYES);
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_YESNO | MB_DEFBUTTON2), IDNO);  // unknown word
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_OK), IDOK);                     // retry not offered
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_RETRYCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_CANCELTRYCONTINUE), IDTRYAGAIN);
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_CANCELTRYCONTINUE), IDTRYAGAIN);

  platform::ScriptAnswers({IDCANCEL});  // scripted answers come first
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_CANCELTRYCONTINUE), IDCANCEL);
}

TEST_F(MessageBoxTest, WithoutAnswersTheEndOfTerminalInputActsAsEscape) {
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, u"", u"", MB_YESNO | MB_DEFBUTTON2), IDNO);
}

TEST_F(MessageBoxTest, TerminalDrawsTheBoxAndReadsTheChoice) {
  struct Case {
    UINT style;
    const char* replies;
    int expected;
  } const cases[] = {
      {MB_YESNOCANCEL, "n\n", IDNO},
      {MB_YESNOCANCEL, "3\n", IDCANCEL},
      {MB_YESNOCANCEL | MB_DEFBUTTON2, "\n", IDNO},
      {MB_YESNOCANCEL, "maybe\n0\nYES\n", IDYES},  // asks again until it understands
      {MB_CANCELTRYCONTINUE, "continue\n", IDCONTINUE},
      {MB_CANCELTRYCONTINUE, "t\n", IDTRYAGAIN},
      {MB_ABORTRETRYIGNORE, "  i  \n", IDIGNORE},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.replies);
    std::ostringstream out;
    platform::UseTerminal(in, out);
    EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", c.style), c.expected) << c.replies;
  }

  std::istringstream in("\n");
  std::ostringstream out;
  platform::UseTerminal(in, out);
  MessageBoxW(nullptr, u"First line\nSecond \u00e9 line", u"Printer", MB_OKCANCEL | MB_ICONHAND | MB_DEFBUTTON2);
  const std::string drawn = out.str();
  EXPECT_NE(drawn.find("(x) Printer"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("| First line"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("| Second \xc3\xa9 line"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("[1] OK   [2] Cancel *"), std::string::npos) << drawn;
}

TEST_F(MessageBoxTest, TerminalWrapsLongLinesAtBlanks) {
  std::istringstream in("\n");
  std::ostringstream out;
  platform::UseTerminal(in, out);
  const std::u16string longWord(100, u'w');
  const std::u16string text =
      u"Please remove the paper in the manual feeding slot and press OK to go on printing.\n" + longWord;
  MessageBoxW(nullptr, text.c_str(), u"Paper Jam", MB_OKCANCEL);
  std::istringstream drawn(out.str());
  std::vector<std::string> rows;
  for (std::string row; std::getline(drawn, row);) rows.push_back(row);
  ASSERT_GE(rows.size(), 5u) << out.str();
  EXPECT_EQ(rows[1].rfind("| Please remove the paper in the manual feeding slot and press OK to go on ", 0), 0u) << rows[1];
  EXPECT_EQ(rows[2].rfind("| printing. ", 0), 0u) << rows[2];
  EXPECT_EQ(rows[3], "| " + std::string(72, 'w') + " |");
  EXPECT_EQ(rows[4].rfind("| " + std::string(28, 'w') + " ", 0), 0u) << rows[4];
  for (const std::string& row : rows) {
    if (row.starts_with('+') || row.starts_with('|')) {
      EXPECT_EQ(row.size(), 76u) << "every row as wide as the box: " << row;
    }
  }
}

TEST_F(MessageBoxTest, UiLogHasOneJsonLinePerBox) {
  const auto path = std::filesystem::temp_directory_path() / ("ui-log-" + std::to_string(getpid()) + ".jsonl");
  std::filesystem::remove(path);
  setenv("ORVELLA_UI_LOG", path.c_str(), 1);
  platform::ScriptAnswers({IDCANCEL, IDOK});
  MessageBoxW(nullptr, u"Say \"hi\"\n\t\\ \u00e9\u4e2d\x01", u"Notice", MB_OKCANCEL | MB_TOPMOST);
  MessageBoxA(nullptr, "plain", nullptr, MB_OK);
  std::ifstream log(path);
  std::string first, second, rest;
  std::getline(log, first);
  std::getline(log, second);
  EXPECT_FALSE(std::getline(log, rest));
  EXPECT_EQ(first,
            "{\"event\":\"messagebox\",\"caption\":\"Notice\",\"text\":\"Say \\\"hi\\\"\\n\\t\\\\ "
            "\xc3\xa9\xe4\xb8\xad\\u0001\",\"style\":262145,\"answer\":2}");
  EXPECT_EQ(second, "{\"event\":\"messagebox\",\"caption\":\"Error\",\"text\":\"plain\",\"style\":0,\"answer\":1}");
  std::filesystem::remove(path);
}

}  // namespace
