// Test doubles of automation components: an object that records every call
// and answers from a script, and the status log lines a test wrote.
#pragma once

#include "app/core/settings_store.h"
#include "app/core/status_log.h"

#include "platform/automation.h"
#include "platform/testing/test_env.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace vesper::test {

class FakeObject : public Object {
public:
    using Handler = std::function<Variant(Args&)>;

    // Every call as "Member(arg1,arg2)", in order.
    std::vector<std::string> calls;
    // Answers by member name; a member without one answers `defaultAnswer`.
    std::map<std::string, Handler> handlers;
    Variant defaultAnswer = Variant("OK");

    void answer(const std::string& member, Variant v) {
        handlers[member] = [v](Args&) { return v; };
    }
    void fail(const std::string& member, int32_t number, const std::string& source = "Fake",
              const std::string& description = "it failed") {
        handlers[member] = [=](Args&) -> Variant { throw AutomationError(number, source, description); };
    }
    size_t count(const std::string& member) const {
        size_t n = 0;
        for (const auto& c : calls)
            if (c.rfind(member + "(", 0) == 0) ++n;
        return n;
    }
    // How often exactly this call ("SetChannel(5)") was made.
    size_t made(const std::string& call) const {
        size_t n = 0;
        for (const auto& c : calls)
            if (c == call) ++n;
        return n;
    }
    std::vector<std::string> members() const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            out.push_back(c.substr(0, c.find('(')));
        return out;
    }

    Variant invoke(std::string_view member, Args& args, CallKind = CallKind::Method) override {
        std::string text = std::string(member) + "(";
        for (size_t i = 0; i < args.size(); ++i) {
            if (i) text += ",";
            text += args[i].isObject() ? "<object>" : args[i].isOmitted() ? "" : args[i].toString();
        }
        calls.push_back(text + ")");
        auto h = handlers.find(std::string(member));
        return h != handlers.end() ? h->second(args) : defaultAnswer;
    }
};

// A factory that hands out registered doubles by ProgID (a fresh one each
// time through `make`, or the same one) and counts creations.
struct FakeFactory {
    std::map<std::string, std::function<ObjectPtr()>> makers;
    std::map<std::string, int> created;

    void add(const std::string& progId, ObjectPtr o) {
        makers[progId] = [o] { return o; };
    }
    ComponentFactory factory() {
        return [this](const std::string& progId) -> ObjectPtr {
            auto m = makers.find(progId);
            if (m == makers.end()) return nullptr;
            ++created[progId];
            return m->second();
        };
    }
};

// Switches the normal status log on and starts it afresh.
inline void startStatusLog() {
    RegSaveSetting2("\\Application\\Status", "bLogStatus", "True");
    std::error_code ec;
    std::filesystem::remove(testFolder() + "/LogStatus.txt", ec);
}

// The messages of the normal status log, in order.
inline std::vector<std::string> statusLogLines() {
    std::vector<std::string> out;
    const std::string path = testFolder() + "/LogStatus.txt";
    if (!std::filesystem::exists(path)) return out;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("LS", 0) == 0) out.push_back(line);
    }
    return out;
}

// The codes ("LS0075") of the logged messages, in order.
inline std::vector<std::string> statusLogCodes() {
    std::vector<std::string> out;
    for (const auto& l : statusLogLines())
        out.push_back(l.substr(0, 6));
    return out;
}

} // namespace vesper::test
