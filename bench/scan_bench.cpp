// Upload scan with FILES.BBS descriptions: creates N small files and a
// FILES.BBS of N lines (in reverse order, so every lookup goes to the far
// end) in a fresh folder, scans it once and prints
//   scan: <N> files, <N>-line FILES.BBS, <seconds> s, <warnings> warnings
//   scan_bench [N]     default 20000 (NOBBS=1: UseBBS off, the listing alone)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"
#include "upload/upload_list.h"
#include "upload/upload_scan.h"

namespace {

// Counts the messages the scan would show and takes their default answers.
class CountingPrompt final : public tidewell::UserPrompt {
 public:
  tidewell::PromptAnswer ask(std::string_view, std::string_view, tidewell::PromptButtons, tidewell::PromptIcon,
                             tidewell::PromptAnswer defaultAnswer) override {
    ++count;
    return defaultAnswer;
  }
  std::size_t count = 0;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace tidewell;
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 20000;
  std::string pattern = joinPath(temporaryFolder(), "tidewell-scan-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string root = pattern;
  const std::string folder = root + "/source";
  std::filesystem::create_directory(folder);
  std::string bbs;
  for (long i = count - 1; i >= 0; --i) {
    const std::string name = "file" + std::to_string(i) + ".zip";
    bbs += name + "  Description of " + name + "\r\n";
  }
  for (long i = 0; i < count; ++i) {
    const FileDescriptor file = createForWrite(folder + "/file" + std::to_string(i) + ".zip");
    if (!file.isOpen() || !writeAll(file.get(), "x")) {
      std::perror("write");
      return 1;
    }
  }
  {
    const FileDescriptor file = createForWrite(folder + "/FILES.BBS");
    if (!writeAll(file.get(), bbs)) {
      std::perror("write");
      return 1;
    }
  }
  SettingsStore settings(root + "/Tidewell.INI");
  settings.write("Directory", folder);
  settings.write("UseBBS", std::getenv("NOBBS") ? "FALSE" : "TRUE");
  CountingPrompt prompt;
  nodeManagerClass list;
  const auto start = std::chrono::steady_clock::now();
  const int result = buildUploadList(list, folder, settings, prompt);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("scan: %ld files, %ld-line FILES.BBS, %.3f s, %zu listed, result %d, %zu messages\n", count, count,
              took.count(), list.size(), result, prompt.count);
  std::filesystem::remove_all(root);
  return 0;
}
