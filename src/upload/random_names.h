#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace tidewell {

// `length` characters of [a-z2-7], 5 random bits each, from the system's
// random source (getrandom); none when it fails.
[[nodiscard]] std::optional<std::string> randomToken(std::size_t length);

// The names an obfuscated run shows the server in place of the real ones:
// a From address made for the run, a Message-ID domain, a Subject for every
// article and a yEnc name for every file. Nothing in them comes from the
// files, the settings, the user or the machine.
class RunDisguise {
 public:
  // None when the random source fails.
  [[nodiscard]] static std::optional<RunDisguise> make();

  [[nodiscard]] const std::string& from() const { return from_; }
  [[nodiscard]] const std::string& messageIdDomain() const { return messageIdDomain_; }
  // A Subject no article of the run had before; none when the random source fails.
  [[nodiscard]] std::optional<std::string> nextSubject();
  // The name that stands for `sourceName` in this run: the same one for
  // every part of a file, another one for every file.
  [[nodiscard]] std::optional<std::string> nameFor(const std::string& sourceName);

  // A resumed run goes on under the disguise of the run it resumes, so the
  // later parts of a file show the same name and poster as the earlier
  // ones: its From and Message-ID domain, and a file's name.
  void adopt(std::string from, std::string messageIdDomain);
  void keepName(const std::string& sourceName, const std::string& name);

 private:
  RunDisguise() = default;
  [[nodiscard]] std::optional<std::string> unused(std::size_t length);

  std::string from_;
  std::string messageIdDomain_;
  std::set<std::string> used_;
  std::map<std::string, std::string> names_;
};

}  // namespace tidewell
