#include "net/tls_verification.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

namespace tidewell {

namespace {

// A dotted IPv4 or an IPv6 address: checked against the certificate's IP
// entries, and never sent as SNI.
bool isDottedAddress(std::string_view name) {
  in6_addr address{};
  const std::string text(name);
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1 || ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

std::string hexFingerprint(const unsigned char* digest, unsigned length) {
  std::string text;
  char pair[4];
  for (unsigned i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
    text += pair;
  }
  return text;
}

}  // namespace

void SslDeleter::operator()(SSL* ssl) const {
  SSL_free(ssl);
}
void SslDeleter::operator()(SSL_CTX* context) const {
  SSL_CTX_free(context);
}
void SslDeleter::operator()(BIO_METHOD* method) const {
  BIO_meth_free(method);
}

std::string openSslReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason != nullptr ? reason : "no reason given";
}

std::optional<std::array<std::uint8_t, 32>> ParseTlsPin(std::string_view text) {
  std::array<std::uint8_t, 32> bytes{};
  std::size_t digits = 0;
  for (const char c : text) {
    if (c == ':') {
      continue;
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    int value = -1;
    if (lower >= '0' && lower <= '9') {
      value = lower - '0';
    } else if (lower >= 'a' && lower <= 'f') {
      value = lower - 'a' + 10;
    }
    if (value < 0 || digits >= 64) {
      return std::nullopt;
    }
    bytes[digits / 2] = static_cast<std::uint8_t>(bytes[digits / 2] << 4 | value);
    ++digits;
  }
  if (digits != 64) {
    return std::nullopt;
  }
  return bytes;
}

std::string CheckTlsSettings(const TlsSettings& settings) {
  if (!settings.pin.empty() && !ParseTlsPin(settings.pin)) {
    return "TLSPin is not a SHA-256 fingerprint (64 hexadecimal digits).";
  }
  if (!settings.caFile.empty()) {
    std::unique_ptr<SSL_CTX, SslDeleter> context(SSL_CTX_new(TLS_client_method()));
    ERR_clear_error();
    if (!context || SSL_CTX_load_verify_locations(context.get(), settings.caFile.c_str(), nullptr) != 1) {
      ERR_clear_error();
      return "TLSCAFile " + settings.caFile + " cannot be read as PEM certificates.";
    }
  }
  return {};
}

// Complete before SSL_new, which copies the context's options.
std::unique_ptr<SSL_CTX, SslDeleter> makeClientContext(const TlsSettings& settings) {
  std::unique_ptr<SSL_CTX, SslDeleter> context(SSL_CTX_new(TLS_client_method()));
  if (!context) {
    return context;
  }
  SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
  // NNTP ends its own replies and articles, so a server that closes without
  // close_notify (after QUIT) is an ordinary end, not a truncation.
  // Renegotiation is refused: a write never has to wait for a read.
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
  SSL_CTX_set_mode(context.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (settings.verify) {
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    // The system store as its hashed directory, which OpenSSL reads one
    // certificate at a time as it needs them: loading the whole bundle file
    // took about 100 ms per connection.
    SSL_CTX_set_default_verify_dir(context.get());
    if (!settings.caFile.empty()) {
      SSL_CTX_load_verify_locations(context.get(), settings.caFile.c_str(), nullptr);
    }
  } else {
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
  }
  return context;
}

void expectPeer(SSL* ssl, const std::string& host, bool verify) {
  const bool dotted = isDottedAddress(host);
  if (verify) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (dotted) {
      X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
      X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    }
  }
  if (!dotted && !host.empty()) {
    // SSL_set_tlsext_host_name, whose macro casts in the old style.
    SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host.c_str()));
  }
}

TlsVerdict checkPeerCertificate(SSL* ssl, const std::optional<std::array<std::uint8_t, 32>>& pin,
                                std::string& fingerprint) {
  X509* certificate = SSL_get0_peer_certificate(ssl);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) {
    return {TlsFailure::kHandshake, "The server sent no certificate."};
  }
  fingerprint = hexFingerprint(digest, length);
  if (pin && !std::equal(pin->begin(), pin->end(), digest, digest + length)) {
    return {TlsFailure::kPinMismatch,
            "The server's certificate does not match TLSPin (its SHA-256 fingerprint is " + fingerprint + ")."};
  }
  return {};
}

TlsVerdict verificationFailure(SSL* ssl, const std::string& host) {
  const long verified = SSL_get_verify_result(ssl);
  switch (verified) {
    case X509_V_OK:
      return {};
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return {TlsFailure::kExpired, "The server's certificate has expired."};
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return {TlsFailure::kNotYetValid, "The server's certificate is not valid yet."};
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return {TlsFailure::kWrongHost, "The server's certificate is not for " + host + "."};
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return {TlsFailure::kUnknownIssuer,
              "The server's certificate is signed by an unknown issuer (add it with TLSCAFile)."};
    default:
      return {TlsFailure::kCertificateRefused,
              std::string("The server's certificate was refused: ") + X509_verify_cert_error_string(verified) + "."};
  }
}

}  // namespace tidewell
