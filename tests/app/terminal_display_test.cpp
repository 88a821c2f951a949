#include "app/terminal_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tidewell {
namespace {

// Runs `script` on a display writing to a memory stream and returns what it
// printed.
template <typename Script>
std::string printed(bool isTerminal, Script script) {
  char* buffer = nullptr;
  std::size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  {
    TerminalDisplay display(out, isTerminal);
    script(display);
  }
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

TEST(TerminalDisplay, PrintsEachFileLineOnceWithItsOutcome) {
  const std::string text = printed(false, [](TerminalDisplay& d) {
    d.ShowState("Idle.");
    d.ShowState("Idle.");  // unchanged: printed once
    d.AddFileLine("001 a.bin ... ");
    d.AppendToFileLine("Ok. (1/1 - 0:01 - 1.50 Kb/Sec)");
    d.AddFileLine("002 b.bin ... ");
    d.AppendToFileLine("Failed. ");
    d.AppendToFileLine("441 435 Duplicate\r\n");
    d.AddFileLine("003 c.bin ... ");
    d.AddFileLine("Error Experienced.  Attempting Reconnection.");
    d.ShowProblem("Error writing data.\r\rCommunication terminated.");
  });
  EXPECT_EQ(text,
            "State: Idle.\n"
            "001 a.bin ... Ok. (1/1 - 0:01 - 1.50 Kb/Sec)\n"
            "002 b.bin ... Failed. 441 435 Duplicate\n"
            "003 c.bin ... \n"
            "Error Experienced.  Attempting Reconnection.\n"
            "! Error writing data.\n"
            "! Communication terminated.\n");
}

TEST(TerminalDisplay, ProgressIsATenthStepLineOffATerminalAndRedrawnOnOne) {
  const auto stream = [](TerminalDisplay& d) {
    d.ShowEstimate("Elapsed: 00:00:01 To Go: 00:00:09");
    for (int percent = 1; percent <= 100; ++percent) {
      d.ShowTimeRate("0:01 / 0:09 - 1.00 Kb/Sec");
      d.ShowState("Posted " + std::to_string(percent * 10) + " of 1000 (" + std::to_string(percent) + "%)");
    }
    d.ShowState("Article Accepted.");
  };
  const std::string plain = printed(false, stream);
  std::size_t lines = 0;
  for (const char c : plain) {
    lines += c == '\n' ? 1 : 0;
  }
  EXPECT_EQ(lines, 11U + 1U + 1U);  // 1, 10, 20 ... 100 percent; the state; the estimate at the end
  EXPECT_NE(plain.find("Posted 500 of 1000 (50%)  0:01 / 0:09 - 1.00 Kb/Sec  Elapsed: 00:00:01 To Go: 00:00:09\n"),
            std::string::npos);
  EXPECT_EQ(plain.find('\r'), std::string::npos);

  const std::string terminal = printed(true, stream);
  EXPECT_NE(terminal.find("\r\033[KPosted 1000 of 1000 (100%)"), std::string::npos);
  EXPECT_NE(terminal.find("\r\033[KState: Article Accepted.\n"), std::string::npos);
}

}  // namespace
}  // namespace tidewell
