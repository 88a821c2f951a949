#pragma once

// What Verify keeps during a run (session_verify.cpp): every article the
// server accepted, and where the check after the run stands.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "posting/accepted_article.h"
#include "posting/session_server.h"
#include "posting/verify_check.h"
#include "posting/verify_queue.h"

namespace tidewell {

// At most this many rounds of posting missing articles again.
inline constexpr int kVerifyRepostRounds = 2;

// An accepted article on Verify's list; its Message-ID changes when it is
// posted again.
struct VerifyArticle : AcceptedArticle {
  enum class Status : std::uint8_t {
    Accepted,      // accepted by the posting server, not checked yet
    Found,         // the verify server has it
    Missing,       // the verify server does not have it
    Reposting,     // listed to be posted again
    RepostFailed,  // could not be posted again
  };
  bool keepsListedName = false;
  Status status = Status::Accepted;
  bool attempted = false;  // listed to be posted again in this round
};

struct VerifyRun {
  enum class Phase : std::uint8_t {
    Off,        // not checking (Verify off, or the run is still posting)
    Checking,   // waiting for the delay, then asking on `link`
    Reposting,  // posting the missing articles again
    Done,       // the summary follows
  };
  bool on = false;  // Verify, read as the run starts
  Phase phase = Phase::Off;
  int round = 0;  // 0: the run's articles; 1, 2: the articles posted again
  std::vector<VerifyArticle> articles;
  std::vector<std::size_t> checks;  // indices into `articles` to ask for this round
  VerifyQueue questions;            // `checks` by Message-ID, and their answers
  // The articles being posted again, by source name and part.
  std::map<std::pair<std::string, std::int32_t>, std::size_t> reposting;
  ServerChoice server;
  std::string hostName;                // for the report
  std::unique_ptr<VerifyCheck> check;  // the round's questions, while they are asked
  std::int32_t savedOk = 0;
  std::int32_t savedFailed = 0;
  std::int32_t savedReconnects = 0;
};

}  // namespace tidewell
