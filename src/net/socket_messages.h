#pragma once

#include <cstdint>

#include "platform/winsock_types.h"

namespace tidewell {

// Message numbers of the network layer (the user range starts at 1024).
// A socket event: wParam the socket handle; lParam the event (kFdRead ...)
// in the low 16 bits and the error code in the high 16 bits. Socket windows
// forward events to their notify target under this same number.
inline constexpr std::uint32_t kSocketEventMessage = 1325;
// A service look-up finished: wParam the request handle; lParam the record's
// length in the low 16 bits and the error code in the high 16 bits.
inline constexpr std::uint32_t kServiceLookupMessage = 1326;
// A host look-up finished, with the same wParam and lParam.
inline constexpr std::uint32_t kHostLookupMessage = 1327;

// Event masks for SelectEvents and SetForwardMask.
inline constexpr int kSelectAcceptMask = static_cast<int>(kFdAccept);  // 8
inline constexpr int kSelectConnectedMask =
    static_cast<int>(kFdRead | kFdWrite | kFdOob | kFdConnect | kFdClose);  // 55
inline constexpr int kForwardAllMask = static_cast<int>(kFdAllEvents);      // 63

}  // namespace tidewell
