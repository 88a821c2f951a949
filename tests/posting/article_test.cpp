#include "posting/article.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/text.h"
#include "platform/user_prompt.h"
#include "posting/article_wire.h"
#include "posting/post_count.h"
#include "settings/settings_store.h"
#include "support/failing_disk.h"
#include "support/manual_clock.h"
#include "support/recording_display.h"
#include "support/scripted_prompt.h"
#include "support/temp_dir.h"
#include "upload/article_spool.h"
#include "upload/encoded_spool.h"
#include "upload/encoder.h"
#include "upload/random_names.h"
#include "upload/upload_list.h"
#include "upload/upload_scan.h"

namespace tidewell {
namespace {

class ArticleTest : public ::testing::Test {
 protected:
  ArticleTest()
      : settings(work.file("Tidewell.INI")), encoded(work.file("TIDEWELL.ENC")), article(work.file("TIDEWELL.ART")) {
    std::filesystem::create_directory(source());
    settings.write("Directory", source());
    settings.write("From", "poster@example.com");
    settings.write("Newsgroup", "alt.test,alt.binaries.test");
  }

  [[nodiscard]] std::string source() const { return work.file("files"); }
  [[nodiscard]] ArticleServices services() { return {settings, encoded, article, display}; }

  // Writes and encodes a source file; returns its plan for `partSize`.
  PartPlan prepare(const std::string& name, const std::string& content, std::int32_t partSize = 0) {
    test::writeFile(source() + "/" + name, content);
    EXPECT_EQ(encodeFile(source(), name, encoded.path()), kEncodeOk);
    encoded.setEncodedTotal(fileSizeOf(encoded.path()));
    encoded.setEncodedPosition(0);
    return planParts(encoded.getEncodedTotal(), partSize);
  }

  bool compose(std::string_view name, std::string_view description, std::int32_t k, const PartPlan& plan,
               std::int64_t size) {
    ArticlePart part;
    part.currentName = name;
    part.currentDescription = description;
    part.partIndex = k;
    part.plan = plan;
    part.sourceFileSize = size;
    return ComposeArticle(part, services(), subjectLine);
  }
  [[nodiscard]] std::string spool() const { return test::readFile(article.path()); }

  test::TempDir work;
  SettingsStore settings;
  EncodedSpool encoded;
  ArticleSpool article;
  test::RecordingDisplay display;
  std::string subjectLine;
};

TEST(SubjectValue, FollowsTheDocumentedExamples) {
  SubjectFields fields;
  fields.prefix = "Pictures";
  fields.description = "Harbour at dusk";
  fields.name = "harbour.jpg";
  fields.partIndex = 2;
  fields.partCount = 3;
  fields.sourceFileSize = 123456;
  EXPECT_EQ(subjectValue(fields), "Pictures - Harbour at dusk - harbour.jpg (2/3) 123456 bytes");

  fields.prefix = " \t";
  fields.description = "";
  fields.partIndex = 1;
  fields.partCount = 1;
  fields.appendFileSize = false;
  EXPECT_EQ(subjectValue(fields), "harbour.jpg (1/1)");

  fields.prefix = "Notes";
  fields.name = "readme.txt";
  fields.textFile = true;
  fields.showFilename = false;
  fields.appendFileSize = true;
  EXPECT_EQ(subjectValue(fields), "Notes");
  fields.showFilename = true;
  EXPECT_EQ(subjectValue(fields), "Notes - readme.txt (1/1) 123456 bytes");
}

// A yEnc file is named as the yEnc convention has it, "Name" yEnc (k/N), in
// its real letter case; a quote inside the name becomes an apostrophe,
// control characters underscores.
TEST(SubjectValue, YencFilesAreNamedInQuotesInTheirOwnCase) {
  struct Case {
    std::string_view prefix;
    std::string_view description;
    std::string_view name;
    bool appendFileSize;
    std::string_view subject;
  };
  const Case cases[] = {
      {"Pictures", "", "Harbour At Dusk.JPG", true, "Pictures - \"Harbour At Dusk.JPG\" yEnc (2/3) 123456 bytes"},
      {"Pictures", "Evening", "Harbour At Dusk.JPG", false, "Pictures - Evening - \"Harbour At Dusk.JPG\" yEnc (2/3)"},
      {"", "", "Art \"plan\".bin", false, "\"Art 'plan'.bin\" yEnc (2/3)"},
      {"", "",
       "\xC3\x9C"
       "ber M\xC3\xBC"
       "nchen.zip",
       true,
       "\"\xC3\x9C"
       "ber M\xC3\xBC"
       "nchen.zip\" yEnc (2/3) 123456 bytes"},
      {"  ", "", "readme.txt", true, "\"readme.txt\" yEnc (2/3) 123456 bytes"},
      {"A", "", "bad\r\nname.bin", false, "A - \"bad__name.bin\" yEnc (2/3)"},
  };
  for (const Case& c : cases) {
    SubjectFields fields;
    fields.prefix = c.prefix;
    fields.description = c.description;
    fields.name = c.name;
    fields.yenc = true;
    fields.appendFileSize = c.appendFileSize;
    fields.partIndex = 2;
    fields.partCount = 3;
    fields.sourceFileSize = 123456;
    EXPECT_EQ(subjectValue(fields), c.subject) << c.name;
  }
}

TEST_F(ArticleTest, OnePartBinaryIsComposedExactly) {
  settings.write("Subject", "  Pictures ");
  settings.write("BodyComment", "Enjoy");
  const PartPlan plan = prepare("Harbour.JPG", "A");
  ASSERT_TRUE(compose("harbour.jpg", "Harbour at dusk", 1, plan, 1));
  const std::string headers =
      "From: poster@example.com\r\n"
      "Subject: Pictures - Harbour at dusk - harbour.jpg (1/1) 1 bytes\r\n"
      "Organization: The Usenet Upload Circle\r\n"
      "Reply-To: \r\n"
      "Newsgroups: alt.test,alt.binaries.test\r\n";
  EXPECT_EQ(spool(), headers +
                         "Post-Count: 000001\r\n"
                         "\r\n"
                         "Enjoy\r\n"
                         "\r\n"
                         "BEGIN --- CUT HERE --- Cut Here --- cut here --- harbour.jpg\r\n"
                         "\r\n"
                         "begin 644 harbour.jpg\r\n"
                         "!00``\r\n"
                         "`\r\n"
                         "end\r\n"
                         "END --- CUT HERE --- Cut Here --- cut here --- harbour.jpg\r\n"
                         "\r\n"
                         ".\r\n");
  EXPECT_EQ(article.getArticleTotal(), static_cast<std::int64_t>(spool().size()));
  EXPECT_EQ(article.getArticleSent(), 0);
  EXPECT_EQ(subjectLine, "Pictures - Harbour at dusk - harbour.jpg (1/1) 1 bytes\r\n");
  EXPECT_EQ(display.outboundTexts, std::vector<std::string>{headers});
  EXPECT_EQ(display.states, std::vector<std::string>{"Posting article... (Selecting)"});
}

TEST_F(ArticleTest, PostCountPersistsAndOnlyGrowsWhenShown) {
  const PartPlan plan = prepare("a.bin", "A");
  ASSERT_TRUE(compose("a.bin", "", 1, plan, 1));
  ASSERT_TRUE(compose("a.bin", "", 1, plan, 1));
  EXPECT_NE(spool().find("\r\nPost-Count: 000002\r\n\r\n"), std::string::npos);
  EXPECT_EQ(settings.read("PostCount", "", 100), "2");

  settings.write("ShowCount", "FALSE");
  ASSERT_TRUE(compose("a.bin", "", 1, plan, 1));
  EXPECT_EQ(spool().find("Post-Count"), std::string::npos);
  EXPECT_NE(spool().find("Newsgroups: alt.test,alt.binaries.test\r\n\r\n"), std::string::npos);
  EXPECT_EQ(settings.read("PostCount", "", 100), "2");

  settings.write("PostCount", "garbage");
  EXPECT_EQ(nextPostCount(settings), 1);
  settings.write("PostCount", "999999");
  EXPECT_EQ(nextPostCount(settings), 1000000);
}

// Batched (fast posting), the counts run on from the stored one and reach
// the file once a second of the clock, on flush and when the counter goes;
// written through, every count is in the file at once.
TEST_F(ArticleTest, PostCounterWritesOnceASecondWhenBatched) {
  struct Step {
    std::int64_t advanceMs;
    std::int64_t count;   // the count handed out
    const char* written;  // the stored count after it
  };
  ManualClock clock;
  settings.write("PostCount", "41");
  {
    PostCounter counter(settings, clock);
    EXPECT_EQ(counter.next(), 42);
    EXPECT_EQ(settings.read("PostCount", "", 100), "42") << "written through";
    counter.batch(true);
    for (const Step& step : {Step{0, 43, "42"}, Step{400, 44, "42"}, Step{599, 45, "42"}, Step{1, 46, "46"},
                             Step{10, 47, "46"}, Step{989, 48, "46"}, Step{1, 49, "49"}}) {
      clock.advanceMs(step.advanceMs);
      EXPECT_EQ(counter.next(), step.count);
      EXPECT_EQ(settings.read("PostCount", "", 100), step.written) << step.count;
    }
    EXPECT_EQ(counter.next(), 50);
    counter.batch(true);  // a new run
    EXPECT_EQ(settings.read("PostCount", "", 100), "50");
    EXPECT_EQ(counter.next(), 51);
  }
  EXPECT_EQ(settings.read("PostCount", "", 100), "51") << "the last count is not lost when the counter goes";
}

TEST_F(ArticleTest, ThreePartBinaryCarriesBeginAndEndOnlyOnceEach) {
  settings.write("BodyComment", "Comment");
  settings.write("Subject", "");
  std::string content;
  for (int i = 0; i < 300; ++i) {
    content += static_cast<char>(i * 7);
  }
  const PartPlan plan = prepare("three.bin", content, 130);
  ASSERT_EQ(plan.partCount, 3);
  ASSERT_EQ(plan.partLength, 126);
  std::vector<test::ReceivedArticle> parts;
  std::vector<std::string> wires;
  ASSERT_TRUE(test::composeAllParts(services(), "three.bin", "", 300, plan, parts, &wires));
  const std::string encodedText = test::readFile(encoded.path());

  EXPECT_EQ(parts[0].header("Subject"), "three.bin (1/3) 300 bytes");
  EXPECT_EQ(parts[1].header("Subject"), "three.bin (2/3) 300 bytes");
  EXPECT_EQ(parts[2].header("Subject"), "three.bin (3/3) 300 bytes");
  EXPECT_TRUE(wires[0].ends_with("\r\n\r\nbegin 644 three.bin\r\n" + encodedText.substr(0, 126) + "\r\n.\r\n"));
  EXPECT_TRUE(wires[0].find("Comment\r\n\r\nBEGIN --- CUT HERE") != std::string::npos);
  EXPECT_TRUE(wires[1].ends_with("\r\n\r\n" + encodedText.substr(126, 126) + "\r\n.\r\n"));
  EXPECT_EQ(wires[1].find("Comment"), std::string::npos);
  EXPECT_EQ(wires[1].find("begin"), std::string::npos);
  EXPECT_TRUE(wires[2].ends_with("\r\n\r\n" + encodedText.substr(252) +
                                 "end\r\nEND --- CUT HERE --- Cut Here --- cut here --- three.bin\r\n\r\n.\r\n"));
}

TEST_F(ArticleTest, TextFileTravelsAsItIs) {
  settings.write("Subject", "Notes");
  settings.write("ShowFilename", "FALSE");
  const PartPlan plan = prepare("ReadMe.TXT", "line one\n.dotted\nlast");
  ASSERT_TRUE(compose("readme.txt", "", 1, plan, 23));
  EXPECT_EQ(subjectLine, "Notes\r\n");
  const std::string text = spool();
  EXPECT_TRUE(text.ends_with("\r\n\r\n\r\nline one\r\n..dotted\r\nlast\r\n.\r\n")) << text;
  EXPECT_EQ(text.find("CUT HERE"), std::string::npos);
  EXPECT_EQ(text.find("begin"), std::string::npos);
  test::ReceivedArticle received;
  ASSERT_TRUE(test::receiveArticle(text, received));
  EXPECT_EQ(received.body, "\r\n\r\nline one\r\n.dotted\r\nlast\r\n");
}

TEST_F(ArticleTest, TextFileCutInsideLinesNeverEndsAnArticleEarly) {
  // Part boundaries fall every 63 bytes of the copied text, wherever that
  // is in a line. Move the dotted lines across a boundary byte by byte: each
  // article must stay whole, and the parts as received must join up to the
  // text exactly (each part's terminator adds one line end).
  for (std::size_t lead = 50; lead <= 66; ++lead) {
    const std::string content = std::string(lead, 'x') + "\n.\n..\n.a\n...b\n" + std::string(60, 'y') + "\n.";
    const PartPlan plan = prepare("cut.txt", content, 63);
    std::vector<test::ReceivedArticle> parts;
    ASSERT_TRUE(test::composeAllParts(services(), "cut.txt", "", 0, plan, parts)) << "lead " << lead;
    std::string joined;
    for (std::size_t k = 0; k < parts.size(); ++k) {
      std::string body = parts[k].body;
      if (k == 0) {
        ASSERT_TRUE(body.starts_with("\r\n\r\n"));
        body.erase(0, 4);
      }
      ASSERT_TRUE(body.ends_with("\r\n"));
      body.resize(body.size() - 2);
      joined += body;
    }
    std::string expected = std::string(lead, 'x') + "\r\n.\r\n..\r\n.a\r\n...b\r\n" + std::string(60, 'y') + "\r\n.";
    EXPECT_EQ(joined, expected) << "lead " << lead;
  }
}

TEST_F(ArticleTest, BodyCommentLinesBeginningWithADotAreStuffed) {
  settings.write("BodyComment", encodeBodyComment(".\r\n.quit\nplain\r."));
  const PartPlan plan = prepare("a.bin", "A");
  ASSERT_TRUE(compose("a.bin", "", 1, plan, 1));
  const std::string text = spool();
  EXPECT_NE(text.find("\r\n\r\n..\r\n..quit\r\nplain\r\n..\r\n\r\nBEGIN"), std::string::npos) << text;
  test::ReceivedArticle received;
  ASSERT_TRUE(test::receiveArticle(text, received));
  EXPECT_TRUE(received.body.starts_with(".\r\n.quit\r\nplain\r\n.\r\n\r\nBEGIN"));
}

TEST_F(ArticleTest, ControlCharactersInRealFileNamesNeverReachTheHeadersRaw) {
  const std::string evil = "Evil\r\nNewsgroups: alt.evil\r\n.\r\n\x01x.bin";
  test::writeFile(source() + "/" + evil, "payload");
  test::writeFile(source() + "/plain.bin", "payload");
  settings.write("UseBBS", "TRUE");
  test::writeFile(source() + "/FILES.BBS",
                  "plain.bin Nice\x0b"
                  "desc\rPath: injected\r\n");
  ScriptedPrompt prompt;
  nodeManagerClass list;
  ASSERT_EQ(buildUploadList(list, source(), settings, prompt), kScanWarnings);  // no line names the evil file
  ASSERT_EQ(list.size(), 2u);

  for (const nodeClass& entry : list) {
    // The session opens the file under its listed name and uses the
    // lower-cased name in the texts.
    ASSERT_EQ(encodeFile(source(), *entry.getName(), encoded.path()), kEncodeOk);
    encoded.setEncodedTotal(fileSizeOf(encoded.path()));
    const std::string lowered = toLowerAscii(*entry.getName());
    std::vector<test::ReceivedArticle> parts;
    ASSERT_TRUE(test::composeAllParts(services(), lowered, entry.getDescription().value_or(""), 7,
                                      planParts(encoded.getEncodedTotal(), 0), parts));
    const test::ReceivedArticle& received = parts.front();
    EXPECT_EQ(received.headers.size(), 6u);
    EXPECT_EQ(received.header("Newsgroups"), "alt.test,alt.binaries.test");
    if (lowered == "plain.bin") {
      EXPECT_EQ(received.header("Subject"), "Type Subject Here - Nice desc Path: injected - plain.bin (1/1) 7 bytes");
    } else {
      EXPECT_EQ(received.header("Subject"), "Type Subject Here - evil__newsgroups: alt.evil__.___x.bin (1/1) 7 bytes");
      EXPECT_NE(received.body.find("\r\nbegin 644 evil__newsgroups: alt.evil__.___x.bin\r\n"), std::string::npos);
    }
  }
}

TEST_F(ArticleTest, ControlCharactersInSettingsNeverReachTheHeadersRaw) {
  settings.write("From", "me@example.com");
  std::string ini = test::readFile(settings.configFilePath());
  const std::size_t at = ini.find("From=me@example.com");
  ASSERT_NE(at, std::string::npos);
  ini.insert(at + 19, "\rNewsgroups: alt.evil\x7f");
  test::writeFile(settings.configFilePath(), ini);
  settings.write("Organization", "Org\x1b[31m");
  const PartPlan plan = prepare("a.bin", "A");
  ASSERT_TRUE(compose("a.bin", "", 1, plan, 1));
  test::ReceivedArticle received;
  ASSERT_TRUE(test::receiveArticle(spool(), received));
  EXPECT_EQ(received.headers.size(), 6u);
  EXPECT_EQ(received.header("Newsgroups"), "alt.test,alt.binaries.test");
  EXPECT_EQ(received.header("Organization"), "Org [31m");
  EXPECT_EQ(received.header("From").find_first_of("\r\n\x7f"), std::string::npos);
}

TEST_F(ArticleTest, LongestSettingsFitTheHeaderBlock) {
  const std::string text(4095, 't');
  for (const char* key : {"From", "ReplyTo", "Organization", "Subject"}) {
    settings.write(key, text);
  }
  const std::string groups(33999, 'g');
  settings.write("Newsgroup", groups);
  const std::string comment(35999, 'c');
  settings.write("BodyComment", comment);
  const std::string longName(255, 'n');
  const PartPlan plan = prepare("data.bin", "A");
  ASSERT_TRUE(compose(longName, std::string(255, 'd'), 1, plan, 1));
  test::ReceivedArticle received;
  ASSERT_TRUE(test::receiveArticle(spool(), received));
  EXPECT_EQ(received.header("From"), text);
  EXPECT_EQ(received.header("Newsgroups"), groups);
  EXPECT_TRUE(received.body.starts_with(comment + "\r\n\r\n"));
  EXPECT_EQ(received.header("Subject").size(), 4095u + 3 + 255 + 3 + 255 + 6 + 8);
}

TEST_F(ArticleTest, UnreadableEncodedTextOrSpoolFailsTheComposition) {
  const PartPlan plan = prepare("a.bin", std::string(100, 'a'));
  std::filesystem::remove(encoded.path());
  EXPECT_FALSE(compose("a.bin", "", 1, plan, 100));

  prepare("a.bin", std::string(100, 'a'));
  std::filesystem::remove(article.path());
  std::filesystem::create_directory(article.path());
  EXPECT_FALSE(compose("a.bin", "", 1, plan, 100));
  EXPECT_NE(article.writeError(), 0) << "a directory in the spool's place refuses the write";
}

TEST_F(ArticleTest, AFullDiskIsToldAsAWriteFailureNotAsAReadOne) {
  const PartPlan plan = prepare("a.bin", std::string(3000, 'a'));
  test::FailingDisk disk;
  ArticleSpool full(work.file("FULL.ART"), disk);
  const ArticlePart part{"a.bin", "", 1, plan, 3000, nullptr, {}};
  for (const std::size_t room : {0U, 100U, 1000U}) {
    disk.failAppends(ENOSPC, full.path(), room);
    encoded.setEncodedPosition(0);
    EXPECT_FALSE(ComposeArticle(part, {settings, encoded, full, display}, subjectLine)) << room;
    EXPECT_EQ(full.writeError(), ENOSPC) << room;
  }
  EXPECT_EQ(writeErrorText(ENOSPC), "disk full");
  EXPECT_EQ(writeErrorText(EROFS), "Read-only file system");

  std::filesystem::remove(encoded.path());
  EXPECT_FALSE(compose("a.bin", "", 1, plan, 3000));
  EXPECT_EQ(article.writeError(), 0) << "a read that fails is no write error";
}

// 1,000 disguised articles (ten files of a hundred parts): outside their
// yEnc data they hold exactly the random texts and nothing of the names or
// the settings (Subject, From, Organization, Reply-To, comment, count), and
// no Subject twice.
TEST_F(ArticleTest, AThousandDisguisedArticlesNameNothing) {
  settings.write("Subject", "Secret Voyage");
  settings.write("From", "Alice Realname <alice@realmail.example>");
  settings.write("Organization", "Upload Circle");
  settings.write("ReplyTo", "replyhere@realmail.example");
  settings.write("BodyComment", "a comment");
  settings.write("ShowCount", "TRUE");
  std::optional<RunDisguise> disguise = RunDisguise::make();
  ASSERT_TRUE(disguise);
  YencEncoder encoder;
  std::set<std::string> subjects;
  for (int file = 0; file < 10; ++file) {
    const std::string name = "Family Album " + std::to_string(file) + ".JPEG";
    test::writeFile(source() + "/" + name, std::string(10'000, static_cast<char>('0' + file)));
    const FileDescriptor fd = openRegularForRead(source() + "/" + name);
    const std::optional<std::string> shownName = disguise->nameFor(name);
    ASSERT_TRUE(shownName);
    for (std::int32_t k = 1; k <= 100; ++k) {
      const std::optional<std::string> subject = disguise->nextSubject();
      ASSERT_TRUE(subject);
      const ArticleDisguise shown{*subject, disguise->from()};
      YencArticle yenc{encoder, {fd.get(), planYencParts(10'000, 100), k, *shownName, 128, {}, {}}, {}};
      ArticlePart part{name, "a description", k, {}, 10'000, &yenc, "<id@example.net>"};
      part.disguise = &shown;
      ASSERT_TRUE(ComposeArticle(part, services(), subjectLine));
      const std::string text = spool();
      const std::size_t body = text.find("\r\n\r\n");
      std::string visible = text.substr(0, body + 2);
      for (const char* keyword : {"=ybegin ", "=ypart ", "=yend "}) {
        const std::size_t at = text.find(keyword, body);
        visible += text.substr(at, text.find("\r\n", at) - at + 2);
      }
      ASSERT_EQ(visible, "From: " + disguise->from() + "\r\nSubject: " + *subject +
                             "\r\nNewsgroups: alt.test,alt.binaries.test\r\nMessage-ID: <id@example.net>\r\n" +
                             "=ybegin part=" + std::to_string(k) + " total=100 line=128 size=10000 name=" + *shownName +
                             visible.substr(visible.find("\r\n=ypart ")));
      ASSERT_EQ(text.substr(body, 12), "\r\n\r\n=ybegin ");
      subjects.insert(*subject);
    }
  }
  EXPECT_EQ(subjects.size(), 1000U);
}

}  // namespace
}  // namespace tidewell
