// "Encwrap.clsCommand", the encoder: one object per recording. The caller
// names the output file, the devices and the profile, starts, and at the end
// stops and polls until the file is complete:
//
//   ISetOutputFilename path     ISetVideoSource name     ISetAudioSource name
//   ISetProfileName name        IStart e  (e: 0 or a code of encoder_codes.h;
//                                          the result: True when recording)
//   ISetAutoIndex True          IStop     IIndexerRunning  (True until complete)
//   IVideoEncoder               which video encoder the recording uses
//
// And one member of our own, for a watch while recording: IRecording (True
// while the file is being written; raises the error that ended it early).
//
// Encoding runs on a thread of its own: no member waits for the encoder.
#pragma once

#include "platform/automation.h"

#include <cstdint>

namespace vesper::wmenc {

// Run-time errors of the encoder, in the range components use for their own.
constexpr int32_t kObjectError = int32_t(0x80040000u); // the classic vbObjectError
constexpr int32_t kErrAlreadyStarted = kObjectError + 513;
constexpr int32_t kErrNotStarted = kObjectError + 514;
constexpr int32_t kErrAlreadyStopped = kObjectError + 515;
// A device stopped delivering during the recording (the classic "Device unavailable").
constexpr int32_t kErrDeviceUnavailable = 68;

// A new encoder object (the caller owns it).
Object* newEncoderCommand();

} // namespace vesper::wmenc
