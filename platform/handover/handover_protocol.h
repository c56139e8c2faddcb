// The wire protocol of the running main program's hand-over socket, shared by
// the server in the main program and the message component that senders use.
//
// A client connects, writes a 4-byte big-endian length N and then N bytes of
// UTF-8 text, and reads one answer byte; the server then closes. N = 0 is a
// ping that only asks whether the main program answers. The server refuses a
// length over kHandOverMaxBytes at once, without reading the text, and drops
// a client that has not sent everything within kHandOverClientSeconds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesper::handover {

inline constexpr std::size_t kHandOverMaxBytes = 64 * 1024;
inline constexpr int kHandOverClientSeconds = 5;

// Answer bytes.
inline constexpr char kAccepted = 'A'; // the document was handed to the window
inline constexpr char kRefused = 'R';  // too long, or not UTF-8 text
inline constexpr char kAlive = 'P';    // answer to a ping

// The name given to instanceRuntimePath for the socket.
inline constexpr const char* kSocketName = "socket";

inline void encodeLength(uint32_t n, unsigned char out[4]) {
    out[0] = static_cast<unsigned char>(n >> 24);
    out[1] = static_cast<unsigned char>(n >> 16);
    out[2] = static_cast<unsigned char>(n >> 8);
    out[3] = static_cast<unsigned char>(n);
}

inline uint32_t decodeLength(const unsigned char in[4]) {
    return (uint32_t(in[0]) << 24) | (uint32_t(in[1]) << 16) | (uint32_t(in[2]) << 8) | uint32_t(in[3]);
}

} // namespace vesper::handover
