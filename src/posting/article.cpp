#include "posting/article.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>

#include "platform/text.h"
#include "posting/article_text.h"
#include "posting/post_count.h"
#include "posting/posting_display.h"
#include "settings/settings_store.h"
#include "upload/article_spool.h"
#include "upload/encoded_spool.h"
#include "upload/encoder.h"

namespace tidewell {
namespace {

constexpr std::string_view kCutLine = "--- CUT HERE --- Cut Here --- cut here --- ";
// The part terminator: it ends the line the part stops in, then the "." line.
constexpr std::string_view kArticleEnd = "\r\n.\r\n";

// Control characters in a file name would break the subject and the
// "begin" line; they become underscores there, as a decoder would name the
// file anyway.
std::string nameForTexts(std::string_view currentName) {
  return headerSafeText(currentName, '_');
}

// "Real Name.ext" yEnc: the name in quotes, a quote inside it written as
// an apostrophe, so a reader taking the text up to the next quote gets the
// whole name.
std::string yencSubjectName(std::string_view realName) {
  std::string name = nameForTexts(realName);
  std::replace(name.begin(), name.end(), '"', '\'');
  return "\"" + name + "\" yEnc";
}

std::string paddedCount(std::int64_t count) {
  std::string digits = std::to_string(count);
  if (digits.size() < 6) {
    digits.insert(0, 6 - digits.size(), '0');
  }
  return digits;
}

// Copies the part's encoded text into the spool, chunk by chunk. The
// encoded text already doubles the dot at the start of each of its lines
// and ends every line with CR LF; only a part that starts or ends inside a
// line (a text file cut at a part boundary) needs care, so that every line
// on the wire still ends with CR LF, every line beginning with a dot still
// carries the doubled dot, and no line of a lone "." ends the article early:
// - a part starting inside a line with a dot gets that dot doubled;
// - a part ending on the first dot of a doubled pair drops it (the second
//   dot opens the next part, which then doubles it);
// - a CR LF cut in two travels whole with the part that holds the CR.
bool copyPartText(const ArticlePart& part, EncodedSpool& encoded, ArticleSpool& article) {
  bool atEncodedLineStart = encoded.isAtLineStart();
  bool firstChunk = true;
  std::string chunk;
  while (!encoded.isPartComplete(part.partIndex, part.plan)) {
    if (!encoded.readPartChunk(chunk, part.chunkBytes, part.partIndex, part.plan)) {
      return false;
    }
    const bool lastByteStartsLine = chunk.size() >= 2 ? chunk[chunk.size() - 2] == '\n' : atEncodedLineStart;
    const bool nextStartsLine = chunk.back() == '\n';
    const bool lastChunk = encoded.isPartComplete(part.partIndex, part.plan);
    if (lastChunk && chunk.back() == '.' && lastByteStartsLine) {
      chunk.pop_back();
    } else if (lastChunk && chunk.back() == '\r' && encoded.peekByte() == '\n') {
      chunk += '\n';
    }
    if (firstChunk && !atEncodedLineStart && !chunk.empty()) {
      if (chunk.front() == '.') {
        chunk.insert(chunk.begin(), '.');
      } else if (chunk.front() == '\n') {
        chunk.erase(chunk.begin());
      }
    }
    if (!chunk.empty() && !article.appendToArticleSpool(chunk)) {
      return false;
    }
    atEncodedLineStart = nextStartsLine;
    firstChunk = false;
  }
  return true;
}

// The yEnc lines of a part go straight from the encoder into the spool (in
// memory, encoded in place at the article's end); they need no
// dot-stuffing, as no line of them begins with a dot.
bool copyYencText(YencArticle& yenc, ArticleSpool& article) {
  if (yenc.ready != nullptr) {
    yenc.result = yenc.ready->result;
    return article.adoptText(yenc.ready->text) || article.appendToArticleSpool(yenc.ready->text.view());
  }
  const YencSink sink = [&article](std::string_view text) { return article.appendToArticleSpool(text); };
  yenc.request.output = article.memory();
  const int status = yenc.encoder.encodePart(yenc.request, sink, yenc.result);
  yenc.request.output = nullptr;
  return status == kEncodeOk;
}

}  // namespace

std::string subjectValue(const SubjectFields& fields) {
  std::string subject = trimmed(headerSafeText(fields.prefix, ' '));
  const auto addPiece = [&subject](std::string_view piece) {
    if (!subject.empty()) {
      subject += " - ";
    }
    subject += piece;
  };
  if (!fields.description.empty()) {
    addPiece(headerSafeText(fields.description, ' '));
  }
  if (!fields.textFile || fields.showFilename) {
    addPiece(fields.yenc ? yencSubjectName(fields.name) : nameForTexts(fields.name));
    subject += " (";
    subject += std::to_string(fields.partIndex);
    subject += '/';
    subject += std::to_string(fields.partCount);
    subject += ')';
    if (fields.appendFileSize) {
      subject += ' ';
      subject += std::to_string(fields.sourceFileSize);
      subject += " bytes";
    }
  }
  return subject;
}

ArticleSettings readArticleSettings(const SettingsStore& settings) {
  ArticleSettings values;
  values.subject = settings.getSubject();
  values.from = settings.getFrom();
  values.organization = settings.getOrganization();
  values.replyTo = settings.getReplyTo();
  values.newsgroup = settings.getNewsgroup();
  values.bodyComment = settings.getBodyComment();
  values.showFilename = settings.isShowFilename();
  values.appendFileSize = settings.isAppendFileSize();
  values.showCount = settings.isShowCount();
  return values;
}

namespace {

// The part's number and the file's count of parts: the yEnc request's for
// a yEnc article.
std::pair<std::int32_t, std::int32_t> partNumbers(const ArticlePart& part) {
  if (part.yenc != nullptr) {
    return {part.yenc->request.part, part.yenc->request.plan.partCount};
  }
  return {part.partIndex, part.plan.partCount};
}

// The Subject header's value with its line end.
std::string subjectLineOf(const ArticlePart& part, const ArticleSettings& values, bool textFile) {
  const ArticleDisguise* const disguise = part.yenc != nullptr ? part.disguise : nullptr;
  if (disguise != nullptr) {
    return headerSafeText(disguise->subject, '_') + "\r\n";
  }
  SubjectFields fields;
  fields.prefix = values.subject;
  fields.description = part.currentDescription;
  // A yEnc file is named as a decoder writes it: its real name.
  fields.name = part.yenc != nullptr ? std::string_view(part.yenc->request.name) : std::string_view(part.currentName);
  fields.yenc = part.yenc != nullptr;
  fields.textFile = textFile;
  fields.showFilename = values.showFilename;
  fields.appendFileSize = values.appendFileSize;
  std::tie(fields.partIndex, fields.partCount) = partNumbers(part);
  fields.sourceFileSize = part.sourceFileSize;
  return subjectValue(fields) + "\r\n";
}

// Everything before the encoded text: the headers (the block grows as
// needed, so no setting, however long, can write past it) and, on a first
// part, the body comment and uuencode's opening lines. `shown` gets the
// headers the panel shows.
std::string articleOpening(const ArticlePart& part, const ArticleServices& services, const ArticleSettings& values,
                           const std::string& subjectLine, bool textFile, std::string& shown) {
  const ArticleDisguise* const disguise = part.yenc != nullptr ? part.disguise : nullptr;
  const std::string from = disguise != nullptr ? std::string(disguise->from) : values.from;
  std::string headers = "From: " + headerSafeText(from, ' ') + "\r\n";
  headers += "Subject: " + subjectLine;
  if (disguise == nullptr) {
    headers += "Organization: " + headerSafeText(values.organization, ' ') + "\r\n";
    headers += "Reply-To: " + headerSafeText(values.replyTo, ' ') + "\r\n";
  }
  headers += "Newsgroups: " + headerSafeText(values.newsgroup, ' ') + "\r\n";
  shown = headers;
  if (!part.messageId.empty()) {
    headers += "Message-ID: " + headerSafeText(part.messageId, '_') + "\r\n";
  }
  if (disguise == nullptr && values.showCount) {
    headers += "Post-Count: " +
               paddedCount(services.counter != nullptr ? services.counter->next() : nextPostCount(services.settings)) +
               "\r\n";
  }
  headers += "\r\n";
  if (partNumbers(part).first == 1 && disguise == nullptr) {
    headers += bodyWireLines(values.bodyComment);
    headers += "\r\n\r\n";
    if (!textFile && part.yenc == nullptr) {
      const std::string name = nameForTexts(part.currentName);
      headers += "BEGIN ";
      headers += kCutLine;
      headers += name + "\r\n\r\nbegin 644 " + name + "\r\n";
    }
  }
  return headers;
}

}  // namespace

bool ComposeArticle(const ArticlePart& part, const ArticleServices& services, std::string& subjectLine) {
  ArticleSettings read;
  if (services.fixed == nullptr) {
    read = readArticleSettings(services.settings);
  }
  const ArticleSettings& values = services.fixed != nullptr ? *services.fixed : read;
  // Without yEnc a text file is posted as text; with it, like any file.
  const bool textFile = part.yenc == nullptr && isTextFile(part.currentName);
  subjectLine = subjectLineOf(part, values, textFile);
  std::string shown;
  const std::string opening = articleOpening(part, services, values, subjectLine, textFile, shown);

  ArticleSpool& article = services.article;
  article.resetArticleSpool();
  article.setArticleSent(0);
  services.display.ShowOutboundInfo(shown);
  if (!article.appendToArticleSpool(opening)) {
    return false;
  }
  services.display.ShowState("Posting article... (Selecting)");
  if (part.yenc != nullptr) {
    // The =yend line ends with CR LF: only the "." line follows.
    return copyYencText(*part.yenc, article) && article.appendToArticleSpool(".\r\n");
  }
  if (!copyPartText(part, services.encoded, article)) {
    return false;
  }
  std::string ending;
  if (part.partIndex != part.plan.partCount || textFile) {
    ending = kArticleEnd;
  } else {
    ending = "end\r\nEND ";
    ending += kCutLine;
    ending += nameForTexts(part.currentName) + "\r\n\r\n.\r\n";
  }
  return article.appendToArticleSpool(ending);
}

}  // namespace tidewell
