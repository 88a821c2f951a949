#include "dialogs/settings_rules.h"

#include "settings/trim.h"

namespace tidewell {

std::string sampleSubject(std::string_view prefix, bool useBbs, bool appendFileSize) {
  std::string subject = trimmed(cutUtf8(prefix, kSamplePrefixLimit));
  if (useBbs) {
    if (!subject.empty()) {
      subject += " - ";
    }
    subject += "The BBS Description";
  }
  if (!subject.empty()) {
    subject += " - ";
  }
  subject += "SOMEFILE.ZIP - [1/1]";
  if (appendFileSize) {
    subject += " 123456 bytes";
  }
  return subject;
}

}  // namespace tidewell
