#include "platform/profile.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/file_io.h"
#include "platform/text.h"

namespace tidewell {

namespace {

struct Line {
  std::string text;         // without its line end
  std::string_view ending;  // "\r\n", "\n" or "" (last line without one)
};

std::vector<Line> splitLines(const std::string& content) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t lf = content.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back(Line{content.substr(start), ""});
      break;
    }
    const bool crlf = lf > start && content[lf - 1] == '\r';
    const std::size_t end = crlf ? lf - 1 : lf;
    lines.push_back(Line{content.substr(start, end - start), crlf ? "\r\n" : "\n"});
    start = lf + 1;
  }
  return lines;
}

// "[name]" (blanks allowed around) gives the section's name.
bool sectionName(std::string_view line, std::string_view& name) {
  line = trimmedView(line);
  if (line.size() < 2 || line.front() != '[') {
    return false;
  }
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) {
    return false;
  }
  name = trimmedView(line.substr(1, close - 1));
  return true;
}

// "key = value": comment lines (';' or '#') and lines without '=' are not keys.
bool keyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::string_view trimmed = trimmedView(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') {
    return false;
  }
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    return false;
  }
  key = trimmedView(line.substr(0, eq));
  value = trimmedView(line.substr(eq + 1));
  // A value wrapped in matching quotes is read without them.
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return true;
}

// A line as the parser sees it: a UTF-8 byte order mark that an editor put
// at the start of the file is not part of the first line's text. It stays in
// the file.
std::string_view lineText(const std::vector<Line>& lines, std::size_t index) {
  std::string_view text = lines[index].text;
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (index == 0 && text.starts_with(kByteOrderMark)) {
    text.remove_prefix(kByteOrderMark.size());
  }
  return text;
}

struct Location {
  std::size_t sectionLine = SIZE_MAX;      // index of the header, SIZE_MAX when absent
  std::size_t keyLine = SIZE_MAX;          // index of the first matching key
  std::size_t lastContentLine = SIZE_MAX;  // last non-blank line of the section
};

Location locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location where;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view text = lineText(lines, i);
    std::string_view name;
    if (sectionName(text, name)) {
      if (inSection) {
        break;  // the first matching section is the one used
      }
      inSection = equalsIgnoringCase(name, section);
      if (inSection) {
        where.sectionLine = i;
        where.lastContentLine = i;
      }
      continue;
    }
    if (!inSection) {
      continue;
    }
    if (!trimmedView(text).empty()) {
      where.lastContentLine = i;
    }
    std::string_view k;
    std::string_view v;
    if (where.keyLine == SIZE_MAX && keyValue(text, k, v) && equalsIgnoringCase(k, key)) {
      where.keyLine = i;
    }
  }
  return where;
}

// The text written for a value. The reader trims blanks around a value and
// takes off one pair of matching quotes, so a value that begins or ends with
// a blank, or is itself wrapped in matching quotes, is written inside a pair
// of double quotes: it then reads back exactly as given.
std::string storedValue(std::string_view value) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  const bool blankEdge = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
  const bool quoted =
      value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  if (blankEdge || quoted) {
    std::string quotedValue(1, '"');
    quotedValue.append(value);
    quotedValue.push_back('"');
    return quotedValue;
  }
  return std::string(value);
}

// Writes go through a symbolic link to the file it names (the rename that
// replaces the file would otherwise replace the link).
std::string writeTarget(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    return path;
  }
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    return path;
  }
  return resolved;
}

}  // namespace

std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::size_t readLimit) {
  std::string content;
  std::string result(defaultValue);
  if (readWholeFile(path, content) == FileRead::Read) {
    const std::vector<Line> lines = splitLines(content);
    const Location where = locate(lines, section, key);
    std::string_view k;
    std::string_view v;
    if (where.keyLine != SIZE_MAX && keyValue(lineText(lines, where.keyLine), k, v)) {
      result.assign(v);
    }
  }
  if (result.size() > readLimit) {
    result.resize(readLimit);
  }
  return result;
}

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  // A value is one line: anything from a line break on would become lines of
  // its own in the file.
  value = value.substr(0, value.find_first_of("\r\n"));

  const std::string stored = storedValue(value);
  const std::string target = writeTarget(path);

  // A file that exists but cannot be read is left alone: writing the one key
  // into a fresh file would throw away every other setting in it.
  std::string content;
  const FileRead got = readWholeFile(target, content);
  if (got == FileRead::Failed) {
    return false;
  }
  const bool existed = got == FileRead::Read;
  std::vector<Line> lines = splitLines(content);
  const std::string_view newline = (!lines.empty() && lines.front().ending == "\r\n") ? "\r\n" : "\n";
  const Location where = locate(lines, section, key);

  if (where.keyLine != SIZE_MAX) {
    Line& line = lines[where.keyLine];
    const std::size_t eq = line.text.find('=');
    const std::string keyText(trimmedView(std::string_view(line.text).substr(0, eq)));
    line.text = keyText + "=" + stored;
  } else if (where.sectionLine != SIZE_MAX) {
    Line& after = lines[where.lastContentLine];
    if (after.ending.empty()) {
      after.ending = newline;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(where.lastContentLine) + 1,
                 Line{std::string(key) + "=" + stored, newline});
  } else {
    if (!lines.empty() && lines.back().ending.empty()) {
      lines.back().ending = newline;
    }
    lines.push_back(Line{"[" + std::string(section) + "]", newline});
    lines.push_back(Line{std::string(key) + "=" + stored, newline});
  }

  std::string out;
  for (const Line& line : lines) {
    out += line.text;
    out += line.ending;
  }

  // The new text replaces the file in one rename, so a failed write never
  // leaves a half-written configuration behind. A file the write creates is
  // the owner's alone; an existing one keeps its mode, less the umask.
  mode_t mode = kOwnerOnly;
  if (existed) {
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
      mode = st.st_mode & 07777;
    }
  }
  return replaceFile(target, out, mode);
}

}  // namespace tidewell
