#include "net/socket_error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tidewell {
namespace {

TEST(SocketError, TextIsTheCodeWithItsDescription) {
  const SocketError wouldBlock(10035, 256);
  EXPECT_STREQ(wouldBlock.Text(), "Winsock Error 10035 Resource temporarily unavailable");
  EXPECT_EQ(wouldBlock.bufferSize(), 256U);
  const SocketError unknown(12345, 256);
  EXPECT_STREQ(unknown.Text(), "Winsock Error 12345 ") << "no description: the format's blank stays";
}

TEST(SocketError, TextIsCutToItsBufferNeverPastIt) {
  SocketError error(10061, 16);
  EXPECT_EQ(std::string(error.Text()), "Winsock Error 1");
  EXPECT_EQ(error.bufferSize(), 16U);
  error.SetCode(10054);
  EXPECT_EQ(error.Code(), 10054);
  EXPECT_EQ(std::strlen(error.Text()), 15U);
  char small[6];
  EXPECT_STREQ(error.CopyTextTo(small, sizeof small), "Winso");
}

TEST(SocketError, ComposeWithCaption) {
  SocketError error(10061);
  char buffer[20];
  EXPECT_EQ(error.ComposeWithCaption("Connect", buffer, sizeof buffer), buffer);
  EXPECT_STREQ(buffer, "Connect\n\nWinsock Er") << "cut to the caller's buffer";
  EXPECT_STREQ(error.Text(), "Winsock Error 10061 Connection refused") << "own text unchanged";

  SocketError tight(10061, 24);
  const std::string caption(40, 'c');
  tight.ComposeWithCaption(caption);
  EXPECT_EQ(std::string(tight.Text()), caption + "\n\nWinsock Error 10061 Con") << "own text is not cut again";
  EXPECT_EQ(tight.textSize(), 24);
}

TEST(SocketError, ComposeWithResourceCaptionTakesTheStringByNumber) {
  SocketError error(10054);
  char caption[8];
  EXPECT_STREQ(error.ComposeWithResourceCaption(10061, caption, sizeof caption),
               "Connection refused\n\nWinsock Error 10054 Connection reset by peer");
  EXPECT_STREQ(caption, "Connect");
  SocketError none(10035, 64);
  EXPECT_STREQ(none.ComposeWithResourceCaption(4242), "\n\nWinsock Error 10035 Resource temporarily unavailable");
}

TEST(SocketError, AssignmentCopiesCodeAndTextIntoAJustLargeEnoughBuffer) {
  const SocketError source(10060, 256);
  SocketError target(10035, 32);
  target = source;
  EXPECT_EQ(target.Code(), 10060);
  EXPECT_STREQ(target.Text(), source.Text());
  EXPECT_EQ(target.bufferSize(), std::strlen(source.Text()) + 1);
  EXPECT_EQ(target.textSize(), 32);
  EXPECT_TRUE(target.SameAs(source));
  target.SetCode(10061);
  EXPECT_EQ(target.bufferSize(), 32U) << "rebuilt with its own size";
  EXPECT_FALSE(target.SameAs(source));
}

}  // namespace
}  // namespace tidewell
