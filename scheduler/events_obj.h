// EventsObj: the scheduler's automation class, "Slotbook.EventsObj". The main
// program drives the whole schedule through its thirteen members, called by
// name with positional arguments; outputs are written back by reference.
#pragma once

#include "platform/automation.h"
#include "scheduler/event_collection.h"

#include <memory>
#include <set>
#include <string>

namespace slotbook {

inline constexpr const char* kClsid = "{B3D4F2A6-7C19-4E85-A0D2-6F1E9C3B5A47}";
inline constexpr const char* kProgId = "Slotbook.EventsObj";

class EventsObj : public vesper::DispatchObject {
public:
    // `schedulePath` empty: "Schedule.txt" in the component's folder.
    explicit EventsObj(std::string schedulePath = {});
    std::string className() const override { return "EventsObj"; }

    // Run-time errors of the members carry this object's error source.
    vesper::Variant invoke(std::string_view member, vesper::Args& args,
                           vesper::CallKind kind = vesper::CallKind::Method) override;

    // The members, callable directly.
    void Initialize();
    void IPersistentRead();
    void IPersistentSave();
    void IRefresh();
    void IAddEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                   const std::string& filename);
    void IRemoveEvent(DateTime dt);
    void ICancelEvent(DateTime dt);
    int16_t ICount();

private:
    EventCollection& held();
    static EventClass makeEvent(DateTime dt, int16_t channel, int16_t duration, bool active, const std::string& every,
                                const std::string& filename);
    EventClass FindEvent(DateTime dt);
    // The serial of the added occurrence, 0 when the word has no rule.
    uint64_t AddNextOccurrence(const EventClass& e, DateTime dtReference);
    void registerMembers();

    std::string m_path;
    std::shared_ptr<EventCollection> m_schedule;
    // Records a refresh has rolled forward and will remove after its pause; a
    // refresh that runs inside that pause leaves them alone.
    std::set<uint64_t> m_rolling;
};

} // namespace slotbook
