// The settings reader and writer on any text. Untouched, the text is written
// back byte for byte; after one value is set, it reads back as written (in
// the profile and after parsing the written text again), and every other
// line of the original is still there, in order.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system/profile.h"

namespace {

constexpr const char* kSections[] = {"ENCRYPT", "DECRYPT", "encrypt", "Decrypt", "S"};
constexpr const char* kKeys[] = {"Rounds", "Paranoia", "SFX", "IntCheck", "DelEncrypted", "rounds", "k"};

void Check(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::string> LinesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with('\r')) line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// True when `after` is `before` with at most one line changed and lines
// added in one place: a common beginning and a common end leave at most one
// line of `before` between them.
bool KeepsAllButOneLine(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    return before.size() - prefix - suffix <= 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    const char* section = kSections[data[0] % std::size(kSections)];
    const char* key = kKeys[data[1] % std::size(kKeys)];
    const std::int32_t value = static_cast<std::int32_t>(data[2] | data[3] << 8 | data[4] << 16 | data[5] << 24);
    const std::string_view text(reinterpret_cast<const char*>(data + 6), size - 6);

    platform::Profile profile;
    profile.SetText(text);
    Check(profile.Text() == text);

    const std::string sectionName = std::string(section);
    profile.SetString(sectionName, key, std::to_string(value));
    Check(profile.GetInt(sectionName, key, value ^ 1) == value);
    platform::Profile reread;
    reread.SetText(profile.Text());
    Check(reread.GetInt(sectionName, key, value ^ 1) == value);
    Check(KeepsAllButOneLine(LinesOf(text), LinesOf(profile.Text())));
    return 0;
}
