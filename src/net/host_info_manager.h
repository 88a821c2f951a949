#pragma once

#include <cstdint>
#include <string_view>

#include "net/endpoint_address.h"
#include "net/lookup_requests.h"
#include "net/socket_messages.h"
#include "platform/winsock_types.h"

namespace tidewell {

class SocketManager;

// Host names to addresses and back, blocking or as an asynchronous request
// that can be cancelled. All look-ups are for the Internet family (2) with
// 4-byte addresses. Result convention: 0, or -1 with the code in lastError.
//
// An asynchronous reply is message 1327 (or the message named) with the
// request handle in wParam and, in lParam, the record's length in the low
// 16 bits and the error in the high 16 bits. The record is written into the
// request's buffer on the loop thread just before the reply is delivered,
// never after a successful Cancel. Destroying the manager cancels its last
// request and every pending request that writes into its own buffer, so
// that buffer is never written once it is gone.
class HostInfoManager {
 public:
  explicit HostInfoManager(SocketManager& manager);
  virtual ~HostInfoManager() = default;
  HostInfoManager(const HostInfoManager&) = delete;
  HostInfoManager& operator=(const HostInfoManager&) = delete;
  HostInfoManager(HostInfoManager&&) = delete;
  HostInfoManager& operator=(HostInfoManager&&) = delete;

  // gethostname into a buffer of `size` bytes.
  int LocalHostName(char* buffer, int size);
  // The blocking look-ups; the record belongs to the service until the next
  // blocking look-up. None: -1.
  int HostByName(const HostEntry*& record, std::string_view name);
  int HostByAddress(const HostEntry*& record, const InternetEndpoint& endpoint);
  // HostByName, then FirstAddressText into the buffer.
  int HostAddressText(char* buffer, int size, std::string_view name);
  // HostByName, then the record's first address into the endpoint.
  int ResolveInto(InternetEndpoint& endpoint, std::string_view name);

  // Starts a look-up replying to the manager's own window with 1327 into
  // resultBuffer. The handle goes to `request` and to this manager's
  // request. A look-up that cannot start: -1.
  int StartByName(AsyncHandle& request, std::string_view name);
  int StartByAddress(AsyncHandle& request, const InternetEndpoint& endpoint);
  // The same, replying to `window` with `message`, the record into `buffer`
  // (null: resultBuffer), which is taken as 1024 bytes long and must be
  // pointer-aligned and stay alive until the reply or a cancel.
  int StartByNameFor(TargetHandle window, AsyncHandle& request, std::string_view name, std::uint32_t message,
                     char* buffer = nullptr);
  int StartByAddressFor(TargetHandle window, AsyncHandle& request, const InternetEndpoint& endpoint,
                        std::uint32_t message, char* buffer = nullptr);
  // Cancels `request` (none: this manager's last request; still none: -1
  // with 10022). A request already answered is refused (-1, 10037).
  // `request` keeps its value either way.
  int Cancel(AsyncHandle request = kNoRequest);
  // A reply at the manager's own window: a non-zero error goes to
  // lastError; finished becomes 1.
  void OnReply(int error);

  // Operations on a host record (null counts as empty).
  [[nodiscard]] static int AddressCount(const HostEntry* record);
  // The 4-byte address at `index` (network byte order); 0 when index is not
  // below the count.
  [[nodiscard]] static std::uint32_t AddressAt(const HostEntry* record, int index);
  // Dotted text of the first address into a buffer of `size` bytes; -1
  // when there is none or it does not fit.
  static int FirstAddressText(const HostEntry* record, char* buffer, int size);
  // The same on hostEntry.
  [[nodiscard]] int AddressCount() const { return AddressCount(hostEntry()); }
  [[nodiscard]] std::uint32_t AddressAt(int index) const { return AddressAt(hostEntry(), index); }
  int FirstAddressText(char* buffer, int size) const { return FirstAddressText(hostEntry(), buffer, size); }

  // The record in resultBuffer. Before any reply it is an empty record (no
  // name, no addresses).
  [[nodiscard]] const HostEntry* hostEntry() const;
  [[nodiscard]] bool finished() const { return requests_.finished(); }
  [[nodiscard]] AsyncHandle request() const { return requests_.request(); }
  [[nodiscard]] std::int32_t lastError() const { return requests_.lastError(); }
  [[nodiscard]] const char* resultBuffer() const { return requests_.buffer(); }
  // The manager's own reply target.
  [[nodiscard]] TargetHandle target() const { return requests_.target(); }

 private:
  LookupRequests requests_;
};

}  // namespace tidewell
