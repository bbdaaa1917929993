#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test {

// A path from the program's text (UTF-8; on POSIX any bytes, taken as
// they are), and back: on Windows std::filesystem reads a plain string in
// the ANSI code page.
std::filesystem::path FsPath(const std::string& text);
std::string PathText(const std::filesystem::path& path);

// A fresh temporary folder that is the current directory for one test and is
// removed afterwards, with the previous current directory restored.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return PathText(path_ / FsPath(name)); }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// The names in `folder`, sorted.
std::vector<std::string> NamesIn(const std::filesystem::path& folder);

// Writes `contents` to `path` (the program's text, as FsPath takes it), replacing it.
void WriteFile(const std::string& path, const std::string& contents);

// The whole contents of `path`, or an empty string when it cannot be read.
std::string ReadFile(const std::string& path);

// The known-answer file under `vectors` that holds the plaintext file `name`
// ("v2/hello.txt" -> ".../v2/hello_txt.TAV"), named as Druvel names it.
std::string EncryptedVector(const std::string& vectors, const std::string& name);

// One malformed known-answer file and the exit status TAV gives for it.
struct MalformedVector {
    std::string path;
    int status;
};

// Every malformed vector listed in the expected.txt of TAV's vector folders
// "malformed-v1" and "malformed-v2" under `vectors`.
std::vector<MalformedVector> MalformedVectors(const std::string& vectors);

// The stand-in tool installed as "TAV" in a folder: it records every run's
// arguments, and exits with the status a test sets.
class FakeTool {
public:
    explicit FakeTool(const std::filesystem::path& folder);

    void Succeed();
    // Exits 0 but writes no target, as a broken tool might.
    void SucceedWithoutTarget();
    void ExitWith(int status);
    void DieBySignal(int signal);
    // Every later run waits until Release() lets it end; call Release()
    // only while a run waits.
    void HoldEachRun();
    void Release();

    // The argument lists of every run so far, in order.
    std::vector<std::vector<std::string>> Runs() const;

private:
    std::string log_;
    std::string release_;
};

}  // namespace test
