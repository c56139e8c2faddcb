// The sending side of the main program's hand-over socket (protocol in
// handover_protocol.h), in plain POSIX so that any host can load it.
#pragma once

#include <string>

namespace vesper::handover {

enum class SendResult {
    Accepted, // the main program took the document
    Alive,    // the main program answered a ping
    Refused,  // it answered but refused the document (too long, not UTF-8)
    NoAnswer, // nobody listens, or no answer in time
};

// Sends `text` (empty: a ping) to the socket at `path` and waits up to
// `timeoutSeconds` for the answer, letting the host process its events.
SendResult sendToMainProgram(const std::string& path, const std::string& text, double timeoutSeconds = 10);

} // namespace vesper::handover
