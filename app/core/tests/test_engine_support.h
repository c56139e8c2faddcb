// What the engine and window tests share: a host that records what the
// engine asks of it, the status log read back, and a scheduler of its own.
#pragma once

#include "app/core/recording_engine.h"
#include "app/core/settings_store.h"
#include "platform/ui/ui_seam.h"

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/testing/test_env.h"
#include "scheduler/events_obj.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace vesper::test {

class FakeHost : public RecordingHost {
public:
    std::vector<std::string> calls;
    bool initResult = true;
    bool startResult = true;
    int32_t startCode = 0;
    bool attachOption = false;
    bool overwrite = true;
    bool minimized = false;
    std::function<void()> duringStart; // runs inside EncoderStart, as its waits would
    std::string profile = "Video for broadband NTSC (384 Kbps)";
    std::string videoEncoder; // what EncoderVideoEncoder tells
    RecordingEngine* engine = nullptr;

    void PreviewOff() override { calls.push_back("PreviewOff"); }
    void PreviewOn() override { calls.push_back("PreviewOn"); }
    void ApplyVideoInput() override { calls.push_back("ApplyVideoInput"); }
    void SetChnl(int16_t c) override { calls.push_back("SetChnl " + std::to_string(c)); }
    void enableDetachTV() override { calls.push_back("enableDetachTV"); }
    bool EncoderInit() override {
        calls.push_back("EncoderInit");
        return initResult;
    }
    void EncoderSetOutputFilename(const std::string& p) override { calls.push_back("Output " + p); }
    void EncoderSetVideoSource(const std::string& n) override { calls.push_back("Video " + n); }
    void EncoderSetAudioSource(const std::string& n) override { calls.push_back("Audio " + n); }
    void EncoderSetProfileName(const std::string& n) override { calls.push_back("Profile " + n); }
    bool EncoderStart(int32_t& e) override {
        calls.push_back("EncoderStart");
        if (duringStart) duringStart();
        e = startCode;
        return startResult;
    }
    void EncoderStop() override { calls.push_back("EncoderStop"); }
    bool attachTvWindowOption() override { return attachOption; }
    bool overwriteFiles() override { return overwrite; }
    std::string videoSourceText() override { return "Vesper Virtual TV Card"; }
    std::string audioSourceText() override { return "Vesper Virtual TV Card Audio"; }
    std::string profileName() override { return profile; }
    std::string EncoderVideoEncoder() override { return videoEncoder; }
    bool isMinimized() override { return minimized; }
    void restoreNormal() override {
        calls.push_back("restoreNormal");
        minimized = false;
    }
    void displayChanged() override {}

    size_t count(const std::string& call) const { return size_t(std::count(calls.begin(), calls.end(), call)); }
};

// Status log entries ("LS...") written since the last clear.
inline std::vector<std::string> logLines() {
    std::vector<std::string> lines;
    std::ifstream in(joinPath(testFolder(), "LogStatus.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("LS", 0) == 0) lines.push_back(line);
    }
    return lines;
}
inline void clearLog() { std::filesystem::remove(joinPath(testFolder(), "LogStatus.txt")); }
// The log lines that start with one of the codes, in order.
inline std::vector<std::string> logLinesWith(const std::vector<std::string>& codes) {
    std::vector<std::string> out;
    for (const auto& l : logLines())
        for (const auto& c : codes)
            if (l.rfind(c, 0) == 0) out.push_back(l);
    return out;
}

inline void addEvent(Object& s, DateTime dt, int16_t channel, int16_t duration, const std::string& every,
                     const std::string& filename) {
    Args a{Variant::date(dt), Variant(channel), Variant(duration), Variant(true), Variant(every), Variant(filename)};
    s.call("IAddEvent", a);
}

inline int16_t eventCount(Object& s) { return s.call("ICount").toInt16(); }

// The program's clock at the real pace from a fixed moment, for as long as it
// lives: a real recording's dates never depend on today's.
class FixedDayClock : public ShiftedClock {
public:
    explicit FixedDayClock(DateTime start) : ShiftedClock(start) { setClock(this); }
    ~FixedDayClock() override { setClock(nullptr); }
};

// Engine, host, clock, message seam, scheduler and output folder of one test.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        setClock(&clock);
        setUiSeam(&seam);
        RegSaveSetting2(settings::bLogStatus, "True");
        clearLog();
        folder = makeFolder("out" + std::to_string(++s_serial));
        schedulePath = joinPath(folder, "Schedule.txt");
        scheduler = std::make_shared<slotbook::EventsObj>(schedulePath);
        scheduler->call("Initialize");
        program.freeBytes = [this](const std::string&) { return freeBytes; };
        engine.setScheduler(scheduler);
        host.engine = &engine;
        engine.OutputDirChanged(folder);
    }
    void TearDown() override {
        setUiSeam(nullptr);
        setClock(nullptr);
    }
    // Moves the clock to the time and runs one tick.
    void tickAt(DateTime t) {
        clock.set(t);
        engine.Timer1Tick();
    }
    std::string outputPath(const std::string& name) const { return joinPath(folder, name); }

    TestClock clock{makeDate(2004, 4, 20, 19, 0, 0)};
    RecordingUiSeam seam;
    Program program;
    FakeHost host;
    RecordingEngine engine{program, host};
    std::shared_ptr<slotbook::EventsObj> scheduler;
    std::string folder;
    std::string schedulePath;
    long long freeBytes = 2000000000LL;
    static inline int s_serial = 0;
};

} // namespace vesper::test
