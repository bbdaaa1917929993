// TAV's reading of a Windows command line: any line either keeps the shape's
// promises (fields without quotes, a key that sits where its offset says and
// reaches the line's last quote) or is left to the run time.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tav/os/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields;
    std::size_t keyOffset = 0;
    if (!tav::SplitQuotedCommandLine(line, fields, keyOffset)) return 0;
    if (fields.size() != 3 && fields.size() != 4) std::abort();
    for (std::size_t i = 0; i < 3; ++i) {
        if (fields[i].find('"') != std::string::npos) std::abort();
    }
    if (fields.size() == 4 && (keyOffset > line.size() || line.compare(keyOffset, fields[3].size(), fields[3]) != 0 ||
                               line[keyOffset - 1] != '"' || line[keyOffset + fields[3].size()] != '"')) {
        std::abort();
    }
    return 0;
}
