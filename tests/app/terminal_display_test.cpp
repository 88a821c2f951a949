#include "app/terminal_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/manual_clock.h"

namespace tidewell {
namespace {

struct Printed {
  std::string out;
  std::string err;
};

// Runs `script` on a display writing to memory streams and returns what it
// printed on each.
template <typename Script>
Printed printed(bool isTerminal, Script script) {
  char* outBuffer = nullptr;
  char* errBuffer = nullptr;
  std::size_t outSize = 0;
  std::size_t errSize = 0;
  FILE* out = open_memstream(&outBuffer, &outSize);
  FILE* err = open_memstream(&errBuffer, &errSize);
  ManualClock clock;
  {
    TerminalDisplay display(out, err, isTerminal, clock);
    script(display, clock);
  }
  std::fclose(out);
  std::fclose(err);
  Printed text{std::string(outBuffer, outSize), std::string(errBuffer, errSize)};
  std::free(outBuffer);
  std::free(errBuffer);
  return text;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

TEST(TerminalDisplay, OneLinePerFileFailedPartsAlwaysProblemsOnStandardError) {
  for (const bool terminal : {false, true}) {
    SCOPED_TRACE(terminal ? "terminal" : "file");
    const Printed text = printed(terminal, [](TerminalDisplay& d, ManualClock&) {
      d.ShowState("Idle.");
      d.ShowState("Idle.");  // unchanged: printed once
      for (int part = 1; part <= 3; ++part) {
        d.ShowState("Initiating article post...");
        d.ShowState("Posted 1000 of 1000 (100%)");
        d.ShowState("Article Accepted.");
        d.AddFileLine("001 a.bin ... ");
        d.AppendToFileLine("Ok. (" + std::to_string(part) + "/3 - 0:01 - 1.50 Kb/Sec)");
      }
      d.AddFileLine("002 b.bin ... ");
      d.AppendToFileLine("Failed. ");
      d.AppendToFileLine("441 435 Duplicate\r\n");
      d.AddFileLine("002 b.bin ... ");
      d.AppendToFileLine("Ok. (2/2 - already on the server: 223 0 <x>)");
      d.AddFileLine("003 c.bin ... ");
      d.AddFileLine("Error Experienced.  Attempting Reconnection.");
      d.showProblem("Error writing data.\r\rCommunication terminated.");
      d.ShowState("Finished.");
    });
    EXPECT_EQ(text.out,
              "State: Idle.\n"
              "001 a.bin ... Ok. (3/3)\n"
              "002 b.bin ... Failed. 441 435 Duplicate\n"
              "002 b.bin ... Ok. (2/2 - already on the server: 223 0 <x>)\n"
              "003 c.bin ... \n"
              "Error Experienced.  Attempting Reconnection.\n"
              "State: Finished.\n");
    EXPECT_EQ(text.err, "! Error writing data.\n! Communication terminated.\n");
    EXPECT_EQ(text.out.find("Kb/Sec"), std::string::npos) << "the part's whole-second rate is left out";
  }
}

// 53 MB posted in two minutes, the session's figures every second: into a
// file a progress line every ten seconds; on a terminal one bar redrawn in
// place and taken away at the end.
TEST(TerminalDisplay, ProgressLineEveryTenSecondsIntoAFileOneBarOnATerminal) {
  const auto run = [](TerminalDisplay& d, ManualClock& clock) {
    RunProgress progress{10, 0, 0, 0, 0, 53'000'000, false};
    for (int second = 0; second <= 120; ++second) {
      progress.bytesPosted = second * 441'666LL;
      progress.filesDone = progress.filesPosted = second / 12;
      d.showRunProgress(progress);
      clock.advanceMs(1000);
    }
    progress.ended = true;
    d.showRunProgress(progress);
    d.AddFileLine("010 j.bin ... ");
    d.AppendToFileLine("Ok. (1/1 - 0:01 - 1.50 Kb/Sec)");
  };
  const Printed file = printed(false, run);
  EXPECT_EQ(count(file.out, "Progress: "), 12U) << file.out;
  EXPECT_NE(file.out.find("Progress: 0/10 files  4.4 MB of 53.0 MB  441.7 kB/s  1:50 to go\n"), std::string::npos)
      << file.out;
  EXPECT_EQ(file.out.find('\r'), std::string::npos);

  const Printed terminal = printed(true, run);
  EXPECT_EQ(count(terminal.out, "Progress: "), 0U);
  EXPECT_EQ(count(terminal.out, "\r\033[K["), 121U) << "a redraw a second, none once the run has ended";
  EXPECT_NE(terminal.out.find("\r\033[K[======>     ]  50%  5/10 files  26.9 MB of 53.0 MB  441.7 kB/s  "
                              "0:59 to go"),
            std::string::npos)
      << terminal.out.substr(terminal.out.find("[======>"), 90);
  EXPECT_TRUE(terminal.out.ends_with("\r\033[K010 j.bin ... Ok. (1/1)  438.0 kB/s\n")) << terminal.out;
}

TEST(RunProgressText, RateOnceASecondHasPassedAndCountsCarriedOverAReconnection) {
  RunProgressText run;
  run.update(RunProgress{4, 1, 1, 0, 400'000, 1'000'000, false}, 5000);
  EXPECT_EQ(run.figures(), "1/4 files  400.0 kB of 1.0 MB  --  --:-- to go") << "no rate within the first second";
  run.update(RunProgress{4, 4, 4, 0, 1'000'000, 1'000'000, false}, 5400);
  EXPECT_EQ(run.figures(), "4/4 files  1.0 MB of 1.0 MB  --  --:-- to go");
  run.update(RunProgress{4, 4, 4, 0, 1'000'000, 1'000'000, false}, 6000);
  EXPECT_EQ(run.figures(), "4/4 files  1.0 MB of 1.0 MB  1.0 MB/s  0:00 to go") << "everything in under a second";

  RunProgressText broken;
  broken.update(RunProgress{3, 1, 1, 0, 600, 3000, false}, 0);
  broken.update(RunProgress{3, 1, 1, 1, 100, 2000, false}, 2000);  // reconnected: counted afresh
  EXPECT_EQ(broken.figures(), "1/3 files  700 B of 2.6 kB  350 B/s  0:05 to go");
  EXPECT_EQ(broken.bar().substr(0, 20), "[===>        ]  26% ");
  broken.update(RunProgress{3, 3, 2, 1, 2000, 2000, true}, 9000);
  EXPECT_EQ(broken.summary("/home/me/Report04.TXT"),
            "posted 2 of 3 files, 1 articles failed, report: /home/me/Report04.TXT");
  EXPECT_EQ(RunProgressText().summary(""), "posted 0 of 0 files, 0 articles failed, report: none");
}

TEST(RunProgressText, ByteAndDurationTexts) {
  const struct {
    std::int64_t bytes;
    const char* text;
  } sizes[] = {{0, "0 B"}, {999, "999 B"}, {1000, "1.0 kB"}, {53'123'456, "53.1 MB"}, {2'150'000'000, "2.15 GB"}};
  for (const auto& c : sizes) {
    EXPECT_EQ(byteText(c.bytes), c.text);
  }
  EXPECT_EQ(durationText(0), "0:00");
  EXPECT_EQ(durationText(3599), "59:59");
  EXPECT_EQ(durationText(3600 * 26 + 61), "26:01:01");
}

}  // namespace
}  // namespace tidewell
