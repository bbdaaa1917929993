// TAV stopped at random moments while it encrypts or decrypts leaves nothing
// but what was there before: killed outright (the output is an unnamed file
// until it is complete), or ended by any catchable signal (on the named
// temporary path too). A full disk: Tav.RefusalsLeaveTheFolderAsItWas.
#include <gtest/gtest.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>
#include <tuple>

#include "tests/support/tav_fixture.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr long kTmpfsMagic = 0x01021994;
constexpr std::size_t kSourceSize = 24 * 1024 * 1024;

// The operation (e1, D or d), whether on tmpfs, and whether through the named temporary.
using Case = std::tuple<std::string, bool, bool>;

std::string Describe(const ::testing::TestParamInfo<Case>& info) {
    const auto& [operation, onTmpfs, named] = info.param;
    return (operation == "e1" ? "Encrypt" : operation == "D" ? "VerifyThenDecrypt" : "Decrypt") +
           std::string(onTmpfs ? "OnTmpfs" : "OnDisk") + (named ? "Named" : "Unnamed");
}

// Each case in a folder of its own on the disk (inside the build tree) or on tmpfs.
class TavStopped : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const auto& [operation, onTmpfs, named] = GetParam();
        struct statfs info{};
        if (onTmpfs && (::statfs("/dev/shm", &info) != 0 || info.f_type != kTmpfsMagic)) GTEST_SKIP() << "/dev/shm is no tmpfs here";
        std::string pattern = std::string(onTmpfs ? "/dev/shm" : CRASH_TEST_DISK) + "/druvel-crash-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        if (named) ::setenv("TAV_TEST_NAMED_TEMPORARY", "1", 1);
        test::WriteFile(file("plain"), test::PseudoRandomBytes(kSourceSize, 42));
        ASSERT_EQ(test::Run(TAV_FAST_KDF_PATH, {"e1", file("plain"), file("plain.TAV"), "key"}).status, test::kOk);
        source_ = operation == "e1" ? file("plain") : file("plain.TAV");
        before_ = test::NamesIn(folder_);
        // The quickest of three runs, so that a run timed while the machine
        // was busy does not put most signals after the end.
        fullRun_ = std::min({TimeOneRun(), TimeOneRun(), TimeOneRun()});
    }
    void TearDown() override {
        ::unsetenv("TAV_TEST_NAMED_TEMPORARY");
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    std::string file(const std::string& name) const { return (folder_ / name).string(); }

    std::vector<std::string> Arguments() const { return {std::get<0>(GetParam()), source_, file("out"), "key"}; }

    Clock::duration TimeOneRun() {
        const auto start = Clock::now();
        EXPECT_EQ(test::Run(TAV_FAST_KDF_PATH, Arguments()).status, test::kOk);
        const auto took = Clock::now() - start;
        fs::remove(file("out"));
        return took;
    }

    // Starts a run, sends `signal` at a random moment within it, and checks
    // that the folder holds what it held before. Returns false when the run
    // had finished before the signal came.
    bool StopOnce(int signal, std::mt19937& random) {
        std::uniform_int_distribution<long> moment(
            0, std::chrono::duration_cast<std::chrono::microseconds>(fullRun_).count() * 9 / 10);
        test::Child tav(TAV_FAST_KDF_PATH, Arguments());
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        tav.Signal(signal);
        const int status = tav.Wait();
        // The signal came after the output was complete and named.
        if (status == test::kOk || fs::exists(file("out"))) {
            fs::remove(file("out"));
            return false;
        }
        EXPECT_EQ(status, 128 + signal);
        EXPECT_EQ(test::NamesIn(folder_), before_) << "after signal " << signal;
        return true;
    }

    fs::path folder_;
    std::string source_;
    std::vector<std::string> before_;  // the folder's names before any run
    Clock::duration fullRun_{};
};

// Killed outright twenty times mid-run, which only unnamed output files can
// make safe (so the named temporary is not tried); then once per catchable signal.
TEST_P(TavStopped, EveryFatalSignalLeavesNothing) {
    std::mt19937 random(7);
    for (int attempt = 0, stoppedMidRun = 0; !std::get<2>(GetParam()) && stoppedMidRun < 20; ++attempt) {
        ASSERT_LT(attempt, 80) << "killed mid-run only " << stoppedMidRun << " times";
        stoppedMidRun += StopOnce(SIGKILL, random);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGPIPE, SIGUSR1, SIGALRM, SIGXCPU}) {
        StopOnce(signal, random);
    }
}

INSTANTIATE_TEST_SUITE_P(AtRandomMoments, TavStopped,
                         ::testing::Combine(::testing::Values("e1", "D", "d"), ::testing::Bool(), ::testing::Bool()), Describe);

}  // namespace
