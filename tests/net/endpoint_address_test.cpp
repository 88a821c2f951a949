#include "net/endpoint_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>

namespace tidewell {
namespace {

TEST(EndpointAddress, SetFamilyAndDataCopiesAtMostFourteenBytes) {
  EndpointAddress address;
  const std::uint8_t twenty[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  address.SetFamilyAndData(7, twenty, 20);
  EXPECT_EQ(address.family, 7);
  EXPECT_EQ(std::memcmp(address.data, twenty, 14), 0);

  const std::uint8_t three[3] = {0xA, 0xB, 0xC};
  address.SetFamilyAndData(2, three, 3);
  EXPECT_EQ(address.data[0], 0xA);
  EXPECT_EQ(address.data[2], 0xC);
  EXPECT_EQ(address.data[3], 4) << "the other bytes stay as they were";
  EXPECT_EQ(address.data[13], 14);

  address.SetFamilyAndData(9, three, -1);
  EXPECT_EQ(address.family, 9);
  EXPECT_EQ(address.data[0], 0xA);
}

TEST(EndpointAddress, SameAsComparesFamilyAndEveryDataByte) {
  EndpointAddress a;
  EndpointAddress b;
  EXPECT_TRUE(a.SameAs(b));
  b.data[13] = 1;
  EXPECT_FALSE(a.SameAs(b));
  b.data[13] = 0;
  b.family = 2;
  EXPECT_FALSE(a.SameAs(b));
  a.SetRaw(b.raw());
  EXPECT_TRUE(a.SameAs(b));
}

TEST(InternetEndpoint, DefaultIsTheSixteenByteAnyAddress) {
  const InternetEndpoint any;
  const std::uint8_t expected[16] = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(any.raw(), expected, 16), 0);
  const sockaddr_in* in = static_cast<const sockaddr_in*>(any.raw());
  EXPECT_EQ(in->sin_family, AF_INET);
}

TEST(InternetEndpoint, FieldsSitWhereSockaddrInHasThem) {
  const InternetEndpoint server(htons(119), 0xFFFFFFFFu, 2);
  const auto* in = static_cast<const sockaddr_in*>(server.raw());
  EXPECT_EQ(ntohs(in->sin_port), 119);
  EXPECT_EQ(in->sin_addr.s_addr, 0xFFFFFFFFu);
  EXPECT_EQ(server.Port(), htons(119));

  InternetEndpoint endpoint(htons(80), "10.1.2.3");
  const auto* bytes = static_cast<const std::uint8_t*>(endpoint.raw());
  EXPECT_EQ(bytes[4], 10);
  EXPECT_EQ(bytes[5], 1);
  EXPECT_EQ(bytes[6], 2);
  EXPECT_EQ(bytes[7], 3);
  EXPECT_EQ(endpoint.SetPort(htons(119)).SetAddressText("127.0.0.1").Address(), htonl(INADDR_LOOPBACK));

  EndpointAddress raw;
  raw.SetRaw(endpoint.raw());
  const InternetEndpoint copy(raw);
  EXPECT_TRUE(copy.SameAs(endpoint));
}

TEST(InternetEndpoint, AddressClassReadsTheStoredWordAsIs) {
  InternetEndpoint endpoint;
  endpoint.SetAddress(0x0A010203u);
  EXPECT_EQ(endpoint.AddressClass(), 0);
  EXPECT_EQ(endpoint.NetworkPart(), 0x0A000000u);
  EXPECT_EQ(endpoint.NodePart(), 0x00010203u);
  endpoint.SetAddress(0x80010203u);
  EXPECT_EQ(endpoint.AddressClass(), 1);
  EXPECT_EQ(endpoint.NetworkPart(), 0x80010000u);
  endpoint.SetAddress(0xC0A80009u);
  EXPECT_EQ(endpoint.AddressClass(), 2);
  EXPECT_EQ(endpoint.NodePart(), 0x09u);
  endpoint.SetAddress(0xE0000001u);
  EXPECT_EQ(endpoint.AddressClass(), 3);
  EXPECT_EQ(endpoint.NetworkPart(), 0u);
  EXPECT_EQ(endpoint.NodePart(), 0u);
}

TEST(AddressText, DottedTextAndHostNames) {
  const std::uint32_t address = TextToAddress("10.1.2.3");
  std::uint8_t bytes[4];
  std::memcpy(bytes, &address, 4);
  EXPECT_EQ(bytes[0], 10);
  EXPECT_EQ(bytes[3], 3);
  EXPECT_STREQ(AddressToText(address), "10.1.2.3");
  EXPECT_TRUE(IsDottedAddress("127.0.0.1"));
  EXPECT_EQ(TextToAddress("news.example.org"), 0xFFFFFFFFu);
  EXPECT_FALSE(IsDottedAddress("news.example.org"));
  EXPECT_FALSE(IsDottedAddress(""));
  EXPECT_FALSE(IsDottedAddress(std::string_view("10.1.2.3\0junk", 13)));
}

}  // namespace
}  // namespace tidewell
