// vesper-schedule: lists and edits the schedule from the command line. See
// `vesper-schedule --help`.
#include "tools/schedule/schedule_command.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int rc = vesper::schedule::run(args, std::cout, std::cerr);
    std::cout.flush();
    return rc;
}
