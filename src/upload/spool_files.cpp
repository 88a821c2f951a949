#include "upload/spool_files.h"

#include <string>

#include "platform/file_system.h"

namespace tidewell {

void deleteSpoolFiles() {
  deleteFile(std::string(kEncodedFileName));
  deleteFile(std::string(kArticleFileName));
}

}  // namespace tidewell
