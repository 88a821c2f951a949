// The queue of Verify's questions: what goes out together, and what each
// reply line means for which question.
#include "posting/verify_queue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace tidewell::test {
namespace {

// "?" asks for the next questions, written back as "S0 S1" (STAT or HEAD
// and the question's number, "" for none); any other input is a reply line,
// answered as "Found 0", "Missing 1", ...
struct Step {
  std::string input;
  std::string expected;
};

struct QueueCase {
  const char* name;
  std::size_t count;  // questions of the first round
  std::vector<Step> steps;
};

void PrintTo(const QueueCase& c, std::ostream* out) {
  *out << c.name;
}

std::string shortForm(const std::string& questions) {
  std::string text;
  for (std::size_t at = 0; at < questions.size(); at = questions.find('\n', at) + 1) {
    const std::size_t id = questions.find("<m", at) + 2;
    if (!text.empty()) {
      text += ' ';
    }
    text += questions[at];
    text.append(questions, id, questions.find('@', id) - id);
  }
  return text;
}

const char* kindName(VerifyQueue::Answer::Kind kind) {
  using Kind = VerifyQueue::Answer::Kind;
  switch (kind) {
    case Kind::Found:
      return "Found";
    case Kind::Missing:
      return "Missing";
    case Kind::HeadFollows:
      return "HeadFollows";
    case Kind::HeadLine:
      return "HeadLine";
    case Kind::StatRefused:
      return "StatRefused";
    case Kind::Unexpected:
      return "Unexpected";
  }
  return "?";
}

std::vector<std::string> ids(std::size_t count) {
  std::vector<std::string> list;
  for (std::size_t i = 0; i < count; ++i) {
    list.push_back("<m" + std::to_string(i) + "@x>");
  }
  return list;
}

class Questions : public ::testing::TestWithParam<QueueCase> {};

TEST_P(Questions, GoOutAndAreAnsweredInOrder) {
  VerifyQueue queue;
  queue.startRound(ids(GetParam().count));
  for (const Step& step : GetParam().steps) {
    if (step.input == "?") {
      EXPECT_EQ(shortForm(queue.nextQuestions()), step.expected);
    } else if (step.input.starts_with("round ")) {
      queue.startRound(ids(std::stoul(step.input.substr(6))));
    } else {
      const VerifyQueue::Answer answer = queue.take(std::strtol(step.input.c_str(), nullptr, 10), step.input + "\r\n");
      EXPECT_EQ(std::string(kindName(answer.kind)) + " " + std::to_string(answer.index), step.expected) << step.input;
    }
  }
  EXPECT_TRUE(queue.roundOver());
}

INSTANTIATE_TEST_SUITE_P(
    Verify, Questions,
    ::testing::Values(
        // The first question goes alone, then eight at a time.
        QueueCase{"Window",
                  10,
                  {{"?", "S0"},
                   {"?", ""},  // its answer is due first
                   {"223 0 <m0@x>", "Found 0"},
                   {"?", "S1 S2 S3 S4 S5 S6 S7 S8"},
                   {"430 no", "Missing 1"},
                   {"?", ""},
                   {"223", "Found 2"},
                   {"223", "Found 3"},
                   {"223", "Found 4"},
                   {"223", "Found 5"},
                   {"223", "Found 6"},
                   {"223", "Found 7"},
                   {"430", "Missing 8"},
                   {"?", "S9"},
                   {"223", "Found 9"},
                   {"?", ""}}},
        // A refused first STAT asks the same again with HEAD, for good: the
        // header block ends at ".", a 223 is no answer to HEAD.
        QueueCase{"HeadAfterRefusal",
                  3,
                  {{"?", "S0"},
                   {"500 What?", "StatRefused 0"},
                   {"?", "H0 H1 H2"},
                   {"221 0 <m0@x>", "HeadFollows 0"},
                   {"Subject: x", "HeadLine 0"},
                   {"..leading dot", "HeadLine 0"},
                   {".", "Found 0"},
                   {"430", "Missing 1"},
                   {"221", "HeadFollows 2"},
                   {".", "Found 2"},
                   {"round 2", ""},
                   {"?", "H0 H1"},
                   {"223", "Unexpected 0"},
                   {"221", "HeadFollows 0"},
                   {".", "Found 0"},
                   {"430", "Missing 1"}}},
        // Only the run's first answer may refuse STAT; later a refusal, or
        // anything else, means the server cannot be asked.
        QueueCase{"LateRefusal",
                  2,
                  {{"?", "S0"}, {"223", "Found 0"}, {"?", "S1"}, {"500 What?", "Unexpected 1"}, {"430", "Missing 1"}}},
        QueueCase{"NextRoundKeepsStat",
                  1,
                  {{"?", "S0"},
                   {"430", "Missing 0"},
                   {"round 2", ""},
                   {"?", "S0 S1"},
                   {"503 fault", "Unexpected 0"},
                   {"223", "Found 0"},
                   {"223", "Found 1"}}}),
    [](const ::testing::TestParamInfo<QueueCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tidewell::test
