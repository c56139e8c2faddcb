// The main program's program-wide values and seams, in one object the program
// owns (a test builds a fresh one): the preview and channel state, the shared
// current-event record and the Add Event dialog's mode word, and how
// components are created.
#pragma once

#include "platform/automation.h"
#include "platform/dates.h"
#include "platform/product.h"
#include "platform/sysinfo.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vesper {

// The main window's caption, stored as AppTitle.
inline constexpr const char* kAppTitle = "Vesper Home - Digital Video Recorder";

// The channels the main program offers.
inline constexpr int16_t kLowestChannel = 2;
inline constexpr int16_t kHighestChannel = 181;

// The Add Event dialog's modes.
namespace mode {
inline constexpr const char* AddEvent = "AddEvent";
inline constexpr const char* AddEventRecordNow = "AddEventRecordNow";
inline constexpr const char* AddEventExternal = "AddEventExternal";
inline constexpr const char* UpdateEvent = "UpdateEvent";
} // namespace mode

// One recording event's six values, in their order.
struct EventRecord {
    DateTime dt = 0;
    int16_t channel = 0;
    int16_t duration = 0;
    bool bActive = false;
    std::string every;
    std::string filename;
};

// Creates an automation object by ProgID; nullptr when it cannot be created.
using ComponentFactory = std::function<ObjectPtr(const std::string& progId)>;

struct Program {
    // Preview and channel (tuner client, TV window, recording tick).
    bool g_bPreview = false;
    bool g_bTvPreviewDetach = false;
    std::string g_sChannel = "2";
    std::string g_sChannelPrevious = "2";

    // Free bytes last measured on the output folder's drive; -1 when the
    // measurement failed.
    double g_dFreeBytes = 0;
    // The profile picked in the profile list ("Advance ..." choice).
    std::string g_sAdvanceProfile;
    // The encoder's profile names, sorted, as read at start-up.
    std::vector<std::string> profileList;
    // Their total bit rates (bits per second) where the engine tells them.
    std::map<std::string, int32_t> profileBitRates;

    // The previous run of this version ended normally; the main window has
    // unloaded.
    bool g_bCleanExit = false;
    bool g_bAppUnloading = false;

    // The shared current-event record and the Add Event dialog's mode word:
    // the opener fills both before it opens the dialog.
    EventRecord currentEvent;
    std::string modeWord;
    // A channel outside the tuner's range that an external event asks for,
    // as it came ("200"); empty when none. The dialog shows it for the user
    // to correct rather than schedule another channel in its place.
    std::string refusedChannel;

    // Seams: how components are created (by ProgID, so every recording gets a
    // fresh encoder object) and how free space is measured.
    ComponentFactory createObject = [](const std::string& progId) { return TryCreateObject(progId); };
    std::function<long long(const std::string& path)> freeBytes = [](const std::string& path) {
        return freeDiskSpace(path);
    };
};

} // namespace vesper
