#include "app/core/kept_recordings.h"

#include "app/core/output_files.h"
#include "app/core/status_log.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <sstream>

namespace vesper {

namespace {

constexpr const char* kHeader = "# Vesper: recordings kept until space is needed, and those deleted to make room "
                                "(one a line, fields by tabs)";

long long mtimeOf(const struct stat& st) { return (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec; }

std::string megabytes(double bytes) { return std::to_string((long long)std::llround(bytes / 1e6)) + " MB"; }

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

void log(const std::string& code, const std::string& text) {
    LogStatus(code + ":F00:SpaceKeeper() " + text);
    std::fprintf(stderr, "vesper: %s\n", text.c_str());
}

// The device of the folder's disk, as the engine measures it; false when the
// folder is on no disk we can see.
bool folderDevice(const std::string& folder, dev_t& device) {
    std::string root;
    struct stat st {};
    if (!GetRootPath(folder, root) || ::stat(root.c_str(), &st) != 0) return false;
    device = st.st_dev;
    return true;
}

} // namespace

// --- the list ---------------------------------------------------------------------

KeptRecordingList::KeptRecordingList(std::string path)
    : m_path(path.empty() ? joinPath(programFolder(), kKeptRecordingsFileName) : std::move(path)) {}

KeptState KeptRecordingList::read() const {
    KeptState state;
    std::string text;
    try {
        text = readFile(m_path);
    } catch (const std::exception&) {
        return state; // none yet, or unreadable: nothing kept
    }
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.empty() || l[0] == '#') continue;
        const std::vector<std::string> f = splitFields(l);
        if (f[0] == "kept" && f.size() == 8) {
            KeptRecording r;
            if (!parseWhole(f[1], r.completed) || !parseWhole(f[2], r.size) || !parseWhole(f[3], r.mtimeNs) ||
                !parseWhole(f[4], r.device) || !parseWhole(f[5], r.inode) || r.size < 0 || f[7].empty())
                continue;
            r.eventName = unescapeField(f[6]);
            r.path = unescapeField(f[7]);
            state.recordings.push_back(std::move(r));
        } else if (f[0] == "deleted" && f.size() == 5) {
            KeptDeletion d;
            if (!parseWhole(f[1], d.when) || !parseWhole(f[2], d.bytes) || f[4].empty()) continue;
            d.forEvent = unescapeField(f[3]);
            d.path = unescapeField(f[4]);
            state.deletions.push_back(std::move(d));
        }
    }
    return state;
}

bool KeptRecordingList::write(const KeptState& state) {
    std::ostringstream out;
    out << kHeader << '\n';
    for (const KeptRecording& r : state.recordings)
        out << "kept\t" << r.completed << '\t' << r.size << '\t' << r.mtimeNs << '\t' << r.device << '\t' << r.inode
            << '\t' << escapeField(r.eventName) << '\t' << escapeField(r.path) << '\n';
    const size_t from = state.deletions.size() > kKeptDeletionsKept ? state.deletions.size() - kKeptDeletionsKept : 0;
    for (size_t i = from; i < state.deletions.size(); ++i) {
        const KeptDeletion& d = state.deletions[i];
        out << "deleted\t" << d.when << '\t' << d.bytes << '\t' << escapeField(d.forEvent) << '\t'
            << escapeField(d.path) << '\n';
    }
    try {
        writeFileAtomically(m_path, out.str());
    } catch (const std::exception& e) {
        m_lastError = "the list of kept recordings (" + m_path + ") cannot be written: " + e.what();
        return false;
    }
    m_lastError.clear();
    return true;
}

// --- the keeper -------------------------------------------------------------------

SpaceKeeper::SpaceKeeper(Program& program, std::string listPath) : m_program(program), m_list(std::move(listPath)) {
    removeFile = [](const std::string& path, std::string& why) {
        if (::unlink(path.c_str()) == 0) return true;
        why = std::strerror(errno);
        return false;
    };
}

bool SpaceKeeper::unchanged(const KeptRecording& entry) const {
    struct stat st {};
    // lstat: a link put in its place is not the recording.
    return ::lstat(entry.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == entry.size &&
           mtimeOf(st) == entry.mtimeNs && st.st_dev == dev_t(entry.device) && st.st_ino == ino_t(entry.inode);
}

bool SpaceKeeper::deletable(const KeptRecording& entry) const {
    if (!unchanged(entry) || m_recording.count(entry.path)) return false;
    for (const std::string& path : m_recording) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && st.st_dev == dev_t(entry.device) && st.st_ino == ino_t(entry.inode))
            return false;
    }
    return true;
}

void SpaceKeeper::save(const KeptState& state) {
    if (!m_list.write(state)) log("LS0169:ERROR", m_list.lastError());
    if (onChanged) onChanged();
}

bool SpaceKeeper::makeRoom(const std::string& folder, double neededBytes, const std::string& forEvent) {
    double free = GetDiskFreeBytes(m_program, folder);
    if (free >= neededBytes) return true;
    dev_t device = 0;
    if (free < 0 || !folderDevice(folder, device)) return false;
    KeptState state = m_list.read();
    if (state.recordings.empty()) return false;
    std::stable_sort(state.recordings.begin(), state.recordings.end(),
                     [](const KeptRecording& a, const KeptRecording& b) { return a.completed < b.completed; });
    bool changed = false;
    for (auto it = state.recordings.begin(); it != state.recordings.end() && free < neededBytes;) {
        const KeptRecording entry = *it;
        if (!unchanged(entry)) {
            // Changed, replaced or gone since it was recorded: no longer ours to delete.
            log("LS0168:INFO", entry.path + " is no longer the recording that was kept; left alone");
            it = state.recordings.erase(it);
            changed = true;
            continue;
        }
        if (dev_t(entry.device) != device || !deletable(entry)) {
            ++it;
            continue;
        }
        std::string why;
        if (!removeFile(entry.path, why)) {
            if (std::find(m_failing.begin(), m_failing.end(), entry.path) == m_failing.end()) {
                m_failing.push_back(entry.path);
                log("LS0167:ERROR", "cannot delete " + entry.path + " to make room for " + forEvent + ": " + why);
            }
            ++it;
            continue;
        }
        std::erase(m_failing, entry.path);
        log("LS0166:INFO", "deleted " + entry.path + " (" + std::to_string(entry.size) + " bytes, kept since " +
                               formatDate(fromUnixLocal(entry.completed), "yyyy-mm-dd hh:nn") + ") to make room for " +
                               forEvent);
        state.deletions.push_back({entry.path, clock().unixNow(), entry.size, forEvent});
        it = state.recordings.erase(it);
        changed = true;
        free = GetDiskFreeBytes(m_program, folder);
    }
    if (changed) save(state);
    return free >= neededBytes;
}

void SpaceKeeper::recordingStarting(const std::string& path) {
    m_recording.insert(path);
    KeptState state = m_list.read();
    if (std::erase_if(state.recordings, [&](const KeptRecording& r) { return r.path == path; }) != 0) save(state);
}

void SpaceKeeper::recordingCompleted(const std::string& path, const std::string& eventName, bool keep) {
    m_recording.erase(path);
    KeptState state = m_list.read();
    bool changed = std::erase_if(state.recordings, [&](const KeptRecording& r) { return r.path == path; }) != 0;
    struct stat st {};
    if (keep && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        state.recordings.push_back({path, clock().unixNow(), (long long)st.st_size, mtimeOf(st),
                                    (unsigned long long)st.st_dev, (unsigned long long)st.st_ino, eventName});
        changed = true;
    }
    if (changed) save(state);
}

double SpaceKeeper::reclaimableBytes(const std::string& folder) const {
    dev_t device = 0;
    if (!folderDevice(folder, device)) return 0;
    double bytes = 0;
    for (const KeptRecording& r : m_list.read().recordings)
        if (dev_t(r.device) == device && deletable(r)) bytes += double(r.size);
    return bytes;
}

std::optional<KeptRecording> SpaceKeeper::nextToGo() const {
    std::optional<KeptRecording> next;
    for (const KeptRecording& r : m_list.read().recordings)
        if ((!next || r.completed < next->completed) && deletable(r)) next = r;
    return next;
}

std::string describeKept(const KeptRecording& entry) {
    return fileName(entry.path) + " (" + formatDate(fromUnixLocal(entry.completed), "mmm d") + ", " +
           megabytes(double(entry.size)) + ")";
}

std::string describeDeletion(const KeptDeletion& d) {
    return fileName(d.path) + " (" + formatDate(fromUnixLocal(d.when), "mmm d") + ", " + megabytes(double(d.bytes)) +
           ")";
}

std::string explainDeletion(const KeptDeletion& d) {
    return "Deleted " + formatDate(fromUnixLocal(d.when), "mmm d hh:mm AMPM") + " to make room for " + d.forEvent +
           ": " + d.path;
}

} // namespace vesper
