// "Guidelink.clsVesper": turns a listing link into an XML program event and
// hands it to the running main program through "Msgpipe.clsObject",
// starting the main program first when it is not running.
#pragma once

#include "platform/automation.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace vesper::guidelink {

// The value of `key` among the link's "&"-separated key=value pairs (key
// names compare without regard to case; the address before "?" is not a
// pair). Empty when missing. A pair without "=" met before the key raises
// error 5.
std::string linkValue(const std::string& link, const std::string& key);

// "%" and two hexadecimal digits become that byte; a "%" without them is
// dropped; "+" stays. Bytes that are not UTF-8 are read as Latin-1.
std::string percentDecode(const std::string& text);

// What a listing link tells about the program.
struct Listing {
    int16_t channel = 0;
    std::string station;
    std::string programTitle;
    std::string start;    // "yyyy-mm-ddThh:mm:ssZ"
    std::string duration; // "hh:mm", or empty when the link gives none
    std::string fileName; // station + " - " + program title
};

// Decodes a listing link; nullopt when it yields no channel. A bad start or a
// pair without "=" raises an automation error.
std::optional<Listing> decodeListing(const std::string& link);

// The listing's start text as UTC "yyyy-mm-ddThh:mm:ssZ": a time followed by
// "Z" carries its own offset in whole hours, one without is local time,
// converted with the zone's offset at that instant. Raises error 13 when the
// text is not a time.
std::string listingStartToUtc(const std::string& st);

// Text made safe for an element's content.
std::string xmlEscape(const std::string& text);

// The XML program event for a listing, as one line.
std::string programEventDocument(const Listing& listing);

enum class SchResult {
    Sent,      // the document reached the main program
    NoChannel, // the link held no channel: nothing sent, no message
    NotSent,   // the main program could not be started, never became ready,
               // or did not take the document (a message said so)
};

struct SchOutcome {
    SchResult result = SchResult::NotSent;
    std::string reason; // for NotSent and NoChannel
};

using ComponentFactory = std::function<ObjectPtr(const std::string& progId)>;

// Decodes, builds and sends (with the message component made by
// `createObject`). Message boxes go through the program's message seam,
// owned by `owner`. Errors of decoding and of the message component reach
// the caller as AutomationError.
SchOutcome sch(const std::string& link, const ComponentFactory& createObject, QWidget* owner = nullptr);

// The automation class: sch(link) -> True when the event was sent.
Object* newClsVesper();

// The message texts.
inline constexpr const char* kNotStartedMessage = "Application could not be started!";
inline constexpr const char* kTimeoutMessage =
    "Gave up waiting for Vesper to finish starting\r\nafter 45 seconds. Program will terminate.";
inline constexpr const char* kNotTakenMessage = "Vesper did not take the program. Nothing was scheduled.";
inline constexpr const char* kMessageTitle = "Notice";

} // namespace vesper::guidelink
