#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "upload/part_plan.h"
#include "upload/yenc.h"
#include "upload/yenc_prefetch.h"

namespace tidewell {

class ArticleSpool;
class EncodedSpool;
class PostCounter;
class PostingDisplay;
class SettingsStore;

// A part of a binary posted yEnc-encoded: the encoder reads the part
// straight from the source file into the article (no encoded spool), and
// leaves what it found out (the CRCs) in `result`.
struct YencArticle {
  YencEncoder& encoder;
  YencPartRequest request;
  YencPartResult result;
  // The part's text already encoded off the loop, when it was: its buffer
  // becomes the article's (the headers go into the room kept in front of
  // it), or it is copied in when that room is too small; its result is
  // taken over. Afterwards it holds the storage to give back for reuse.
  YencPrefetch::Encoded* ready = nullptr;
};

// What an obfuscated article shows in place of the real texts: its Subject
// value and the From of the run. The yEnc name stands in the request.
struct ArticleDisguise {
  std::string_view subject;
  std::string_view from;
};

// One part of the current file, as the posting session knows it.
struct ArticlePart {
  std::string_view currentName;         // the file name for the texts (nodeClass::textName)
  std::string_view currentDescription;  // trimmed description, possibly empty
  std::int32_t partIndex = 1;           // counts from 1
  PartPlan plan;
  std::int64_t sourceFileSize = 0;  // size of the source file (not of the part)
  // Set for a binary posted with yEnc: its request's plan and part number
  // stand for `plan` and `partIndex`.
  YencArticle* yenc = nullptr;
  // "<...>": written as the Message-ID header; empty: the server names it.
  std::string_view messageId;
  // The encoded text is copied into the article through a window of this
  // size, however large the part.
  std::size_t chunkBytes = 512;
  // Set for an obfuscated yEnc article: its headers are From (the
  // disguise's), Subject (the disguise's), Newsgroups and Message-ID, and
  // the body is the yEnc text alone.
  const ArticleDisguise* disguise = nullptr;
};

// The settings an article's texts are made of, read together. Fast
// posting reads them once per file; otherwise each article reads them from
// the configuration file as it is composed.
struct ArticleSettings {
  std::string subject;
  std::string from;
  std::string organization;
  std::string replyTo;
  std::string newsgroup;
  std::string bodyComment;
  bool showFilename = true;
  bool appendFileSize = true;
  bool showCount = false;
};
[[nodiscard]] ArticleSettings readArticleSettings(const SettingsStore& settings);

// What the composition reads from and writes to. `display` receives the
// header block (ShowOutboundInfo) and "Posting article... (Selecting)"
// (ShowState); the session may hand in a decorator that also logs.
struct ArticleServices {
  SettingsStore& settings;
  EncodedSpool& encoded;
  ArticleSpool& article;
  PostingDisplay& display;
  // Hands out the Post-Count values; without one, each goes to the
  // configuration file at once.
  PostCounter* counter = nullptr;
  // Read before, when set: the composition then reads no setting itself.
  const ArticleSettings* fixed = nullptr;
};

// The Subject value: the trimmed Subject setting, " - " and the
// description when there is one, then (for a binary, or a text file when
// ShowFilename is on) " - ", the name, " (k/N)" and, with AppendFileSize,
// " <size> bytes". Joins use " - " only between non-empty pieces. Control
// characters never reach it (see headerSafeText). A yEnc file's name is
// written as the yEnc convention has it, "Real Name.ext" yEnc (k/N): in
// quotes, in its own letter case, any '"' in it written as '\'' so the
// closing quote stays the only one after the opening one.
struct SubjectFields {
  std::string_view prefix;
  std::string_view description;
  std::string_view name;
  bool textFile = false;
  bool yenc = false;  // `name` is the real name of a yEnc-encoded file
  bool showFilename = true;
  bool appendFileSize = true;
  std::int32_t partIndex = 1;
  std::int32_t partCount = 1;
  std::int64_t sourceFileSize = 0;
};
[[nodiscard]] std::string subjectValue(const SubjectFields& fields);

// Composes the complete article of one part into the article spool (reset
// first): headers From, Subject, Organization, Reply-To, Newsgroups,
// Message-ID when one is given and, with ShowCount, Post-Count (the
// persistent count is increased first); the first part's body comment and,
// for a uuencoded binary, the cut line and "begin 644 <name>"; the part's
// encoded text (for yEnc, its =ybegin to =yend lines); the terminating lines.
// A disguised part leaves out Organization, Reply-To, Post-Count and the
// body comment.
// Every line the composition writes is dot-stuffed where it begins with a
// dot. `subjectLine` receives the Subject value followed by CR LF.
// False when the encoded part cannot be read or the spool cannot be written:
// the spool then holds a partial article that must not be sent.
[[nodiscard]] bool ComposeArticle(const ArticlePart& part, const ArticleServices& services, std::string& subjectLine);

}  // namespace tidewell
