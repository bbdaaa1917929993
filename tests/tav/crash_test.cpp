// TAV stopped at random moments while it encrypts or decrypts leaves nothing
// but what was there before: killed outright (the output is an unnamed file
// until it is complete), ended by any catchable signal (on the named
// temporary path too), or stopped by a file-size limit.
#include <gtest/gtest.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/support/run.h"
#include "tests/support/workspace.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr long kTmpfsMagic = 0x01021994;
constexpr std::size_t kSourceSize = 24 * 1024 * 1024;

// A folder of its own on the disk (inside the build tree) or on tmpfs.
class Folder {
public:
    explicit Folder(const fs::path& parent) {
        std::string pattern = (parent / "druvel-crash-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~Folder() {
        if (!path_.empty()) fs::remove_all(path_);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

struct Case {
    std::string operation;  // e1, D or d
    bool onTmpfs;
    bool namedTemporary;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.operation << (c.onTmpfs ? " on tmpfs" : " on disk") << (c.namedTemporary ? ", named temporary" : "");
}

std::string Describe(const ::testing::TestParamInfo<Case>& info) {
    return (info.param.operation == "e1" ? "Encrypt" : info.param.operation == "D" ? "VerifyThenDecrypt" : "Decrypt") +
           std::string(info.param.onTmpfs ? "OnTmpfs" : "OnDisk") + (info.param.namedTemporary ? "Named" : "Unnamed");
}

class TavStopped : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const Case& c = GetParam();
        if (c.onTmpfs) {
            struct statfs info{};
            if (::statfs("/dev/shm", &info) != 0 || info.f_type != kTmpfsMagic) GTEST_SKIP() << "/dev/shm is no tmpfs here";
        }
        folder_ = std::make_unique<Folder>(c.onTmpfs ? fs::path("/dev/shm") : fs::path(CRASH_TEST_DISK));
        ASSERT_FALSE(folder_->path().empty());
        if (c.namedTemporary) ::setenv("TAV_TEST_NAMED_TEMPORARY", "1", 1);
        std::string contents(kSourceSize, '\0');
        std::mt19937_64 generator(42);
        for (char& byte : contents) byte = static_cast<char>(generator());
        test::WriteFile(file("plain"), contents);
        ASSERT_EQ(test::Run(TAV_FAST_KDF_PATH, {"e1", file("plain"), file("plain.TAV"), "key"}).status, 0);
        source_ = c.operation == "e1" ? file("plain") : file("plain.TAV");
        before_ = Names();
        // The quickest of three runs, so that a run timed while the machine
        // was busy does not put most signals after the end.
        fullRun_ = std::min({TimeOneRun(), TimeOneRun(), TimeOneRun()});
    }
    void TearDown() override { ::unsetenv("TAV_TEST_NAMED_TEMPORARY"); }

    std::string file(const std::string& name) const { return (folder_->path() / name).string(); }

    std::vector<std::string> Names() const { return test::NamesIn(folder_->path()); }

    std::vector<std::string> Arguments() const { return {GetParam().operation, source_, file("out"), "key"}; }

    Clock::duration TimeOneRun() {
        const auto start = Clock::now();
        EXPECT_EQ(test::Run(TAV_FAST_KDF_PATH, Arguments()).status, 0);
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
        if (status == 0 || fs::exists(file("out"))) {
            fs::remove(file("out"));
            return false;
        }
        EXPECT_EQ(status, 128 + signal);
        EXPECT_EQ(Names(), before_) << "after signal " << signal;
        return true;
    }

    std::unique_ptr<Folder> folder_;
    std::string source_;
    std::vector<std::string> before_;
    Clock::duration fullRun_{};
};

// Only unnamed output files can make this safe, so only they are tried.
using TavKilled = TavStopped;

TEST_P(TavKilled, KilledOutrightLeavesNothing) {
    std::mt19937 random(7);
    int stoppedMidRun = 0;
    for (int attempt = 0; attempt < 80 && stoppedMidRun < 20; ++attempt) stoppedMidRun += StopOnce(SIGKILL, random);
    EXPECT_EQ(stoppedMidRun, 20);
}

TEST_P(TavStopped, EveryCatchableFatalSignalLeavesNothing) {
    std::mt19937 random(11);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGPIPE, SIGUSR1, SIGALRM, SIGXCPU}) {
        StopOnce(signal, random);
    }
}

TEST_P(TavStopped, AFileSizeLimitIsAnOrdinaryWriteError) {
    const auto result = test::Run(TAV_FAST_KDF_PATH, Arguments(), {"", static_cast<long>(kSourceSize / 2)});
    EXPECT_EQ(result.status, 5) << result.errors;
    EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
    EXPECT_EQ(Names(), before_);
}

std::vector<Case> Cases(std::initializer_list<bool> namedTemporary) {
    std::vector<Case> cases;
    for (const std::string operation : {"e1", "D", "d"}) {
        for (const bool onTmpfs : {false, true}) {
            for (const bool named : namedTemporary) cases.push_back({operation, onTmpfs, named});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AtRandomMoments, TavStopped, ::testing::ValuesIn(Cases({false, true})), Describe);
INSTANTIATE_TEST_SUITE_P(AtRandomMoments, TavKilled, ::testing::ValuesIn(Cases({false})), Describe);

}  // namespace
