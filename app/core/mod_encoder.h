// Encoder control: the main program's only path to the encoder component
// "Encwrap.clsCommand", one fresh object per recording.
#pragma once

#include "app/core/mod_tuner.h"
#include "app/core/program.h"

#include "platform/automation.h"

#include <cstdint>
#include <string>

namespace vesper {

class ModEncoder {
public:
    ModEncoder(Program& program, ModTuner& tuner);

    ObjectPtr m_oEncoder;

    // Creates a new encoder object (replacing any earlier one); true when one
    // was obtained.
    bool EncoderInit();
    void EncoderRelease();

    // Each fails softly: a missing object or a failing member is logged
    // (LS0103 to LS0106) and the call returns.
    void EncoderSetOutputFilename(const std::string& path);
    void EncoderSetVideoSource(const std::string& name);
    void EncoderSetAudioSource(const std::string& name);
    void EncoderSetProfileName(const std::string& name);

    // Waits a second, starts encoding (e receives the encoder's code) and
    // starts the tuner graph. True when encoding has started. Never raises.
    bool EncoderStart(int32_t& e);
    // Stops encoding, waits at most 10 s for the index, drops the object and
    // stops the tuner graph. Never raises.
    void EncoderStop();
    // Which video encoder the started recording uses (the encoder's own
    // member IVideoEncoder); empty without a recording or from an encoder
    // that cannot tell. Never raises.
    std::string EncoderVideoEncoder();

private:
    void setter(const char* member, const std::string& text, const char* exitText);

    Program& m_program;
    ModTuner& m_tuner;
};

// The longest the stop sequence waits for the indexer, in seconds.
inline constexpr double kIndexerWaitSeconds = 10.0;

} // namespace vesper
