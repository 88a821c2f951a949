#pragma once

#include <string>
#include <vector>

namespace tidewell {

// Names of the regular files directly in `directory`, in the order the
// system lists them. Names beginning with "." are hidden and left out, as
// are directories, links to directories and anything else not a regular
// file. False when the directory cannot be read.
bool listRegularFiles(const std::string& directory, std::vector<std::string>& names);

// `directory` joined with `name` by exactly one "/".
[[nodiscard]] std::string joinPath(const std::string& directory, const std::string& name);

[[nodiscard]] bool fileExists(const std::string& path);
// Deleting a file that does not exist is silent.
void deleteFile(const std::string& path);

// mkdir -p: the missing folders of `path`, parents with mode 0755 and the
// last with `mode` (both under the umask). True when the folder exists then.
bool makeFolders(const std::string& path, unsigned int mode);

// The platform's temporary folder ($TMPDIR, else /tmp).
[[nodiscard]] std::string temporaryFolder();

}  // namespace tidewell
