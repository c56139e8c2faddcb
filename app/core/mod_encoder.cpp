#include "app/core/mod_encoder.h"

#include "app/core/status_log.h"

#include "platform/clock.h"

namespace vesper {

namespace {

constexpr const char* kEncoderProgId = "Encwrap.clsCommand";

void logError(const char* text, ErrorTrap& trap) {
    if (!trap.failed()) return;
    LogStatus(std::string(text) + trap.text());
    trap.clear();
}

} // namespace

ModEncoder::ModEncoder(Program& program, ModTuner& tuner) : m_program(program), m_tuner(tuner) {}

bool ModEncoder::EncoderInit() {
    m_oEncoder.reset();
    try {
        m_oEncoder = m_program.createObject(kEncoderProgId);
    } catch (const std::exception&) {
        m_oEncoder.reset();
    }
    return m_oEncoder != nullptr;
}

void ModEncoder::EncoderRelease() { m_oEncoder.reset(); }

void ModEncoder::setter(const char* member, const std::string& text, const char* exitText) {
    ErrorTrap trap;
    trap.step([&] {
        // Without an encoder object the call meets nothing, as the classic
        // "Object variable not set" error says; the tick goes on.
        if (!m_oEncoder) raiseError(err::ObjectNotSet, "Vesper");
        Args args{Variant(text)};
        m_oEncoder->call(member, args);
    });
    logError(exitText, trap);
}

void ModEncoder::EncoderSetOutputFilename(const std::string& path) {
    setter("ISetOutputFilename", path, "LS0103:ERROR:M06:EncoderSetOutputFilename() Exit - ");
}

void ModEncoder::EncoderSetVideoSource(const std::string& name) {
    setter("ISetVideoSource", name, "LS0104:ERROR:M06:EncoderSetVideoSource() Exit - ");
}

void ModEncoder::EncoderSetAudioSource(const std::string& name) {
    setter("ISetAudioSource", name, "LS0105:ERROR:M06:EncoderSetAudioSource() Exit - ");
}

void ModEncoder::EncoderSetProfileName(const std::string& name) {
    setter("ISetProfileName", name, "LS0106:ERROR:M06:EncoderSetProfileName() Exit - ");
}

bool ModEncoder::EncoderStart(int32_t& e) {
    ErrorTrap trap;
    bool started = false;
    WaitSeconds(1);
    trap.step([&] {
        if (!m_oEncoder) raiseError(err::ObjectNotSet, "Vesper");
        Args args{Variant(e)};
        const Variant result = m_oEncoder->call("IStart", args);
        if (!args.empty()) e = args[0].toInt32();
        started = result.toBool();
    });
    trap.step([&] { m_tuner.TunerStart(); });
    logError("LS0051:ERROR:M06:EncoderStart() Exit - ", trap);
    return started;
}

void ModEncoder::EncoderStop() {
    ErrorTrap trap;
    auto encoder = [&]() -> Object& {
        if (!m_oEncoder) raiseError(err::ObjectNotSet, "Vesper");
        return *m_oEncoder;
    };

    trap.step([&] {
        Args args{Variant(true)};
        encoder().call("ISetAutoIndex", args);
    });
    LogStatus("LS0070:INFO:M06:EncoderStop() AutoIndex true");
    logError("LS0067:ERROR:M06:EncoderStop() AutoIndex true - ", trap);

    trap.step([&] { encoder().call("IStop"); });
    LogStatus("LS0071:INFO:M06:EncoderStop() Stop");
    logError("LS0068:ERROR:M06:EncoderStop() Stop - ", trap);

    // The indexing wait, bounded on the steady clock so that a clock set back
    // cannot stretch it.
    Clock& c = clock();
    const double deadline = c.monotonic() + kIndexerWaitSeconds;
    for (;;) {
        bool running = false;
        if (!trap.step([&] { running = encoder().call("IIndexerRunning").toBool(); }) || !running) break;
        // Let the user interface run while time passes (a test clock moves).
        waitSeconds(0.05);
        if (c.monotonic() > deadline) {
            LogStatus("LS0074:ERROR:M06:EncoderStop() indexer too long");
            break;
        }
    }
    LogStatus("LS0072:INFO:M06:EncoderStop() IndexerRunning");
    logError("LS0069:ERROR:M06:EncoderStop() IndexerRunning - ", trap);

    WaitSeconds(1);
    EncoderRelease();
    trap.step([&] { m_tuner.TunerStp(); });
    LogStatus("LS0073:INFO:M06:EncoderStop() StpCapgraph");
    logError("LS0052:ERROR:M06:EncoderStop() Exit - ", trap);
}

std::string ModEncoder::EncoderVideoEncoder() {
    if (!m_oEncoder) return {};
    try {
        return m_oEncoder->call("IVideoEncoder").toString();
    } catch (const AutomationError&) {
        return {};
    }
}

} // namespace vesper
