#include "upload/nzb_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "support/hostile_names.h"
#include "support/temp_dir.h"
#include "upload/message_id.h"

namespace tidewell {
namespace {

TEST(MessageIdTest, IsRandomDotAtomTextAtTheChosenDomain) {
  const std::string_view base64Url = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::optional<std::string> id = newMessageId();
    ASSERT_TRUE(id);
    ASSERT_EQ(id->size(), 1 + 24 + std::string_view("@tidewell.invalid>").size()) << *id;
    EXPECT_TRUE(id->starts_with('<') && id->ends_with("@tidewell.invalid>")) << *id;
    EXPECT_EQ(id->substr(1, 24).find_first_not_of(base64Url), std::string::npos) << *id;
    seen.insert(*id);
  }
  EXPECT_EQ(seen.size(), 1000u);
  EXPECT_TRUE(newMessageId("posts.example.org")->ends_with("@posts.example.org>"));
}

TEST(MessageIdTest, RefusesDomainsThatAreNotDotAtomText) {
  for (const std::string_view domain :
       {"", ".example", "example.", "a..b", "a b", "a<b", "a>b", "a@b", "a\"b", "[127.0.0.1]", "caf\xC3\xA9.example"}) {
    EXPECT_FALSE(isValidMessageIdDomain(domain)) << domain;
    EXPECT_FALSE(newMessageId(domain)) << domain;
  }
  EXPECT_TRUE(isValidMessageIdDomain("a-b.c_d.example"));
  EXPECT_FALSE(isValidMessageIdDomain(std::string(224, 'a')));
  EXPECT_TRUE(isValidMessageIdDomain(std::string(223, 'a')));
}

NzbDocument sampleDocument() {
  NzbDocument nzb;
  const std::size_t first = nzb.addFile("Holiday & <friends> \"2026\" - na\xC3\xAFve.bin (1/2)", "Me <me@example.org>",
                                        1700000000, {"alt.binaries.test", "tidewell.test"}, 2);
  nzb.addSegment(first, 2, 1200, "<second@tidewell.invalid>");
  nzb.addSegment(first, 1, 700000, "<first@tidewell.invalid>");
  nzb.addFile("never accepted (1/1)", "Me <me@example.org>", 1700000001, {"alt.binaries.test"}, 1);
  return nzb;
}

TEST(NzbWriterTest, WritesTheDocumentEscapedWithSegmentsInPartOrder) {
  const NzbDocument nzb = sampleDocument();
  EXPECT_EQ(nzb.text(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" \"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\n"
            "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n"
            " <file poster=\"Me &lt;me@example.org&gt;\" date=\"1700000000\" subject=\"Holiday &amp; &lt;friends&gt; "
            "&quot;2026&quot; - na\xC3\xAFve.bin (1/2)\">\n"
            "  <groups>\n"
            "   <group>alt.binaries.test</group>\n"
            "   <group>tidewell.test</group>\n"
            "  </groups>\n"
            "  <segments>\n"
            "   <segment bytes=\"700000\" number=\"1\">first@tidewell.invalid</segment>\n"
            "   <segment bytes=\"1200\" number=\"2\">second@tidewell.invalid</segment>\n"
            "  </segments>\n"
            " </file>\n"
            "</nzb>\n");
  EXPECT_FALSE(nzb.isComplete());
}

TEST(NzbWriterTest, TextThatXmlCannotCarryIsReplaced) {
  struct Case {
    std::string in;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"a\x01"
       "b\tc",
       "a?b\tc"},
      {"Latin-1 caf\xE9", "Latin-1 caf\xEF\xBF\xBD"},
      {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"cut \xE2\x9C", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"it's", "it&apos;s"},
      {"c1 \xC2\x85 a0 \xC2\xA0", "c1 ? a0 \xC2\xA0"},
      {"x\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD", "x\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(xmlEscaped(c.in), c.out) << c.in;
  }
}

// xmllint, an independent parser, must accept the NZB whatever the names
// in it: each name as subject, poster, group and Message-ID.
TEST(NzbWriterTest, HostileNamesMakeAWellFormedDocument) {
  test::TempDir dir;
  for (const test::HostileName& name : test::kHostileNames) {
    NzbDocument nzb;
    const std::string text(name.text);
    const std::size_t file = nzb.addFile(text + " (1/1)", text, 1700000000, {text}, 1);
    ASSERT_TRUE(nzb.addSegment(file, 1, 100, "<" + text + "@tidewell.invalid>"));
    const std::string path = dir.file("hostile.nzb");
    ASSERT_TRUE(nzb.writeAtomically(path));
    const std::string check = "xmllint --noout '" + path + "' 2>/dev/null";
    EXPECT_EQ(std::system(check.c_str()), 0) << name.label << ": " << nzb.text();
  }
}

// The metadata comes as <head> before the files, escaped as any text; an
// empty value is left out, and with none there is no <head>: the document
// is then the same as one never given any.
TEST(NzbWriterTest, MetadataIsEscapedAndEmptyValuesLeftOut) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> meta;
    std::string head;
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{{"title", ""}, {"password", ""}, {"category", ""}, {"tag", ""}}, ""},
      {{{"title", "Holiday & <friends> \"2026\" it's \xC3\xBC"}},
       " <head>\n  <meta type=\"title\">Holiday &amp; &lt;friends&gt; &quot;2026&quot; it&apos;s \xC3\xBC</meta>\n"
       " </head>\n"},
      {{{"title", ""}, {"password", "p\x01w\xE9"}, {"category", "TV"}, {"tag", "a]]>b"}},
       " <head>\n  <meta type=\"password\">p?w\xEF\xBF\xBD</meta>\n  <meta type=\"category\">TV</meta>\n"
       "  <meta type=\"tag\">a]]&gt;b</meta>\n </head>\n"},
  };
  test::TempDir dir;
  const std::string plain = sampleDocument().text();
  const std::string filesStart = "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n";
  for (const Case& c : cases) {
    NzbDocument nzb = sampleDocument();
    for (const auto& [type, value] : c.meta) {
      nzb.addMeta(type, value);
    }
    std::string expected = plain;
    expected.insert(expected.find(filesStart) + filesStart.size(), c.head);
    EXPECT_EQ(nzb.text(), expected);
    const std::string path = dir.file("meta.nzb");
    ASSERT_TRUE(nzb.writeAtomically(path));
    const std::string check = "xmllint --noout '" + path + "' 2>/dev/null";
    EXPECT_EQ(std::system(check.c_str()), 0) << nzb.text();
  }
}

TEST(NzbWriterTest, WritesAtomicallyAndReportsFailure) {
  test::TempDir dir;
  NzbDocument nzb = sampleDocument();
  nzb.addSegment(1, 1, 500, "only@tidewell.invalid");
  EXPECT_TRUE(nzb.isComplete());
  dir.write("Report01.nzb", "old");
  ASSERT_TRUE(nzb.writeAtomically(dir.file("Report01.nzb")));
  EXPECT_EQ(dir.read("Report01.nzb"), nzb.text());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  EXPECT_FALSE(nzb.writeAtomically(dir.file("missing/Report01.nzb")));
  EXPECT_FALSE(nzb.addSegment(7, 1, 1, "x@y"));
}

}  // namespace
}  // namespace tidewell
