// The channel plans against a second, independently typed description of
// the public analog frequency lists, the country table, the user's own lists
// and what the tuner does with them.
#include "capture/capture_commands.h"
#include "capture/channel_tables.h"
#include "capture/virtual_card.h"

#include "capture/tests/capture_test_util.h"

#include "platform/registry.h"
#include "platform/testing/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <set>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vesper::capture;
using vesper::capture::captest::CardsFile;

namespace {

// Channels first..last from startKHz, stepKHz apart.
struct Run {
    long first, last;
    int64_t startKHz, stepKHz = 0;
};
using Runs = std::vector<Run>;

const Runs kUhf = {{21, 69, 471250, 8000}};
Runs operator+(Runs a, const Runs& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::map<long, int64_t> expand(const Runs& runs) {
    std::map<long, int64_t> m;
    for (const auto& r : runs)
        for (long c = r.first; c <= r.last; ++c)
            m[c] = (r.startKHz + r.stepKHz * (c - r.first)) * 1000;
    return m;
}

const Runs kJapanVhf = {{1, 3, 91250, 6000}, {4, 7, 171250, 6000}, {8, 12, 193250, 6000}};
// The CCIR E channels from a number (2 where they stand alone, 72 beside the
// OIRT R channels) and the CCIR channels every western list has.
Runs ccirVhf(long e2) { return {{e2, e2 + 2, 48250, 7000}, {e2 + 3, e2 + 10, 175250, 7000}}; }
const Runs kCcirRest = {{142, 144, 69250, 7000},
                        {101, 110, 105250, 7000},
                        {111, 120, 231250, 7000},
                        {121, 141, 303250, 8000},
                        {21, 69, 471250, 8000}};
const Runs kCcir = ccirVhf(2) + kCcirRest;
const Runs kOirt = {
    {1, 1, 49750},           {2, 2, 59250}, {3, 5, 77250, 8000}, {6, 12, 175250, 8000}, {151, 158, 111250, 8000},
    {161, 169, 231250, 8000}};
const Runs kIreland = [] {
    const int64_t khz[] = {45750,  48000,  53750,  56000,  61750,  64000,  175250, 176000, 183250, 184000,
                           191250, 192000, 199250, 200000, 207250, 208000, 215250, 216000, 224000, 232000,
                           248000, 256000, 264000, 272000, 280000, 288000, 296000, 304000, 312000, 320000,
                           344000, 352000, 408000, 416000, 448000, 480000, 520000};
    Runs r;
    for (long i = 0; i < 37; ++i)
        r.push_back({100 + i, 100 + i, khz[i]});
    return r;
}();

// Every built-in plan, channel by channel, as the public lists give it (with
// the numbering of named channels, and the two corrections noted in README).
const std::map<std::string, Runs> kExpected = {
    {"us-bcast", {{2, 4, 55250, 6000}, {5, 6, 77250, 6000}, {7, 13, 175250, 6000}, {14, 83, 471250, 6000}}},
    {"us-cable",
     {{1, 1, 73250},
      {2, 4, 55250, 6000},
      {5, 6, 77250, 6000},
      {7, 13, 175250, 6000},
      {14, 22, 121250, 6000},
      {23, 94, 217250, 6000},
      {95, 99, 91250, 6000},
      {100, 158, 649250, 6000},
      {171, 178, 8250, 6000}}},
    {"us-cable-hrc",
     {{1, 1, 72000},
      {2, 4, 54000, 6000},
      {5, 6, 78000, 6000},
      {7, 13, 174000, 6000},
      {14, 22, 120000, 6000},
      {23, 94, 216000, 6000},
      {95, 99, 90000, 6000},
      {100, 158, 648000, 6000},
      {171, 178, 7000, 6000}}},
    {"us-cable-irc",
     {{1, 1, 73250},
      {2, 4, 55250, 6000},
      {5, 6, 79250, 6000},
      {7, 13, 175250, 6000},
      {14, 22, 121150, 6000},
      {23, 94, 217250, 6000},
      {95, 99, 91250, 6000},
      {100, 158, 649250, 6000},
      {171, 178, 8250, 6000}}},
    {"japan-bcast", kJapanVhf + Runs{{13, 62, 471250, 6000}}},
    {"japan-cable", kJapanVhf + Runs{{13, 21, 109250, 6000},
                                     {22, 22, 165250},
                                     {23, 23, 223250},
                                     {24, 27, 231250, 6000},
                                     {28, 63, 253250, 6000}}},
    {"europe-west", kCcir},
    {"europe-east", kOirt + ccirVhf(72) + kCcirRest},
    {"italy", Runs{{2, 2, 53750},
                   {3, 3, 62250},
                   {4, 4, 82250},
                   {5, 5, 175250},
                   {6, 6, 183750},
                   {7, 7, 192250},
                   {8, 8, 201250},
                   {9, 9, 210250},
                   {10, 11, 217250, 7000}} +
                  kUhf},
    {"ireland", kIreland + kUhf},
    {"france", Runs{{1, 1, 47750},
                    {2, 2, 55750},
                    {3, 3, 60500},
                    {4, 4, 63750},
                    {5, 10, 176000, 8000},
                    {102, 104, 116750, 12000},
                    {105, 105, 159750},
                    {106, 117, 164750, 12000},
                    {121, 139, 303250, 8000}} +
                   kUhf},
    {"newzealand", Runs{{1, 1, 45250}, {2, 2, 55250}, {3, 3, 62250}, {4, 11, 175250, 7000}} + kUhf},
    {"australia",
     {{0, 0, 46250},
      {1, 1, 57250},
      {2, 2, 64250},
      {3, 3, 86250},
      {4, 5, 95250, 7000},
      {105, 105, 138250},
      {6, 9, 175250, 7000},
      {10, 11, 209250, 7000},
      {28, 36, 527250, 7000},
      {39, 69, 604250, 7000}}},
    {"australia-optus",
     {{1, 1, 138250},
      {2, 9, 147250, 7000},
      {10, 11, 209250, 7000},
      {12, 12, 224250},
      {13, 22, 231250, 7000},
      {23, 26, 303250, 7000},
      {27, 55, 338250, 7000}}},
    {"china-bcast",
     {{1, 3, 49750, 8000},
      {4, 5, 77250, 8000},
      {6, 49, 112250, 8000},
      {50, 50, 463250},
      {51, 62, 471250, 8000},
      {63, 94, 607250, 8000}}},
    {"southafrica", Runs{{4, 13, 175250, 8000}} + kUhf},
    {"secam-k1", Runs{{4, 13, 175250, 8000}} + kUhf},
    {"argentina",
     {{1, 3, 56250, 6000}, {4, 5, 78250, 6000}, {6, 12, 176250, 6000}, {13, 21, 122250, 6000}, {22, 93, 218250, 6000}}},
    {"russia",
     {{1, 1, 49750},
      {2, 2, 59250},
      {3, 5, 77250, 8000},
      {151, 158, 111250, 8000},
      {6, 12, 175250, 8000},
      {161, 168, 231250, 8000},
      {119, 140, 295250, 8000},
      {21, 69, 471250, 8000}}},
};

double mhz(const char* plan, long channel) {
    const ChannelPlan* p = builtInPlan(plan);
    if (!p) return -2;
    auto f = p->frequency(channel);
    return f ? static_cast<double>(*f) / 1e6 : -1;
}

// The hive value naming a list for an input, removed again at the end.
struct ListSetting {
    ListSetting(bool cable, const std::string& value)
        : name(cable ? kCableChannelListValue : kAntennaChannelListValue) {
        EXPECT_TRUE(vesper::registry::setString(kTunerPropertiesKey, name, value));
    }
    ~ListSetting() { vesper::registry::deleteValue(kTunerPropertiesKey, name); }
    const char* name;
};

std::string cardsJson(const std::string& name) {
    return R"({"realDevices": false, "cards": [{"video": ")" + name + R"(", "audio": ")" + name + R"( Audio"}]})";
}

} // namespace

TEST(ChannelPlans, EveryPlanMatchesThePublicListChannelByChannel) {
    std::set<std::string> names;
    for (const auto& n : builtInPlanNames())
        names.insert(n);
    std::set<std::string> expected;
    for (const auto& [n, runs] : kExpected)
        expected.insert(n);
    EXPECT_EQ(names, expected);
    for (const auto& [name, runs] : kExpected) {
        const ChannelPlan* plan = builtInPlan(name);
        ASSERT_NE(plan, nullptr) << name;
        EXPECT_EQ(plan->carriers, expand(runs)) << name;
    }
}

TEST(ChannelPlans, BandEdgesAndJumps) {
    // Japan cable steps 6 MHz but jumps 2 MHz after 21 and 23.
    EXPECT_DOUBLE_EQ(mhz("japan-cable", 21), 157.25);
    EXPECT_DOUBLE_EQ(mhz("japan-cable", 22), 165.25);
    EXPECT_DOUBLE_EQ(mhz("japan-cable", 23), 223.25);
    EXPECT_DOUBLE_EQ(mhz("japan-cable", 24), 231.25);
    EXPECT_DOUBLE_EQ(mhz("japan-cable", 27), 249.25);
    EXPECT_DOUBLE_EQ(mhz("japan-cable", 28), 253.25);
    EXPECT_DOUBLE_EQ(mhz("japan-cable", 63), 463.25);
    EXPECT_EQ(mhz("japan-cable", 64), -1);
    // US cable: the mid band sits below 7-13, 95-99 below the mid band.
    EXPECT_DOUBLE_EQ(mhz("us-cable", 13), 211.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 14), 121.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 22), 169.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 23), 217.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 94), 643.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 95), 91.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 99), 115.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 100), 649.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 125), 799.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 158), 997.25);
    EXPECT_EQ(mhz("us-cable", 159), -1);
    EXPECT_DOUBLE_EQ(mhz("us-cable", 171), 8.25); // T7
    EXPECT_DOUBLE_EQ(mhz("us-cable-hrc", 5), 78.0);
    EXPECT_DOUBLE_EQ(mhz("us-cable-hrc", 95), 90.0);
    EXPECT_DOUBLE_EQ(mhz("us-cable-irc", 6), 85.25);
    EXPECT_DOUBLE_EQ(mhz("us-cable-irc", 14), 121.15);
    EXPECT_DOUBLE_EQ(mhz("us-bcast", 83), 885.25);
    EXPECT_EQ(mhz("us-bcast", 84), -1);
    // Named channels at their numbers.
    EXPECT_DOUBLE_EQ(mhz("europe-west", 4), 62.25);    // E4
    EXPECT_DOUBLE_EQ(mhz("europe-west", 142), 69.25);  // S01
    EXPECT_DOUBLE_EQ(mhz("europe-west", 110), 168.25); // SE10
    EXPECT_DOUBLE_EQ(mhz("europe-west", 111), 231.25); // SE11
    EXPECT_DOUBLE_EQ(mhz("europe-west", 120), 294.25); // SE20
    EXPECT_DOUBLE_EQ(mhz("europe-west", 121), 303.25); // S21
    EXPECT_DOUBLE_EQ(mhz("europe-west", 141), 463.25); // S41
    EXPECT_EQ(mhz("europe-west", 13), -1);             // no E13
    EXPECT_DOUBLE_EQ(mhz("europe-east", 1), 49.75);    // R1
    EXPECT_DOUBLE_EQ(mhz("europe-east", 72), 48.25);   // E2
    EXPECT_EQ(mhz("europe-east", 71), -1);             // no E1
    EXPECT_DOUBLE_EQ(mhz("europe-east", 158), 167.25); // SR8
    EXPECT_EQ(mhz("europe-east", 159), -1);            // no SR9
    EXPECT_DOUBLE_EQ(mhz("europe-east", 161), 231.25); // SR11
    EXPECT_DOUBLE_EQ(mhz("italy", 9), 210.25);         // H
    EXPECT_DOUBLE_EQ(mhz("italy", 11), 224.25);        // H2
    EXPECT_DOUBLE_EQ(mhz("ireland", 136), 520.0);      // A36
    EXPECT_DOUBLE_EQ(mhz("france", 3), 60.5);          // K03
    EXPECT_DOUBLE_EQ(mhz("france", 105), 159.75);      // KE
    EXPECT_DOUBLE_EQ(mhz("france", 139), 447.25);      // H19
    EXPECT_DOUBLE_EQ(mhz("australia", 105), 138.25);   // 5A
    EXPECT_DOUBLE_EQ(mhz("australia", 36), 583.25);    // on the raster
    EXPECT_EQ(mhz("australia", 37), -1);
    EXPECT_DOUBLE_EQ(mhz("australia-optus", 26), 324.25);
    EXPECT_DOUBLE_EQ(mhz("australia-optus", 27), 338.25);
    EXPECT_DOUBLE_EQ(mhz("china-bcast", 49), 456.25);
    EXPECT_DOUBLE_EQ(mhz("china-bcast", 50), 463.25);
    EXPECT_DOUBLE_EQ(mhz("china-bcast", 62), 559.25);
    EXPECT_DOUBLE_EQ(mhz("china-bcast", 63), 607.25);
    EXPECT_DOUBLE_EQ(mhz("argentina", 1), 56.25); // 001
    EXPECT_DOUBLE_EQ(mhz("argentina", 93), 644.25);
    EXPECT_DOUBLE_EQ(mhz("russia", 140), 463.25); // S40
    EXPECT_DOUBLE_EQ(mhz("russia", 65), 823.25);  // on the raster
    EXPECT_DOUBLE_EQ(mhz("southafrica", 13), 247.25);
}

TEST(ChannelPlans, ChannelNamesAndTheirNumbers) {
    const std::pair<const char*, long> cases[] = {
        {"2", 2},     {"021", 21},  {"E2", 2},    {"e12", 12}, {"S01", 142}, {"S03", 144}, {"SE1", 101},  {"S1", 101},
        {"S20", 120}, {"S21", 121}, {"S41", 141}, {"R1", 71},  {"R12", 82},  {"SR1", 151}, {"SR19", 169}, {"SK11", 161},
        {"T7", 171},  {"T14", 178}, {"A", 2},     {"H", 9},    {"H1", 10},   {"H2", 11},   {"A0", 100},   {"A36", 136},
        {"K01", 1},   {"K10", 10},  {"KB", 102},  {"KQ", 117}, {"H01", 121}, {"H19", 139}, {"5A", 105},   {" 7 ", 7},
    };
    for (const auto& [name, number] : cases)
        EXPECT_EQ(channelNumberForName(name), std::optional<long>(number)) << name;
    for (const char* bad : {"", "X1", "I", "J", "S123", "1000", "K1", "E2B", "5B", "-3", "KA"})
        EXPECT_EQ(channelNumberForName(bad), std::nullopt) << bad;
    // Numbered the OIRT way, the R channels come first and the E channels move.
    const std::pair<const char*, long> oirt[] = {{"R1", 1},    {"R12", 12},  {"E2", 72},   {"E12", 82},
                                                 {"SR1", 151}, {"S21", 121}, {"SE1", 101}, {"21", 21}};
    for (const auto& [name, number] : oirt)
        EXPECT_EQ(channelNumberForName(name, ChannelNumbering::Oirt), std::optional<long>(number)) << name;
}

TEST(ChannelPlans, CountryCodesSelectTheirPlans) {
    struct Group {
        const char* broadcast;
        const char* cable;
        std::vector<long> codes;
    };
    const Group groups[] = {
        {"us-bcast", "us-cable", {1,   51,  52,  53,  55,  56,  57,  58,  63,  82,  95,  297, 501, 502, 503, 504,
                                  505, 506, 507, 509, 591, 592, 593, 595, 597, 598, 599, 680, 685, 691, 692, 886}},
        {"us-bcast", "argentina", {54}},
        {"japan-bcast", "japan-cable", {81}},
        {"china-bcast", "china-bcast", {86}},
        {"australia", "australia-optus", {61}},
        {"australia", "australia", {672, 674, 675, 676, 677, 678, 679, 686, 688}},
        {"newzealand", "newzealand", {64, 682, 683, 690}},
        {"southafrica", "southafrica", {27, 264, 266, 267, 268}},
        {"ireland", "ireland", {353}},
        {"italy", "europe-west", {39, 378, 379}},
        {"france", "france", {33, 377}},
        {"secam-k1", "secam-k1", {221, 225, 226, 227, 228, 229, 235, 236, 241, 242, 243, 250,
                                  257, 261, 262, 269, 508, 590, 594, 596, 681, 687, 689}},
        {"russia", "russia", {7}},
        {"europe-east", "europe-east", {36,  40,  42,  48,  84,  93,  359, 370, 371, 372, 373, 374,
                                        375, 380, 420, 421, 850, 976, 992, 993, 994, 995, 996, 998}},
        {"europe-west",
         "europe-west",
         {20,  30,  31,  32,  34,  38,  41,  43,  44,  45,  46,  47,  49,  60,  62,  65,  66,  90,  91,  92,  94,
          98,  211, 212, 213, 216, 218, 220, 222, 223, 224, 230, 231, 232, 233, 234, 237, 238, 239, 240, 244, 245,
          246, 247, 248, 249, 251, 252, 253, 254, 255, 256, 258, 260, 263, 265, 290, 291, 298, 299, 350, 351, 352,
          354, 355, 356, 357, 358, 376, 381, 382, 383, 385, 386, 387, 389, 423, 500, 670, 673, 852, 853, 855, 856,
          880, 960, 961, 962, 963, 964, 965, 966, 967, 968, 970, 971, 972, 973, 974, 975, 977}},
    };
    std::set<long> all;
    for (const auto& g : groups)
        for (long code : g.codes) {
            EXPECT_TRUE(all.insert(code).second) << code << " twice in the test";
            const CountryPlans* c = countryPlans(code);
            ASSERT_NE(c, nullptr) << code;
            EXPECT_STREQ(c->broadcast, g.broadcast) << code;
            EXPECT_STREQ(c->cable, g.cable) << code;
            EXPECT_EQ(countryChannelPlan(code, false), builtInPlan(g.broadcast)) << code;
            EXPECT_EQ(countryChannelPlan(code, true), builtInPlan(g.cable)) << code;
        }
    EXPECT_EQ(all.size(), countryTable().size());
    for (long code : {0L, 2L, 999L, 1000L, -1L}) {
        EXPECT_FALSE(isKnownCountryCode(code)) << code;
        EXPECT_EQ(countryChannelPlan(code, true), nullptr);
    }
    // Powered on at cable in the Americas, at antenna elsewhere; a type put wins.
    EXPECT_EQ(effectiveInputType(1, -1), 0);
    EXPECT_EQ(effectiveInputType(54, -1), 0);
    EXPECT_EQ(effectiveInputType(598, -1), 0);
    EXPECT_EQ(effectiveInputType(44, -1), 1);
    EXPECT_EQ(effectiveInputType(81, -1), 1);
    EXPECT_EQ(effectiveInputType(1, 1), 1);
    EXPECT_EQ(effectiveInputType(44, 0), 0);
}

TEST(ChannelPlans, CountriesTuneTheNumbersOfTheirOwnListings) {
    struct Case {
        long country, channel;
        double mhz;
    };
    const Case cases[] = {
        {33, 2, 55.75},    {33, 5, 176.00},   {33, 10, 216.00},  // France: K02, K05, K10
        {48, 1, 49.75},    {48, 6, 175.25},   {420, 12, 223.25}, // Poland, Czech Republic: R1, R6, R12
        {380, 75, 175.25}, {36, 121, 303.25},                    // Ukraine E5, Hungary S21
        {221, 4, 175.25},  {221, 9, 215.25},  {262, 5, 183.25},  {689, 21, 471.25}, // Senegal, Reunion, Polynesia
    };
    for (const auto& c : cases) {
        const auto hz = channelFrequency(c.country, false, c.channel);
        ASSERT_TRUE(hz) << c.country << " " << c.channel;
        EXPECT_DOUBLE_EQ(static_cast<double>(*hz) / 1e6, c.mhz) << c.country << " " << c.channel;
    }
    EXPECT_EQ(channelFrequency(33, false, 11), std::nullopt); // France has no channel 11
}

TEST(ChannelPlans, ListTextFormAndItsErrors) {
    const ChannelPlan p =
        parseChannelList("# local plan\n\n; note\n E5 = 175.25\n21=471250 kHz\r\nS21 = 303.25 MHz\n", "mine");
    EXPECT_EQ(p.carriers, (std::map<long, int64_t>{{5, 175250000}, {21, 471250000}, {121, 303250000}}));
    EXPECT_EQ(p.labels.at(121), "S21");
    // A byte-order mark first and comments after values, as editors and people write them.
    EXPECT_EQ(parseChannelList("\xEF\xBB\xBF"
                               "2 = 55.25  # my local\r\nE5=175.25#\n",
                               "mine")
                  .carriers,
              (std::map<long, int64_t>{{2, 55250000}, {5, 175250000}}));
    // A list with R channels is numbered the OIRT way.
    EXPECT_EQ(parseChannelList("R6 = 175.25\nE5 = 175.25\n", "mine").carriers,
              (std::map<long, int64_t>{{6, 175250000}, {75, 175250000}}));
    auto error = [](const char* text) {
        try {
            parseChannelList(text, "x");
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(error(""), "the list has no channel");
    EXPECT_EQ(error("# only a comment\n"), "the list has no channel");
    EXPECT_EQ(error("2 = 55.25\n3 55.25\n"), "line 2: not \"name = frequency\"");
    EXPECT_EQ(error("Z9 = 55.25"), "line 1: \"Z9\" is not a channel name");
    EXPECT_EQ(error("2 = fast"), "line 1: \"fast\" is not a frequency from 1 to 1000 MHz");
    EXPECT_EQ(error("2 = 1200"), "line 1: \"1200\" is not a frequency from 1 to 1000 MHz");
    EXPECT_EQ(error("2 = 55.2500001"), "line 1: \"55.2500001\" is not a frequency from 1 to 1000 MHz");
    EXPECT_EQ(error("2 = 55.25\nE2 = 48.25"), "line 2: \"E2\" is channel 2 again (\"2\" came first)");
    EXPECT_EQ(error("R1 = 49.75\n1 = 48.25"), "line 2: \"1\" is channel 1 again (\"R1\" came first)");
    // What is refused is quoted safely: printable ASCII as it is, the rest escaped, long text cut.
    EXPECT_EQ(error("\x1B]0;title\x07\xFF\\ = 1"), "line 1: \"\\x1B]0;title\\x07\\xFF\\\\\" is not a channel name");
    EXPECT_EQ(error("2 = 5\"5\x9B"), "line 1: \"5\\\"5\\x9B\" is not a frequency from 1 to 1000 MHz");
    const std::string cut = error((std::string(5000, 'Q') + " = 55.25").c_str());
    EXPECT_EQ(cut, "line 1: \"" + std::string(40, 'Q') + "...\" is not a channel name");
}

TEST(ChannelPlans, UserListNamedInTheSettingsOrTheBuiltInPlanStays) {
    const std::string folder = vesper::test::makeFolder("lists");
    // No setting: the country's plan.
    EXPECT_EQ(activeChannelPlan(1, true)->name, "us-cable");
    {
        ListSetting s(true, "US-Cable-HRC");
        EXPECT_EQ(activeChannelPlan(1, true)->name, "us-cable-hrc");
        EXPECT_EQ(activeChannelPlan(1, false)->name, "us-bcast"); // the other input keeps its own
        EXPECT_EQ(channelFrequency(1, true, 2), 54000000);
    }
    {
        const std::string good = vesper::test::writeFile(folder + "/local.list", "2 = 57.00\n3 = 63.00\n");
        ListSetting s(false, good);
        EXPECT_EQ(activeChannelPlan(44, false)->name, good);
        EXPECT_EQ(channelFrequency(44, false, 2), 57000000);
        EXPECT_EQ(channelFrequency(44, false, 21), std::nullopt); // the list replaces the plan
        // A changed file is read again.
        vesper::test::writeFile(good, "2 = 57.00\n3 = 63.00\n4 = 69.00\n");
        EXPECT_EQ(channelFrequency(44, false, 4), 69000000);
        // A setting for an unknown country still gives a plan.
        EXPECT_EQ(channelFrequency(999, false, 3), 63000000);
    }
    const std::string big = folder + "/big.list";
    {
        std::ofstream out(big, std::ios::binary);
        const std::string line = "2 = 55.25\n";
        for (size_t n = 0; n < 10 * 1024 * 1024 / line.size(); ++n)
            out << line;
    }
    const std::pair<std::string, std::string> bad[] = {
        {folder + "/missing.list", "the file does not exist"},
        {vesper::test::writeFile(folder + "/empty.list", ""), "the list has no channel"},
        {vesper::test::writeFile(folder + "/bad.list", "2 = 55.25\nthree = 61.25\n"),
         "line 2: \"three\" is not a channel name"},
        {big, "the file is larger than 1024 KB"},
        {folder, "it is a folder, not a file"},
        {vesper::test::writeFile(folder + "/binary.list", std::string("2 = 55.25\n\0\1", 12)), "the file is not text"},
        {vesper::test::writeFile(folder + "/garbage.list", "\x1B[2J\xC3\xA9 = 1\n"),
         "line 1: \"\\x1B[2J\\xC3\\xA9\" is not a channel name"},
        {folder + "/pipe.list", "it is a pipe, not a file"},
        {folder + "/socket.list", "it is a socket, not a file"},
        {"/dev/null", "it is a device, not a file"},
    };
    // A pipe nobody writes to, and a socket: neither may be waited on.
    ASSERT_EQ(mkfifo((folder + "/pipe.list").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/socket.list", folder.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(sock, 1), 0);
    // The lookup on a thread, with a guard against a hang (not a measure: it
    // takes no time at all); a reader stuck on the pipe is let go.
    auto lookUp = [](const std::string& path) {
        auto lookup = std::async(std::launch::async, [] { return activeChannelPlan(44, true); });
        if (lookup.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            ADD_FAILURE() << "the lookup waits on " << path;
            const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        }
        return lookup.get();
    };
    for (const auto& [path, why] : bad) {
        ListSetting s(true, path);
        testing::internal::CaptureStderr();
        const auto plan = lookUp(path);
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_NE(plan, nullptr) << path;
        EXPECT_EQ(plan->name, "europe-west") << path;
        EXPECT_NE(err.find("Capgraph: channel list \"" + path + "\" not used, the built-in plan stays: " + why),
                  std::string::npos)
            << err;
        EXPECT_TRUE(std::all_of(err.begin(), err.end(), [](char c) { return c == '\n' || (c >= ' ' && c <= '~'); }))
            << err;
        // Said once, not on every channel change.
        testing::internal::CaptureStderr();
        lookUp(path);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << path;
    }
    ::close(sock);
}

TEST(ChannelPlans, VirtualTunerPowersOnAtCableAndSaysWhyItRefusesAChannel) {
    CardsFile f(cardsJson("Fresh Tuner Card"));
    CaptureState state;
    CaptureCommands cmd(state);
    ASSERT_EQ(cmd.Init("Fresh Tuner Card", "Fresh Tuner Card Audio"), "OK");
    auto hw = virtualHardware(loadVirtualCards().cards.at(0), 0);
    // Default settings: nothing sent but the channel; every channel the main
    // program offers that US cable has is tuned.
    EXPECT_EQ(hw->inputType(), kTunerInputCable);
    for (long ch = 2; ch <= 158; ++ch) {
        ASSERT_EQ(cmd.SetChannel(std::to_string(ch)), "OK");
        ASSERT_EQ(hw->channel(), ch);
        ASSERT_EQ(hw->frequency(), *builtInPlan("us-cable")->frequency(ch));
    }
    EXPECT_NE(hw->overlayText().find("997.25 MHz"), std::string::npos);
    // Beyond the plan's end: refused, still "OK", and said on standard error.
    testing::internal::CaptureStderr();
    EXPECT_EQ(cmd.SetChannel("159"), "OK");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(hw->channel(), 158);
    EXPECT_NE(err.find("Capgraph: channel 159 refused (country 1, cable): the channel plan \"us-cable\" has no such "
                       "channel"),
              std::string::npos)
        << err;
    // Another country with no input type put: its own power-on type.
    EXPECT_EQ(cmd.SetCountryCode("44"), "OK");
    EXPECT_EQ(hw->inputType(), kTunerInputAntenna);
    EXPECT_EQ(cmd.SetChannel("21"), "OK");
    EXPECT_EQ(hw->frequency(), 471250000);
    EXPECT_EQ(cmd.SetInputType("0"), "OK"); // cable put: it stays
    EXPECT_EQ(cmd.SetCountryCode("61"), "OK");
    EXPECT_EQ(hw->inputType(), kTunerInputCable);
    EXPECT_EQ(cmd.SetChannel("27"), "OK"); // Optus 27
    EXPECT_EQ(hw->frequency(), 338250000);
    testing::internal::CaptureStderr();
    EXPECT_EQ(cmd.SetCountryCode("999"), "Not OK");
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Capgraph: country code 999 refused: no channel plan for it"), std::string::npos) << err;
    EXPECT_EQ(cmd.Release(), "OK");
}

TEST(ChannelPlans, EveryCountryAndInputTunesExactlyItsPlanFrom2To181) {
    CardsFile f(cardsJson("Sweep Card"));
    CaptureState state;
    CaptureCommands cmd(state);
    ASSERT_EQ(cmd.Init("Sweep Card", "Sweep Card Audio"), "OK");
    auto hw = virtualHardware(loadVirtualCards().cards.at(0), 0);
    // One country for each pair of plans.
    std::map<std::pair<std::string, std::string>, long> sample;
    for (const auto& c : countryTable())
        sample.emplace(std::make_pair(std::string(c.broadcast), std::string(c.cable)), c.code);
    testing::internal::CaptureStderr();
    for (const auto& [plans, code] : sample)
        for (const char* input : {"1", "2"}) { // cable, antenna
            ASSERT_EQ(cmd.SetTVTunerProperties(std::to_string(code), input), "OK");
            const ChannelPlan* plan = builtInPlan(std::string(input) == "1" ? plans.second : plans.first);
            ASSERT_EQ(cmd.SetChannel("0"), "OK"); // refused everywhere but Australia
            long last = hw->channel();
            for (long ch = 2; ch <= 181; ++ch) {
                ASSERT_EQ(cmd.SetChannel(std::to_string(ch)), "OK");
                const auto hz = plan->frequency(ch);
                if (hz) {
                    last = ch;
                    ASSERT_EQ(hw->frequency(), *hz) << code << " " << input << " " << ch;
                }
                ASSERT_EQ(hw->channel(), last) << code << " " << input << " " << ch;
            }
        }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(cmd.Release(), "OK");
}
