// TAV: encrypts and decrypts files with a key.
//   TAV e<rounds>[+] <source> <target> <key>   encrypt
//   TAV a<rounds>[+] <source> <target> <key>   write a self-decrypting program
//   TAV D|d <source> <target> <key>            decrypt (D verifies everything first)
// A key of "-" is read from standard input. A self-decrypting program run
// without arguments asks for its key and restores the file next to itself.
#include <sodium.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "tav/failure.h"
#include "tav/files.h"
#include "tav/key.h"
#include "tav/operation.h"
#include "tav/stream.h"

namespace {

using namespace tav;

constexpr const char* kUsage =
    "usage: TAV e<rounds>[+]|a<rounds>[+]|D|d <source> <target> <key>\n"
    "  e  encrypt         a  write a self-decrypting program    rounds: 0 to 64, + for paranoia\n"
    "  D  verify, then decrypt      d  decrypt in one pass      key: - reads it from standard input";

// Decrypts an opened file into `target`; with `verifyFirst` nothing is
// written before every byte has been authenticated.
void DecryptInto(EncryptedFile& file, const std::string& target, bool verifyFirst) {
    if (verifyFirst) file.Verify();
    OutputFile out(target);
    file.DecryptTo(out);
    out.Commit(0600);
}

int RunCommand(char** argv, std::unique_ptr<SecureBuffer> key) {
    const Operation op = ParseOperation(argv[1]);
    const std::string source = argv[2];
    const std::string target = argv[3];
    if (key == nullptr) key = ReadKeyLine("Key: ");
    if (source == target) throw Failure(Exit::Usage, "the source and the target are the same file: " + source);
    RefuseExistingTarget(target);

    if (op.encrypts()) {
        Encrypt({source, target, op.rounds, op.paranoia, op.kind == Operation::Kind::SelfDecrypting}, *key);
    } else {
        EncryptedFile file(source);
        file.Open(*key);
        DecryptInto(file, target, op.kind == Operation::Kind::VerifyThenDecrypt);
    }
    return 0;
}

// A self-decrypting program restores the file under its stored name in the
// folder the program is in; the name is never taken as a path.
int RunSelfDecrypting(const SelfImage& self) {
    const std::unique_ptr<SecureBuffer> key = ReadKeyLine("Key to decrypt this file: ");
    EncryptedFile file(self.path);
    const Metadata& metadata = file.Open(*key);
    if (!IsSafeFileName(metadata.name)) throw Failure(Exit::Damaged, "the stored file name is not usable");
    const std::string target = FolderOf(self.path) + "/" + metadata.name;
    RefuseExistingTarget(target);
    DecryptInto(file, target, true);
    std::fprintf(stderr, "TAV: decrypted %s\n", target.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (sodium_init() < 0) {
        std::fputs("TAV: cannot initialise the cryptography library\n", stderr);
        return static_cast<int>(Exit::Io);
    }
    InstallCleanupOnSignals();
    try {
        // The key leaves the command line before anything else happens.
        std::unique_ptr<SecureBuffer> key;
        if (argc == 5 && std::strcmp(argv[4], "-") != 0) key = TakeKeyArgument(argv[4]);
        if (argc == 1) {
            const SelfImage self = FindSelfImage();
            if (self.carriesData) return RunSelfDecrypting(self);
        }
        if (argc != 5) throw Failure(Exit::Usage, kUsage);
        return RunCommand(argv, std::move(key));
    } catch (const Failure& failure) {
        std::fprintf(stderr, "TAV: %s\n", failure.what());
        return static_cast<int>(failure.code());
    } catch (const std::bad_alloc&) {
        std::fputs("TAV: out of memory\n", stderr);
        return static_cast<int>(Exit::Io);
    }
}
