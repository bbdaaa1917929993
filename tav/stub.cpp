// The program at the front of every self-decrypting file. Run without
// arguments, it asks for the key and restores the file or folder it carries
// next to itself, with D's guarantees. It only decrypts, with libsodium
// alone, so that a small file stays small; TAV D and d read the same file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "tav/base/failure.h"
#include "tav/base/printable.h"
#include "tav/engine/encrypted_file.h"
#include "tav/engine/self_image.h"
#include "tav/os/files.h"
#include "tav/os/key.h"
#include "tav/os/key_cache.h"
#include "tav/os/names.h"
#include "tav/os/notify.h"
#include "tav/tool.h"
#include "tav/os/terminal.h"

namespace {

using namespace tav;

// Asks for the key and restores the file or folder this file carries under
// its stored name, next to it; the stored name is never taken as a path.
int RunSelfDecrypting(const SelfImage& self) {
    const std::unique_ptr<SecureBuffer> key = ReadKeyLine("Key to decrypt this file: ");
    EncryptedFile file(self.path);
    const Metadata& metadata = file.Open(*key);
    CheckStoredName(metadata.name, metadata.name);
    const std::string target = PathIn(FolderOf(self.path), metadata.name);
    RefuseExistingTarget(target);
    const std::unique_ptr<PlainTarget> out = TargetFor(file, target);
    DecryptInto(file, *out, true);
    WriteError("TAV: decrypted " + Printable(target) + "\n");
    return 0;
}

// A failure on Windows may start this program again as the notice window
// (see notify.h); it never starts a key agent.
int Run(int argc, char** argv, KeyArgument*) {
    if (argc == 2 && std::strcmp(argv[1], kNoticeWindowArgument) == 0) return RunNoticeWindow();
    TurnOffKeyCache();
    if (argc == 1) {
        const SelfImage self = FindSelfImage();
        if (self.carriesData) return RunSelfDecrypting(self);
    }
    throw Failure(Exit::Usage,
                  "this is a self-decrypting file: run it without arguments, or decrypt it with TAV D <file> <target>");
}

}  // namespace

// What ends the program on an exception nothing catches (there is none by
// design): abort, as the default does, without first printing the
// exception's type, for which the C++ library would bring a demangler of
// some 50 KB into every self-decrypting file.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int main(int argc, char** argv) { return RunTool(argc, argv, Run); }
