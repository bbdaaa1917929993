// TAV.exe as Windows programs start it: one command line, of the shape
// Druvel writes, or typed by a person. The known-answer and malformed
// files made by the Linux build run here through tests/tav/vectors_test.cpp.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "tests/support/run.h"
#include "tests/support/workspace.h"

namespace {

namespace fs = std::filesystem;

using test::ReadFile;
using test::RunResult;

// The command line Druvel writes for a file.
std::string DruvelLine(const std::string& operation, const std::string& source, const std::string& target,
                       const std::string& key) {
    return "TAV " + operation + " \"" + source + "\" \"" + target + "\" \"" + key + "\"";
}

// A TAV started in the background (with `flags` such as a console of its
// own, and as the user of `token` when one is given), ended when the test
// lets go of it.
struct StartedTav {
    StartedTav(const char* program, std::wstring line, DWORD flags, HANDLE token = nullptr) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        const std::wstring path = test::FsPath(program).wstring();
        started = (token == nullptr ? CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                                                     nullptr, &startup, &process)
                                    : CreateProcessAsUserW(token, path.c_str(), line.data(), nullptr, nullptr, FALSE,
                                                           flags, nullptr, nullptr, &startup, &process)) != FALSE;
    }
    ~StartedTav() {
        if (!started) return;
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    StartedTav(const StartedTav&) = delete;
    // Its exit status once it ended within `milliseconds`; STILL_ACTIVE while it runs.
    DWORD StatusWithin(DWORD milliseconds) const {
        DWORD status = STILL_ACTIVE;
        WaitForSingleObject(process.hProcess, milliseconds);
        GetExitCodeProcess(process.hProcess, &status);
        return status;
    }

    PROCESS_INFORMATION process{};
    bool started = false;
};

class WindowsTav : public ::testing::Test {
protected:
    RunResult Tav(const std::string& line, const std::string& input = "") {
        return test::RunCommandLine(TAV_FAST_KDF_PATH, line, input);
    }
    std::vector<std::string> Names() const { return test::NamesIn(folder_.path()); }
    bool TemporaryThere() const {
        return std::ranges::any_of(Names(), [](const std::string& name) { return name.rfind(".TAV-", 0) == 0; });
    }
    // Encrypts a new file `name` with the key "batch"; the salt and the
    // nonce of its header.
    std::string SaltAndNonce(const std::string& name) {
        test::WriteFile(folder_.file(name), "contents of " + name);
        EXPECT_EQ(Tav(DruvelLine("e1", folder_.file(name), folder_.file(name + ".TAV"), "batch")).status, 0);
        return ReadFile(folder_.file(name + ".TAV")).substr(24, 40);
    }

    test::TempFolder folder_;
};

// The run time's own splitting would read `ke"y` as `key` and `a\"` as a
// quote; TAV takes every key of Druvel's line exactly: it opens a file
// encrypted under it when the same key comes on standard input, where no
// splitting happens. (Keys of every script travel in cross_system_test.sh.)
TEST_F(WindowsTav, KeysArriveExactlyAsTyped) {
    test::WriteFile(folder_.file("plain.txt"), "secret contents");
    const std::string plain = folder_.file("plain.txt"), encrypted = folder_.file("plain_txt.TAV");
    for (const std::string key : {"ke\"y", "a\\b\\", "back\\\\\"slash", "  blanks around  ", "\"quoted\"", "tail\\",
                                  "\" \" \"", "x\" \"y.TAV\" \"z"}) {
        SCOPED_TRACE(key);
        ASSERT_EQ(Tav(DruvelLine("e0", plain, encrypted, key)).status, 0);
        const RunResult result = Tav("TAV D \"" + encrypted + "\" \"" + folder_.file("back.txt") + "\"", key + "\r\n");
        ASSERT_EQ(result.status, 0) << result.errors;
        EXPECT_EQ(ReadFile(folder_.file("back.txt")), "secret contents");
        fs::remove(encrypted);
        fs::remove(folder_.file("back.txt"));
    }
}

// A key that cannot be turned into UTF-8 exactly (an unpaired surrogate) is
// refused, never altered.
TEST_F(WindowsTav, ALoneSurrogateIsRefused) {
    test::WriteFile(folder_.file("plain.txt"), "x");
    const std::wstring line = test::FsPath(DruvelLine("e0", folder_.file("plain.txt"), folder_.file("out.TAV"), "k")).wstring();
    StartedTav tav(TAV_FAST_KDF_PATH, line.substr(0, line.size() - 1) + L"\xD800\"", DETACHED_PROCESS);
    EXPECT_EQ(tav.StatusWithin(20000), 1u);
    EXPECT_EQ(Names(), std::vector<std::string>{"plain.txt"});
}

// A person's command line without quotes is split as any program's is;
// the help and the version end their lines as Windows does.
TEST_F(WindowsTav, TypedCommandLinesAreSplitAsUsual) {
    test::WriteFile(folder_.file("p.txt"), "typed");
    fs::current_path(folder_.path());
    ASSERT_EQ(Tav("TAV e0 p.txt p_txt.TAV simplekey").status, 0);
    ASSERT_EQ(Tav("TAV d p_txt.TAV back.txt \"simplekey\"").status, 0);
    EXPECT_EQ(ReadFile(folder_.file("back.txt")), "typed");
    EXPECT_EQ(Tav("TAV e0 only-two").status, 1);
    EXPECT_NE(Tav("TAV --help").errors.find("a file or a folder"), std::string::npos);
    EXPECT_EQ(Tav("TAV --version").errors, "TAV " PROJECT_VERSION "\r\n");
}

// Ctrl-C (as Ctrl-Break, or closing the console) while the output is being
// written: the hidden temporary file goes with the process.
TEST_F(WindowsTav, ABreakLeavesNothingBehind) {
    test::WriteFile(folder_.file("big.bin"), std::string(64 << 20, 'b'));
    SetEnvironmentVariableA("TAV_NOTIFY", "off");
    const std::string line = DruvelLine("e0+", folder_.file("big.bin"), folder_.file("big_bin.TAV"), "k");
    const StartedTav tav(TAV_PATH, test::FsPath(line).wstring(), CREATE_NEW_CONSOLE);
    SetEnvironmentVariableA("TAV_NOTIFY", nullptr);
    ASSERT_TRUE(tav.started);
    for (int i = 0; i < 500 && !TemporaryThere(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(TemporaryThere()) << "the output file is made before the key derivation";
    // The break goes to every program on TAV's console, this one joining it
    // for the moment and ignoring it.
    FreeConsole();
    if (!AttachConsole(tav.process.dwProcessId)) GTEST_SKIP() << "this system cannot join another program's console";
    SetConsoleCtrlHandler(nullptr, TRUE);
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        GTEST_SKIP() << "this system sends no console break to another program (Wine: " << GetLastError() << ")";
    }
    const DWORD status = tav.StatusWithin(20000);
    EXPECT_TRUE(status != 0 && status != STILL_ACTIVE) << status;
    EXPECT_EQ(Names(), std::vector<std::string>{"big.bin"});
}

// Ended from outside (TerminateProcess, as Task Manager ends a program) at
// any moment of an encryption or a decryption, TAV leaves nothing: the
// system deletes its output when it is closed, until it has its name, and
// nobody can open it meanwhile to read what the one-pass decryption writes.
TEST_F(WindowsTav, EndedFromOutsideItLeavesNothing) {
    test::WriteFile(folder_.file("big.bin"), std::string(24 << 20, 'b'));
    ASSERT_EQ(Tav(DruvelLine("e1", folder_.file("big.bin"), folder_.file("big_bin.TAV"), "k")).status, 0);
    const std::vector<std::string> before = Names();
    int caughtWriting = 0;
    SetEnvironmentVariableA("TAV_NOTIFY", "off");
    for (const std::string operation : {"e1", "D", "d"}) {
        const std::string source = folder_.file(operation == "e1" ? "big.bin" : "big_bin.TAV");
        for (int attempt = 0; attempt < 20; ++attempt) {
            SCOPED_TRACE(operation + " #" + std::to_string(attempt));
            const std::string line = DruvelLine(operation, source, folder_.file("out"), "k");
            std::optional<StartedTav> tav;
            tav.emplace(TAV_FAST_KDF_PATH, test::FsPath(line).wstring(), DETACHED_PROCESS);
            ASSERT_TRUE(tav->started);
            // Waits a moment that moves through the run from try to try.
            std::this_thread::sleep_for(std::chrono::milliseconds(10 * attempt));
            for (const std::string& name : Names()) {
                if (name.rfind(".TAV-", 0) != 0) continue;
                const HANDLE reader = CreateFileA(folder_.file(name).c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, 0, nullptr);
                EXPECT_EQ(reader, INVALID_HANDLE_VALUE) << "another program opened the output being written";
                if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
                ++caughtWriting;
            }
            tav.reset();  // ended from outside
            if (fs::exists(folder_.file("out"))) fs::remove(folder_.file("out"));  // the run had ended already
            EXPECT_EQ(Names(), before);
        }
    }
    SetEnvironmentVariableA("TAV_NOTIFY", nullptr);
    RecordProperty("caught-writing", caughtWriting);
    EXPECT_GT(caughtWriting, 0) << "no try ended a run while it wrote";
}

// Through the key agent a batch pays the key derivation once: its files
// share a salt, each keeps its own nonce, and they open again; with the
// cache off each file derives its own.
TEST_F(WindowsTav, ABatchSharesOneKeyDerivationThroughTheAgent) {
    SetEnvironmentVariableA("TAV_KEY_CACHE", "on");
    // The agent holds on to the output Wine gave the test's programs until
    // it ends: it ends two seconds after its last request here.
    SetEnvironmentVariableA("TAV_TEST_KEY_CACHE_IDLE_SECONDS", "2");
    const std::string a = SaltAndNonce("a"), b = SaltAndNonce("b");
    EXPECT_EQ(a.substr(0, 16), b.substr(0, 16)) << "one salt for the batch";
    EXPECT_NE(a.substr(16), b.substr(16)) << "each file its own nonce";
    SetEnvironmentVariableA("TAV_KEY_CACHE", "off");
    EXPECT_NE(SaltAndNonce("alone").substr(0, 16), a.substr(0, 16));
    SetEnvironmentVariableA("TAV_KEY_CACHE", "on");
    for (const std::string name : {"a", "b", "alone"}) {
        ASSERT_EQ(Tav(DruvelLine("D", folder_.file(name + ".TAV"), folder_.file(name + ".back"), "batch")).status, 0);
        EXPECT_EQ(ReadFile(folder_.file(name + ".back")), "contents of " + name);
    }
    EXPECT_EQ(Tav(DruvelLine("D", folder_.file("a.TAV"), folder_.file("wrong.back"), "Batch")).status, 2);
    SetEnvironmentVariableA("TAV_KEY_CACHE", "off");
    SetEnvironmentVariableA("TAV_TEST_KEY_CACHE_IDLE_SECONDS", nullptr);
}

// The last part of the process's mandatory label: 0x1000 low, 0x2000
// medium, 0x3000 high.
DWORD IntegrityOf(HANDLE process) {
    HANDLE token = nullptr;
    unsigned char buffer[256];
    DWORD size = 0;
    const bool read = OpenProcessToken(process, TOKEN_QUERY, &token) &&
                      GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof buffer, &size);
    if (token != nullptr) CloseHandle(token);
    if (!read) return 0;
    const PSID label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    return *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1u);
}

// A sandboxed process of the same user runs at low integrity and may make
// the agent's pipe before any agent does: TAV sends it no key, and derives
// the key itself (so each file gets a salt of its own).
TEST_F(WindowsTav, NoKeyGoesToAnAgentOfLowerIntegrity) {
    HANDLE own = nullptr, low = nullptr;
    PSID lowLabel = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own));
    ASSERT_TRUE(DuplicateTokenEx(own, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &low));
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-16-4096", &lowLabel));
    TOKEN_MANDATORY_LABEL label{{lowLabel, SE_GROUP_INTEGRITY}};
    const bool lowered = SetTokenInformation(low, TokenIntegrityLevel, &label, sizeof label + GetLengthSid(lowLabel));
    SetEnvironmentVariableA("TAV_KEY_CACHE", "on");
    SetEnvironmentVariableA("TAV_TEST_KEY_CACHE_IDLE_SECONDS", "3");
    std::optional<StartedTav> agent;
    if (lowered) agent.emplace(TAV_FAST_KDF_PATH, L"TAV --key-agent", DETACHED_PROCESS, low);
    const DWORD error = GetLastError();
    LocalFree(lowLabel);
    CloseHandle(low);
    CloseHandle(own);
    if (!agent || !agent->started) GTEST_SKIP() << "this system starts no process at low integrity (error " << error << ")";
    if (const DWORD integrity = IntegrityOf(agent->process.hProcess); integrity >= IntegrityOf(GetCurrentProcess())) {
        GTEST_SKIP() << "the agent runs at integrity " << integrity << ", not lower (Wine runs every process at high integrity)";
    }
    Sleep(500);  // the agent makes its pipe
    EXPECT_NE(SaltAndNonce("a").substr(0, 16), SaltAndNonce("b").substr(0, 16));
    SetEnvironmentVariableA("TAV_KEY_CACHE", "off");
    SetEnvironmentVariableA("TAV_TEST_KEY_CACHE_IDLE_SECONDS", nullptr);
}

}  // namespace

