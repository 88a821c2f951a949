#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "posting/article.h"
#include "upload/article_spool.h"
#include "upload/encoded_spool.h"

namespace tidewell::test {

// An article as a reader gets it from the server: header lines, and the
// body with the transmission's dot-stuffing taken off and the closing "."
// line removed.
struct ReceivedArticle {
  std::vector<std::string> headers;
  std::string body;

  [[nodiscard]] std::string header(std::string_view name) const {
    for (const std::string& line : headers) {
      if (line.starts_with(std::string(name) + ": ")) {
        return line.substr(name.size() + 2);
      }
    }
    return "<absent>";
  }
  // Headers, empty line, body: the article as a file a decoder can read.
  [[nodiscard]] std::string asFile() const {
    std::string text;
    for (const std::string& line : headers) {
      text += line + "\r\n";
    }
    return text + "\r\n" + body;
  }
};

// Takes an article apart the way an NNTP server does: lines end with CR LF,
// the first line holding a lone "." ends the article and must be its last,
// one leading dot is removed from every other line. Fails on an article the
// server would cut short or misread.
inline ::testing::AssertionResult receiveArticle(const std::string& wire, ReceivedArticle& article) {
  article = {};
  if (!wire.ends_with("\r\n.\r\n")) {
    return ::testing::AssertionFailure() << "article does not end with the \".\" line";
  }
  bool inHeaders = true;
  std::size_t at = 0;
  while (at < wire.size()) {
    const std::size_t end = wire.find("\r\n", at);
    std::string line = wire.substr(at, end - at);
    at = end + 2;
    if (line == ".") {
      if (at != wire.size()) {
        return ::testing::AssertionFailure()
               << "a \".\" line ends the article at byte " << at - 3 << " of " << wire.size();
      }
      break;
    }
    if (inHeaders) {
      if (line.empty()) {
        inHeaders = false;
      } else if (line.find_first_of("\r\n") != std::string::npos || line.find(": ") == std::string::npos) {
        return ::testing::AssertionFailure() << "malformed header line: " << line;
      } else {
        article.headers.push_back(line);
      }
      continue;
    }
    if (line.starts_with(".")) {
      line.erase(0, 1);
    }
    article.body += line + "\r\n";
  }
  return ::testing::AssertionSuccess();
}

// Composes every part of the file encoded in `encoded` and returns the
// articles as the server would store them.
inline ::testing::AssertionResult composeAllParts(const ArticleServices& services, std::string_view name,
                                                  std::string_view description, std::int64_t sourceSize,
                                                  const PartPlan& plan, std::vector<ReceivedArticle>& articles,
                                                  std::vector<std::string>* wires = nullptr) {
  articles.clear();
  services.encoded.setEncodedPosition(0);
  for (std::int32_t k = 1; k <= plan.partCount; ++k) {
    ArticlePart part;
    part.currentName = name;
    part.currentDescription = description;
    part.partIndex = k;
    part.plan = plan;
    part.sourceFileSize = sourceSize;
    std::string subjectLine;
    if (!ComposeArticle(part, services, subjectLine)) {
      return ::testing::AssertionFailure() << "part " << k << " not composed";
    }
    std::string wire;
    std::string chunk;
    while (services.article.readArticleChunk(chunk, 448)) {
      wire += chunk;
    }
    if (static_cast<std::int64_t>(wire.size()) != services.article.getArticleTotal()) {
      return ::testing::AssertionFailure() << "spool total differs from its content";
    }
    ReceivedArticle article;
    if (auto result = receiveArticle(wire, article); !result) {
      return result << " (part " << k << " of " << name << ")";
    }
    articles.push_back(std::move(article));
    if (wires != nullptr) {
      wires->push_back(std::move(wire));
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tidewell::test
