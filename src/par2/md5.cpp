#include "par2/md5.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace tidewell::par2 {

namespace {

EVP_MD_CTX* contextOf(const std::unique_ptr<void, Md5Stream::Free>& context) {
  return static_cast<EVP_MD_CTX*>(context.get());
}

}  // namespace

void Md5Stream::Free::operator()(void* context) const {
  EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context));
}

Md5Stream::Md5Stream() : context_(EVP_MD_CTX_new()) {
  // Without a context or MD5 nothing this library writes would be valid;
  // OpenSSL fails here only when memory is gone.
  if (!context_ || EVP_DigestInit_ex(contextOf(context_), EVP_md5(), nullptr) != 1) {
    std::abort();
  }
}

void Md5Stream::update(const void* data, std::size_t size) {
  if (size != 0) {
    EVP_DigestUpdate(contextOf(context_), data, size);
  }
}

Md5 Md5Stream::finish() {
  Md5 hash{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(contextOf(context_), hash.data(), &length);
  EVP_DigestInit_ex(contextOf(context_), EVP_md5(), nullptr);
  return hash;
}

Md5 md5Of(const void* data, std::size_t size) {
  Md5Stream stream;
  stream.update(data, size);
  return stream.finish();
}

}  // namespace tidewell::par2
