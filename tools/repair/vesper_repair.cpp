// vesper-repair: rebuilds recordings that were cut off (the program or the
// machine died while recording) into complete, indexed, seekable files:
// Windows Media files, and the fragmented MP4 files of the H.264 profiles
// (which play and seek as they are; a rebuild adds their index).
//
//   vesper-repair [--force] [--check] FILE...
//
// Exit code: 0 when every file is whole (repaired or already complete), 1
// when one could not be repaired (it is then left exactly as it was, unless
// the disk had no room for an index: then its header is completed in place
// and it says so), 2 on a usage error (an unknown option among them).
#include "components/wmenc/asf_file.h"
#include "components/wmenc/mp4_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace vesper::wmenc;

int main(int argc, char** argv) {
    bool force = false, checkOnly = false;
    std::vector<std::string> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        if (!options || argv[i][0] != '-' || !std::strcmp(argv[i], "-")) {
            files.push_back(argv[i]);
        } else if (!std::strcmp(argv[i], "--")) {
            options = false; // what follows are files, even when named "-..."
        } else if (!std::strcmp(argv[i], "--force"))
            force = true;
        else if (!std::strcmp(argv[i], "--check"))
            checkOnly = true;
        else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            files.clear();
            break;
        } else {
            std::fprintf(stderr, "vesper-repair: unknown option %s\n", argv[i]);
            files.clear();
            break;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: vesper-repair [--force] [--check] FILE...\n"
                             "  rebuilds recordings cut off by a crash into complete, indexed files\n"
                             "  --check  only report whether each file is complete\n"
                             "  --force  rewrite even a file that looks complete\n");
        return 2;
    }
    int rc = 0;
    for (const std::string& f : files) {
        if (checkOnly && looksLikeMp4(f)) {
            const Mp4FileInfo info = inspectMp4(f);
            if (info.complete) {
                std::printf("%s: complete\n", f.c_str());
            } else if (info.hasHeader) {
                std::printf("%s: %s; its %lld whole fragments play and seek as they are (a repair adds the index)\n",
                            f.c_str(), info.problem.c_str(), (long long)info.fragments);
                rc = 1;
            } else {
                std::printf("%s: %s\n", f.c_str(), info.problem.c_str());
                rc = 1;
            }
            continue;
        }
        if (checkOnly) {
            const AsfFileInfo info = inspectAsf(f);
            if (info.complete && info.hasIndex) {
                std::printf("%s: complete\n", f.c_str());
            } else {
                std::printf("%s: %s\n", f.c_str(), info.problem.c_str());
                rc = 1;
            }
            continue;
        }
        const RepairResult r = repairRecording(f, force);
        if (r.completedInPlace) {
            std::fprintf(stderr, "%s: completed in place, without an index (error %d): %s\n", f.c_str(), r.error.number,
                         r.error.text.c_str());
            rc = 1;
        } else if (r.error) {
            std::fprintf(stderr, "%s: not repaired (error %d): %s\n", f.c_str(), r.error.number, r.error.text.c_str());
            rc = 1;
        } else if (r.wasComplete) {
            std::printf("%s: already complete, nothing to do\n", f.c_str());
        } else {
            std::printf("%s: repaired, %lld packets kept, %.1f seconds\n", f.c_str(), (long long)r.packetsCopied,
                        r.seconds);
        }
    }
    return rc;
}
