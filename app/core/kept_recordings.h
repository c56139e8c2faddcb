// Recordings kept until space is needed: the completed recordings of events
// marked so, which make room for later recordings oldest first, and the
// deletions made. Both live in a small text file in the program folder. Only
// a listed file that is still the very file that was recorded (the same
// size, time, device and inode, a regular file) is ever deleted; anything
// else found under a listed name is dropped from the list and left alone.
#pragma once

#include "app/core/program.h"
#include "app/core/recording_engine.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vesper {

inline constexpr const char* kKeptRecordingsFileName = "KeptRecordings.txt";
// The list keeps the newest deletions only.
inline constexpr size_t kKeptDeletionsKept = 300;

struct KeptRecording {
    std::string path;
    long long completed = 0; // Unix seconds
    long long size = 0;      // bytes, as completed
    long long mtimeNs = 0;   // modification time as completed, nanoseconds since the epoch
    unsigned long long device = 0;
    unsigned long long inode = 0;
    std::string eventName;
};

struct KeptDeletion {
    std::string path;
    long long when = 0; // Unix seconds
    long long bytes = 0;
    std::string forEvent; // the event the room was made for
};

struct KeptState {
    std::vector<KeptRecording> recordings; // oldest first
    std::vector<KeptDeletion> deletions;   // oldest first
};

// The file (empty path: the program folder's). A damaged line is skipped, a
// damaged or unreadable file reads as empty; nothing here raises.
class KeptRecordingList {
public:
    explicit KeptRecordingList(std::string path = {});

    const std::string& path() const { return m_path; }
    KeptState read() const;
    // False when the file could not be written, which lastError() then says.
    bool write(const KeptState& state);
    const std::string& lastError() const { return m_lastError; }

private:
    std::string m_path;
    std::string m_lastError;
};

class SpaceKeeper : public SpaceMaker {
public:
    explicit SpaceKeeper(Program& program, std::string listPath = {});

    KeptRecordingList& list() { return m_list; }
    // The list or its deletions changed.
    std::function<void()> onChanged;
    // Deletes a file; false with the reason when it cannot.
    std::function<bool(const std::string& path, std::string& why)> removeFile;

    // SpaceMaker
    bool makeRoom(const std::string& folder, double neededBytes, const std::string& forEvent) override;
    void recordingStarting(const std::string& path) override;
    void recordingCompleted(const std::string& path, const std::string& eventName, bool keep) override;

    // The bytes the listed recordings on the folder's disk could free.
    double reclaimableBytes(const std::string& folder) const;
    // The listed recording that would go first; none when nothing is kept.
    std::optional<KeptRecording> nextToGo() const;
    // The deletions made, oldest first.
    std::vector<KeptDeletion> deletions() const { return m_list.read().deletions; }

private:
    // Still the file that was recorded, and not the one being recorded.
    bool deletable(const KeptRecording& entry) const;
    bool unchanged(const KeptRecording& entry) const;
    void save(const KeptState& state);

    Program& m_program;
    KeptRecordingList m_list;
    // The paths being recorded (a run of joined events writes several).
    std::set<std::string> m_recording;
    // Deletions that failed, said once until they succeed or the entry goes.
    std::vector<std::string> m_failing;
};

// "News Tu.wmv (Dec 1, 190 MB)"
std::string describeKept(const KeptRecording& entry);
// "News Tu.wmv (Dec 2, 190 MB)": deleted on Dec 2.
std::string describeDeletion(const KeptDeletion& deletion);
// "Deleted Dec 2 07:59 PM to make room for Film.wmv: /recordings/News Tu.wmv"
std::string explainDeletion(const KeptDeletion& deletion);

} // namespace vesper
