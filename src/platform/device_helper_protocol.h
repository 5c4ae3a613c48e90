#pragma once

// The conversation between a program that may not open block devices itself and the small privileged
// helper that opens them for it (started through pkexec after the user authorises). One request per
// datagram on a SOCK_SEQPACKET socket the helper gets as its standard input:
//   "open <absolute path>"
// One answer per request: "ok" with the open descriptor attached (SCM_RIGHTS), or "error <errno> <text>".
// The read helper serves requests until the socket closes; the write helper, authorised afresh each
// time, answers one request and ends.

#include <cstddef>
#include <string_view>

namespace lumacore::device_helper {

inline constexpr std::string_view kOpenRequest = "open ";
inline constexpr std::string_view kOkAnswer = "ok";
inline constexpr std::string_view kErrorAnswer = "error ";
// A request carries one path; anything longer than PATH_MAX plus the verb is not ours.
inline constexpr std::size_t kMaxMessage = 4096 + 16;

}  // namespace lumacore::device_helper
