#pragma once

// The questions Verify puts to the verify server and what each answer
// means: "STAT <id>" for every article of a round, or "HEAD <id>" once the
// server has refused the run's first STAT. Up to kVerifyWindow questions go
// out together and their answers are read in order, so a distant server is
// not asked one round trip at a time; the run's very first question goes
// alone, as its answer says whether the server takes STAT. The queue only
// writes questions and reads reply lines: the connection, the texts and
// what follows a finding stay with its owner.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

// Questions (STAT or HEAD) sent before their answers are read.
inline constexpr std::size_t kVerifyWindow = 8;

class VerifyQueue {
 public:
  // What one reply line said about the question `index` (its place in the
  // round's list).
  struct Answer {
    enum class Kind : std::uint8_t {
      Found,        // the server holds it (after HEAD: its header block has ended)
      Missing,      // it does not (430)
      HeadFollows,  // found (221); its header lines follow, up to "."
      HeadLine,     // a line of that block: read on
      StatRefused,  // the first STAT was refused: the same question goes again as HEAD
      Unexpected,   // any other answer: the server cannot be asked
    };
    Kind kind;
    std::size_t index;
  };

  // A new round: the Message-IDs to ask for, in order. Whether the server
  // takes STAT is kept from round to round.
  void startRound(std::vector<std::string> messageIds);
  // Every question of the round was answered.
  [[nodiscard]] bool roundOver() const { return next_ >= ids_.size(); }
  // Answers to questions already sent are still due.
  [[nodiscard]] bool awaiting() const { return next_ < sent_; }
  // The question whose answer comes next, and the round's size.
  [[nodiscard]] std::size_t asking() const { return next_; }
  [[nodiscard]] std::size_t size() const { return ids_.size(); }
  [[nodiscard]] const std::string& messageId(std::size_t index) const { return ids_[index]; }
  // The next questions, CR LF ended, marked as sent: empty when the round
  // is over or answers are still due.
  std::string nextQuestions();
  // One reply line (with its line end) and its code.
  Answer take(long code, std::string_view line);

 private:
  std::vector<std::string> ids_;
  std::size_t next_ = 0;  // the question whose answer is awaited
  std::size_t sent_ = 0;  // questions sent so far
  bool useHead_ = false;
  bool inHead_ = false;       // reading a 221's header block
  bool answeredAny_ = false;  // an answer of the run was read
};

}  // namespace tidewell
