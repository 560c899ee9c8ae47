// Feeds NUL-separated arguments to the command-line parser.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    pg::CommandLine line = pg::CommandLine::Parse(args);
    if (line.home && line.home->empty()) {
        __builtin_trap();  // an accepted home is never empty
    }
    return 0;
}
