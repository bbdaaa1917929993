#pragma once

// What every suite that runs TAV as a program shares: the statuses it
// exits with, a fresh folder to run in, and the checks that a run left no
// hidden temporary behind. Include where TAV_FAST_KDF_PATH is defined.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/run.h"
#include "tests/support/workspace.h"

namespace test {

enum TavExit { kOk = 0, kUsage = 1, kWrongKey = 2, kDamaged = 3, kTargetExists = 4, kIo = 5 };

// Bytes that look random and are the same for the same seed.
inline std::string PseudoRandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator());
    return bytes;
}

// Nothing named like TAV's hidden temporaries is left in `folder`.
inline void ExpectNoTavTemporaries(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        EXPECT_NE(entry.path().filename().string().rfind(".TAV-", 0), 0u) << entry.path();
    }
}

// TAV with the cheapest key derivation, where this run finds it.
inline const std::string& FastTav() {
    static const std::string path = ToolPath(TAV_FAST_KDF_PATH);
    return path;
}

class TavTest : public ::testing::Test {
protected:
    RunResult Tool(const std::vector<std::string>& arguments, const RunOptions& options = {}) {
        return test::Run(FastTav(), arguments, options);
    }

    std::string file(const std::string& name) const { return folder_.file(name); }

    void ExpectNoTemporaries() const { ExpectNoTavTemporaries(folder_.path()); }

    TempFolder folder_;
};

}  // namespace test
