// The codes that "Encwrap.clsCommand" reports through the argument of IStart.
// They are 32-bit values in the style of the classic encoder's error codes, so
// that a log printing them in hexadecimal shows them whole (80040201, ...).
#pragma once

#include <cstdint>

namespace vesper::wmenc {

constexpr int32_t kStartOk = 0;
// The video device named by ISetVideoSource is not a capture device of the machine.
constexpr int32_t kStartUnknownVideoDevice = int32_t(0x80040201u);
// The audio device named by ISetAudioSource is not a capture device of the machine.
constexpr int32_t kStartUnknownAudioDevice = int32_t(0x80040202u);
// The profile named by ISetProfileName is not one the engine knows.
constexpr int32_t kStartUnknownProfile = int32_t(0x80040203u);
// The output file cannot be created: its folder is missing or not writable,
// the disk is full, or the name is not a file name.
constexpr int32_t kStartCannotCreateFile = int32_t(0x80040204u);
// A device is known but cannot deliver (in use, vanished, broken).
constexpr int32_t kStartDeviceFailed = int32_t(0x80040205u);
// No output file was given before IStart.
constexpr int32_t kStartNoOutputFile = int32_t(0x80040206u);
// IStart was called a second time on the same object.
constexpr int32_t kStartAlreadyStarted = int32_t(0x80040207u);

// Raised while recording or at IStop: the recording's writer died (a fault a
// virtual card injects stands for a crashed encoder). Writing stopped at once;
// the file holds what was written before, without its index.
constexpr int32_t kErrWriterDied = int32_t(0x80040210u);

} // namespace vesper::wmenc
