// Parts already on the server: the record the session keeps of them
// (PostedParts), and how a file is taken up at its first part the server
// does not hold (docs/posting.md, "Parts already on the server").
#include "posting/session.h"
#include "upload/upload_list.h"

namespace tidewell {

void PostingSession::Impl::markPosted(const std::string& sourceName, std::int32_t part, std::string messageId) {
  posted_.markPosted(sourceName, part, std::move(messageId));
}

bool PostingSession::Impl::isPosted(const std::string& sourceName, std::int32_t part) const {
  return posted_.isPosted(sourceName, part);
}

bool PostingSession::Impl::skipPostedParts() {
  if (!posted_.hasAny(currentSourceName_)) {
    return false;
  }
  const std::int32_t next = posted_.nextUnposted(currentSourceName_, partIndex_, partCount_);
  if (next == partIndex_ + 1) {
    return false;
  }
  if (next > partCount_) {
    // Every part left is on the server: the file is done, without a line
    // of its own (its parts had theirs when they were accepted).
    partIndex_ = partCount_;
    services_.uploadList.removeHead();
    setState(services_.uploadList.isEmpty() ? SessionState::Finish : SessionState::NextPart);
    postStep();
    return true;
  }
  partIndex_ = next - 1;  // the parts done
  if (yencFile_) {
    // The part before was not composed here: the part finds the CRC of
    // the file before it itself (and the last part the whole file's).
    yencCrcThrough_.reset();
  } else {
    encoded_.setEncodedPosition(plan_.partEnd(partIndex_, encoded_.getEncodedTotal()));
  }
  return false;
}

}  // namespace tidewell
