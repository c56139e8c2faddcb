// The built-in virtual TV cards: their description (default card or the file
// named by VESPER_VIRTUAL_CARDS) and the state of their "hardware" (tuned
// channel, crossbar switches, video standard), shared by the capture graph
// that sets it and the stream that shows it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vesper::capture {

// Physical connector types of crossbar pins.
enum PhysicalConnector : long {
    PhysConn_Video_Tuner = 1,
    PhysConn_Video_Composite = 2,
    PhysConn_Video_SVideo = 3,
    PhysConn_Video_RGB = 4,
    PhysConn_Video_YRYBY = 5,
    PhysConn_Video_SerialDigital = 6,
    PhysConn_Video_ParallelDigital = 7,
    PhysConn_Video_SCSI = 8,
    PhysConn_Video_AUX = 9,
    PhysConn_Video_1394 = 10,
    PhysConn_Video_USB = 11,
    PhysConn_Video_VideoDecoder = 12,
    PhysConn_Video_VideoEncoder = 13,
    PhysConn_Audio_Tuner = 4096,
    PhysConn_Audio_Line = 4097,
    PhysConn_Audio_Mic = 4098,
    PhysConn_Audio_AESDigital = 4099,
    PhysConn_Audio_SPDIFDigital = 4100,
    PhysConn_Audio_SCSI = 4101,
    PhysConn_Audio_AUX = 4102,
    PhysConn_Audio_1394 = 4103,
    PhysConn_Audio_USB = 4104,
    PhysConn_Audio_AudioDecoder = 4105,
};

// The connector's name as the crossbar router shows it; "Unknown" otherwise.
const char* connectorName(long type);
// The type for a name of that table; 0 when there is none.
long connectorType(const std::string& name);
inline bool isAudioConnector(long type) { return type >= 4096; }

struct CrossbarPinDescription {
    long type = 0;
    long related = -1;
};

struct CrossbarDescription {
    std::vector<CrossbarPinDescription> inputs;
    std::vector<CrossbarPinDescription> outputs;
    // For every crossbar but the first: the input of the crossbar downstream
    // that this one's output drives.
    int feedsInput = 0;
    int feedsOutput = 0;
};

struct VirtualCardDescription {
    std::string video; // empty with hasVideo false
    std::string audio;
    bool hasVideo = false;
    bool hasAudio = false;
    bool tuner = true;
    bool decoder = true;
    bool streamCarriesAudio = false;
    bool busy = false;
    bool moving = true; // the test pattern moves
    // Faults the card injects on demand, so that every failure of a recording
    // can be reproduced without hardware (0 or empty: none).
    double vanishAfter = 0;             // seconds after a stream starts: it ends with an error
    std::vector<long> noSignalChannels; // channels whose carrier is missing
    bool noSignalAnywhere = false;      // no channel has a carrier
    double writerDiesAfter = 0;         // seconds into a recording from the card: its writer dies
    bool noSignalOn(long channel) const;
    int width = 640;
    int height = 480;
    int fpsNum = 30000;
    int fpsDen = 1001;
    std::vector<CrossbarDescription> crossbars;
};

struct VirtualCardSet {
    std::vector<VirtualCardDescription> cards;
    bool realDevices = true;
    // Why the description file could not be used (the default card is then
    // used instead); empty when all was well.
    std::string problem;
};

// The default crossbar: tuner, composite and S-Video with their sound.
CrossbarDescription defaultCrossbar();
VirtualCardDescription defaultVirtualCard();
// The card's picture as a pipeline description, up to its caption overlay
// (named "overlay", caption not set).
std::string virtualVideoSource(const VirtualCardDescription& card);
// Parses a description (see device_stream.h); throws std::runtime_error with
// a readable message on a bad description.
VirtualCardSet parseVirtualCards(const std::string& json);
// The current set: the default card, or the file VESPER_VIRTUAL_CARDS names.
VirtualCardSet loadVirtualCards();

// Video standards of the analog video decoder (one bit each).
enum AnalogVideoStandard : long {
    AnalogVideo_None = 0,
    AnalogVideo_NTSC_M = 0x1,
    AnalogVideo_NTSC_M_J = 0x2,
    AnalogVideo_NTSC_433 = 0x4,
    AnalogVideo_PAL_B = 0x10,
    AnalogVideo_PAL_D = 0x20,
    AnalogVideo_PAL_G = 0x40,
    AnalogVideo_PAL_H = 0x80,
    AnalogVideo_PAL_I = 0x100,
    AnalogVideo_PAL_M = 0x200,
    AnalogVideo_PAL_N = 0x400,
    AnalogVideo_PAL_60 = 0x800,
    AnalogVideo_SECAM_B = 0x1000,
    AnalogVideo_SECAM_D = 0x2000,
    AnalogVideo_SECAM_G = 0x4000,
    AnalogVideo_SECAM_H = 0x8000,
    AnalogVideo_SECAM_K = 0x10000,
    AnalogVideo_SECAM_K1 = 0x20000,
    AnalogVideo_SECAM_L = 0x40000,
    AnalogVideo_SECAM_L1 = 0x80000,
    AnalogVideo_PAL_N_COMBO = 0x100000,
};
constexpr long kAllVideoStandards = 0x1FFF77;
// "NTSC M", "PAL B", ...; "" for a value that is not one standard.
std::string videoStandardName(long standard);

// The live state of one virtual card, changed by the graph's tuner, crossbar
// and decoder, read by its stream for the picture and the tone.
class VirtualHardware {
public:
    explicit VirtualHardware(VirtualCardDescription description);

    const VirtualCardDescription& description() const { return m_description; }

    // Crossbar k: which input drives output `out` (-1: none).
    long routedInput(size_t crossbar, long out) const;
    void route(size_t crossbar, long out, long in);

    long channel() const { return get(m_channel); }
    // The tuned channel and its carrier in Hz.
    void setChannel(long channel, int64_t hz);
    int64_t frequency() const;
    long countryCode() const { return get(m_country); }
    void setCountryCode(long code) { set(m_country, code); }
    // The input type put, else the country's power-on type (cable in the
    // Americas, antenna elsewhere).
    long inputType() const;
    void setInputType(long type) { set(m_inputType, type); }
    long videoStandard() const { return get(m_standard); }
    void setVideoStandard(long standard) { set(m_standard, standard); }

    // The physical connector that reaches the capture pin through the
    // crossbars as switched now (0 when none does).
    long routedConnector() const;

    // Whether the tuned channel has a carrier (the card's "noSignal" fault).
    bool signalPresent() const;
    // The picture and sound show "no signal": the tuner is routed to the
    // capture pin and its channel has no carrier.
    bool showsNoSignal() const;

    // What the picture shows and the tone's pitch.
    std::string overlayText() const;
    double toneFrequency() const;

    // Moves on every change, so the stream can pick changes up cheaply.
    unsigned generation() const { return m_generation.load(); }

private:
    void changed() { ++m_generation; }
    long get(const long& field) const {
        std::lock_guard lock(m_mutex);
        return field;
    }
    void set(long& field, long value) {
        {
            std::lock_guard lock(m_mutex);
            field = value;
        }
        changed();
    }

    VirtualCardDescription m_description;
    mutable std::mutex m_mutex;
    std::vector<std::vector<long>> m_routing; // [crossbar][output] = input
    long m_channel = 2;
    int64_t m_frequency = 55250000; // channel 2 on the power-on plan
    long m_country = 1;
    long m_inputType = -1; // none put yet
    long m_standard = AnalogVideo_NTSC_M;
    std::atomic<unsigned> m_generation{1};
};

// The hardware of the n-th card of the current description (one per card and
// name for the life of the process, so every user sees the same state).
std::shared_ptr<VirtualHardware> virtualHardware(const VirtualCardDescription& description, size_t index);

} // namespace vesper::capture
