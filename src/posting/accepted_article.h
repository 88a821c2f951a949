#pragma once

// An article the server accepted (its 240, or 223 to a STAT), as the
// journal, the record of parts on the server, Verify and the NZB take it.
// The one connection builds it from the article it has just posted. A run
// with several connections keeps one for each article it composes (its
// line, ParallelEntry), and Verify's list holds one for each article it
// asks for (VerifyArticle).
#include <cstddef>
#include <cstdint>
#include <string>

namespace tidewell {

struct AcceptedArticle {
  std::string sourceName;   // as listed
  std::string textName;     // as the texts show it
  std::string description;  // the file's description, as the subject carries it
  std::int32_t fileNumber = 0;
  std::int32_t part = 0;
  std::int32_t partCount = 0;
  std::int64_t bytes = 0;  // the article's size, as sent
  std::string messageId;   // empty with Message-IDs off
  bool inNzb = false;      // the file has its entry in the NZB
  std::size_t nzbFile = 0;
};

// An article that may be on the server without the run knowing: its data
// went out whole and its acknowledgement was lost, or a resumed run was cut
// short while it was in flight. It is asked for with STAT before it is
// posted again.
struct DoubtedArticle : AcceptedArticle {
  std::string subjectLine;  // for its report line, once found
  std::string reply;        // the server's 223, once found
};

}  // namespace tidewell
