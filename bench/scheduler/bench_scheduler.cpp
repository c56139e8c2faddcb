// bench-scheduler: how the schedule scales. For 1,000, 8,000 and 32,767
// events it times Initialize (load and refresh; the refresh pause passes on a
// test clock), IAddEvent2 on the full schedule (the conflict walk over every
// event and the insertion) and IPersistentSave, each beside the floor: reading
// the same file and splitting its lines into fields, nothing more.
//
//   ninja -C build-scheduler bench-scheduler && build-scheduler/bin/bench-scheduler
//
// Prints milliseconds, the ratio to the floor and the load time per event, then
// whether loading 32,767 events stays within 5 times the floor (exit code 1
// when it does not).
#include "platform/clock.h"
#include "platform/dates.h"
#include "scheduler/events_obj.h"
#include "scheduler/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace slotbook;
namespace fs = std::filesystem;

namespace {

double seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The best of a few runs: the figure least disturbed by the rest of the machine.
template <typename F> double best(int runs, F&& f) {
    double b = 1e9;
    for (int i = 0; i < runs; ++i) {
        const double t0 = seconds();
        f();
        b = std::min(b, seconds() - t0);
    }
    return b;
}

// Events two hours apart, an hour long; every fifth one weekly, every seventh
// on weekdays, so the conflict test aligns some of them.
std::string scheduleText(int n, vesper::DateTime first) {
    std::string text = "VER1.0\r\n";
    for (int i = 0; i < n; ++i) {
        EventClass e;
        e.dt = vesper::fromSeconds(vesper::toSeconds(first) + 7200LL * i);
        e.channel = static_cast<int16_t>(2 + i % 100);
        e.duration = 60;
        e.bActive = true;
        e.oRepeat.every = i % 5 == 0 ? "weekly" : i % 7 == 0 ? "weekdays" : "once";
        e.filename = "Recording " + std::to_string(i) + ".wmv";
        text += Files::eventLine(e) + "\r\n";
    }
    return text;
}

// The floor: the file read in one go, cut into lines and each line into its
// comma-separated fields, nothing converted.
size_t floorRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat st {};
    ::fstat(fd, &st);
    std::string text(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t r = ::read(fd, text.data() + done, text.size() - done);
        if (r <= 0) break;
        done += static_cast<size_t>(r);
    }
    ::close(fd);
    std::vector<std::string_view> fields;
    size_t start = 0, total = 0;
    for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', start)) {
        const std::string_view line(text.data() + start, i - start);
        fields.clear();
        size_t f = 0;
        for (size_t c = line.find(','); c != std::string_view::npos; c = line.find(',', f)) {
            fields.push_back(line.substr(f, c - f));
            f = c + 1;
        }
        fields.push_back(line.substr(f));
        total += fields.size();
        start = i + 1;
    }
    return total;
}

} // namespace

int main() {
    std::string tmpl = (fs::temp_directory_path() / "bench-scheduler-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 2;
    const std::string folder = tmpl;
    const vesper::DateTime first = vesper::makeDate(2040, 1, 1, 0, 0, 0);
    vesper::TestClock clock(vesper::makeDate(2039, 12, 31, 12, 0, 0)); // before every event
    vesper::setClock(&clock);

    std::printf("%8s %10s %22s %14s %22s %22s\n", "events", "floor ms", "Initialize ms (x)", "us per event",
                "IAddEvent2 ms (x)", "IPersistentSave ms (x)");
    bool ok = true;
    double full = 0;
    for (int n : {1000, 8000, 32767}) {
        const std::string path = folder + "/Schedule-" + std::to_string(n) + ".txt";
        const std::string text = scheduleText(n, first);
        { std::ofstream(path, std::ios::binary) << text; }
        const int runs = 21;
        size_t lines = 0;

        // The previous schedule is released before the clock starts.
        std::shared_ptr<EventsObj> o;
        // Floor and load alternate, so that both meet the same machine.
        double initT = 1e9, floorT = 1e9;
        for (int r = 0; r < runs; ++r) {
            floorT = std::min(floorT, best(1, [&] { lines += floorRead(path); }));
            o.reset();
            const double t0 = seconds();
            o = std::make_shared<EventsObj>(path);
            o->call("Initialize");
            initT = std::min(initT, seconds() - t0);
        }
        if (o->call("ICount").toInt16() != n)
            std::fprintf(stderr, "loaded %d of %d events\n", o->call("ICount").toInt16(), n);

        // The add lands in the middle, in a free hour, after the whole conflict
        // walk; the schedule holds one event less so that it ends up full.
        const std::string addPath = folder + "/Schedule-add.txt";
        { std::ofstream(addPath, std::ios::binary) << scheduleText(n - 1, first); }
        double addT = 1e9;
        for (int r = 0; r < runs; ++r) {
            auto a = std::make_shared<EventsObj>(addPath);
            a->call("IPersistentRead");
            const vesper::DateTime when = vesper::fromSeconds(vesper::toSeconds(first) + 7200LL * (n / 2) + 3600);
            vesper::Args args{vesper::Variant(false),      vesper::Variant::date(0),     vesper::Variant(int16_t(0)),
                              vesper::Variant(""),         vesper::Variant(""),          vesper::Variant::date(when),
                              vesper::Variant(int16_t(3)), vesper::Variant(int16_t(30)), vesper::Variant(true),
                              vesper::Variant("once"),     vesper::Variant("Added.wmv")};
            const double t0 = seconds();
            a->call("IAddEvent2", args);
            addT = std::min(addT, seconds() - t0);
            if (!args[0].toBool()) std::fprintf(stderr, "the added event conflicted\n");
        }

        const std::string savePath = folder + "/Saved.txt";
        EventsObj saver(savePath);
        saver.call("IPersistentRead"); // empty file, then fill it from the big one
        auto loaded = std::make_shared<EventsObj>(path);
        loaded->call("IPersistentRead");
        const double saveT = best(runs, [&] { loaded->call("IPersistentSave"); });

        if (n == 32767) {
            ok = initT <= 5 * floorT;
            full = initT / floorT;
        }
        std::printf("%8d %10.3f %12.3f (%6.2fx) %14.3f %12.3f (%6.2fx) %12.3f (%6.2fx)\n", n, floorT * 1e3, initT * 1e3,
                    initT / floorT, initT * 1e6 / n, addT * 1e3, addT / floorT, saveT * 1e3, saveT / floorT);
        (void)lines;
    }
    std::printf("\nLoading 32,767 events: %.2f times the floor (at most 5): %s\n"
                "Loading grows about linearly when the time per event stays flat across sizes.\n"
                "IPersistentSave includes flushing the file to disk before it replaces the old one.\n",
                full, ok ? "ok" : "TOO SLOW");
    vesper::setClock(nullptr);
    std::error_code ec;
    fs::remove_all(folder, ec);
    return ok ? 0 : 1;
}
