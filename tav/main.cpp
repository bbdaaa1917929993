// TAV: encrypts and decrypts files with a key.
//   TAV e<rounds>[+] <source> <target> [<key>]   encrypt a file or a folder
//   TAV a<rounds>[+] <source> <target> [<key>]   write a self-decrypting program
//   TAV D|d <source> <target> [<key>]            decrypt (D verifies everything first)
// The fourth argument is always the key, whatever it is; without it the key
// is read from the terminal (or one line of standard input). A
// self-decrypting program is a small program of its own (stub.cpp) with the
// encrypted data behind it.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "tav/base/failure.h"
#include "tav/base/printable.h"
#include "tav/engine/encrypt.h"
#include "tav/engine/encrypted_file.h"
#include "tav/operation.h"
#include "tav/os/files.h"
#include "tav/os/folder.h"
#include "tav/os/key.h"
#include "tav/os/key_cache_agent.h"
#include "tav/os/notify.h"
#include "tav/tool.h"
#include "tav/os/terminal.h"

namespace {

using namespace tav;

constexpr const char* kUsage = "usage: TAV <operation> <source> <target> [<key>] (TAV --help explains)";

// What --help prints; folders where this system's TAV takes them.
std::string Help() {
    return std::string("usage: TAV <operation> <source> <target> [<key>]\n"
                       "       TAV --help | --version\n"
                       "\n"
                       "operations:\n") +
           (FoldersSupported() ? "  e<rounds>[+]  encrypt <source>, a file or a folder, into <target>\n"
                               : "  e<rounds>[+]  encrypt the file <source> into <target>\n") +
           "  a<rounds>[+]  write <target> as a self-decrypting program\n"
           "  D             decrypt after verifying the whole file\n"
           "  d             decrypt in one pass (on any damage the output is removed)\n"
           "  salvage       write what verifies of a damaged file to <target>.salvaged,\n"
           "                zero bytes in place of what does not (of a folder, every file\n"
           "                that verifies whole), and list what was lost\n"
           "rounds: 0 to 64, the key-derivation work; + for paranoia (more memory,\n"
           "and padding that hides the exact size)\n"
           "\n"
           "The fourth argument is the key, exactly as given. Without it, TAV asks for\n"
           "the key on the terminal without echo, or reads one line of standard input.\n"
           "\n"
           "exit status: 0 done, 1 usage, 2 wrong key, 3 damaged file, 4 target exists,\n"
           "5 cannot read or write. TAV never overwrites a file and never leaves a\n"
           "partial one.\n";
}

bool Asks(int argc, char** argv, const char* longOption, const char* shortOption) {
    return argc == 2 && (std::strcmp(argv[1], longOption) == 0 || std::strcmp(argv[1], shortOption) == 0);
}

// Keeps what verifies of a damaged file or folder under a name that cannot
// be taken for the original's, lists what was lost, and fails with the damage
// status when anything was.
int Salvage(const std::string& source, const std::string& salvaged, const SecureBuffer& key) {
    EncryptedFile file(source);
    const std::unique_ptr<PlainTarget> out = TargetFor(file, salvaged);
    file.Open(key);
    const std::vector<std::string> lost = file.Salvage(*out);
    out->Complete();
    for (const std::string& place : lost) WriteError("TAV: lost " + Printable(place) + "\n");
    if (lost.empty()) return 0;
    throw Failure(Exit::Damaged, "salvaged what verifies into " + salvaged + "; zero bytes stand for what was lost");
}

int RunCommand(char** argv, std::unique_ptr<SecureBuffer> key) {
    const Operation op = ParseOperation(argv[1]);
    const std::string source = argv[2];
    const bool salvaging = op.kind == Operation::Kind::Salvage;
    const std::string target = salvaging ? std::string(argv[3]) + ".salvaged" : argv[3];
    if (key == nullptr) key = ReadKeyLine("Key: ");
    if (source == target) throw Failure(Exit::Usage, "the source and the target are the same file: " + source);
    RefuseExistingTarget(target);

    if (salvaging) return Salvage(source, target, *key);
    if (op.encrypts()) {
        Encrypt({source, target, op.rounds, op.paranoia, op.kind == Operation::Kind::SelfDecrypting}, *key);
    } else {
        EncryptedFile file(source);
        const std::unique_ptr<PlainTarget> out = TargetFor(file, target);
        file.Open(*key);
        DecryptInto(file, *out, op.kind == Operation::Kind::VerifyThenDecrypt);
    }
    return 0;
}

int Run(int argc, char** argv, KeyArgument* keyArgument) {
    if (argc == 2 && std::strcmp(argv[1], kKeyAgentArgument) == 0) return RunKeyAgent();
    if (argc == 2 && std::strcmp(argv[1], kNoticeWindowArgument) == 0) return RunNoticeWindow();
    std::unique_ptr<SecureBuffer> key;
    if (keyArgument != nullptr) key = keyArgument->Take();
    if (Asks(argc, argv, "--help", "-h")) {
        std::fputs(Help().c_str(), stdout);
        return 0;
    }
    if (Asks(argc, argv, "--version", "-V")) {
        std::printf("TAV %s\n", TAV_VERSION);
        return 0;
    }
    if (argc != 4 && argc != 5) throw Failure(Exit::Usage, kUsage);
    return RunCommand(argv, std::move(key));
}

}  // namespace

int main(int argc, char** argv) { return RunTool(argc, argv, Run); }
