#pragma once

// What the suites that run TAV share: its statuses, a fresh folder, and how
// a failure must end. Include where TAV_FAST_KDF_PATH is defined.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
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

// The number of `size` bytes at `offset`, little-endian as the format stores it.
inline std::uint64_t LittleEndian(const std::string& bytes, std::size_t offset, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = size; i > 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i - 1]);
    return value;
}

// TAV with the cheapest key derivation, where this run finds it: where it
// was built, or in DRUVEL_TEST_TOOLS when the test runs as an ordinary user
// from copies (tests/support/as-user.sh).
inline const std::string& FastTav() {
    static const char* copies = std::getenv("DRUVEL_TEST_TOOLS");
    static const std::string built = TAV_FAST_KDF_PATH;
    static const std::string path = copies == nullptr || *copies == 0 ? built : copies + built.substr(built.rfind('/'));
    return path;
}

class TavTest : public ::testing::Test {
protected:
    RunResult Tool(const std::vector<std::string>& arguments, const RunOptions& options = {}) {
        return test::Run(FastTav(), arguments, options);
    }

    std::string file(const std::string& name) const { return folder_.file(name); }

    // Nothing named like TAV's hidden temporaries is left in the folder.
    void ExpectNoTemporaries() const {
        for (const std::string& name : NamesIn(folder_.path())) EXPECT_NE(name.rfind(".TAV-", 0), 0u) << name;
    }

    // How every failure of TAV ends: its status, one line that starts
    // "TAV: ", nothing at the target (not even a link) and no temporary.
    void ExpectRefused(const RunResult& result, int status, const std::string& target) const {
        EXPECT_EQ(result.status, status) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        EXPECT_EQ(result.errors.rfind("TAV: ", 0), 0u) << result.errors;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(FsPath(target)))) << target;
        ExpectNoTemporaries();
    }

    TempFolder folder_;
};

}  // namespace test
