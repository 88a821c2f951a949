#include "platform/winsock_errors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

namespace tidewell {
namespace {

TEST(WinsockErrors, ErrnoMapsToWinsocksNumbers) {
  const struct {
    int errnoValue;
    int code;
  } cases[] = {
      {EINTR, 10004},        {EBADF, 10009},         {EACCES, 10013},       {EFAULT, 10014},
      {EINVAL, 10022},       {EMFILE, 10024},        {EAGAIN, 10035},       {EINPROGRESS, 10035},
      {EALREADY, 10037},     {ENOTSOCK, 10038},      {EMSGSIZE, 10040},     {EAFNOSUPPORT, 10047},
      {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},     {ENETUNREACH, 10051},
      {ENETRESET, 10052},    {ECONNABORTED, 10053},  {ECONNRESET, 10054},   {ENOBUFS, 10055},
      {EISCONN, 10056},      {ENOTCONN, 10057},      {ESHUTDOWN, 10058},    {ETIMEDOUT, 10060},
      {ECONNREFUSED, 10061}, {EHOSTDOWN, 10064},     {EHOSTUNREACH, 10065}, {0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(winsockErrorFromErrno(c.errnoValue), c.code) << "errno " << c.errnoValue;
  }
  EXPECT_EQ(winsockErrorFromErrno(EDOM), 10022) << "no counterpart: invalid argument";
}

TEST(WinsockErrors, LookUpFailuresMapToTheLookUpCodes) {
  EXPECT_EQ(winsockErrorFromLookup(0, 0), 0);
  EXPECT_EQ(winsockErrorFromLookup(EAI_NONAME, 0), 11001);
  EXPECT_EQ(winsockErrorFromLookup(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(winsockErrorFromLookup(EAI_FAIL, 0), 11003);
  EXPECT_EQ(winsockErrorFromLookup(EAI_NODATA, 0), 11004);
  EXPECT_EQ(winsockErrorFromLookup(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(WinsockErrors, EveryCodeHasANameAndADescription) {
  for (const int code : {10004, 10009, 10013, 10014, 10022, 10024, 10035, 10036, 10037, 10038, 10040,
                         10047, 10048, 10049, 10050, 10051, 10052, 10053, 10054, 10055, 10056, 10057,
                         10058, 10060, 10061, 10064, 10065, 10093, 11001, 11002, 11003, 11004}) {
    EXPECT_EQ(winsockErrorName(code).substr(0, 3), "WSA") << code;
    EXPECT_FALSE(winsockErrorDescription(code).empty()) << code;
  }
  EXPECT_EQ(winsockErrorName(10061), "WSAECONNREFUSED");
  EXPECT_EQ(winsockErrorDescription(10054), "Connection reset by peer");
  EXPECT_TRUE(winsockErrorDescription(12345).empty());
  EXPECT_TRUE(winsockErrorDescription(0).empty());
}

}  // namespace
}  // namespace tidewell
