#include "tav/tool.h"

#include <sodium.h>

#include <cstdio>
#include <optional>

#include "tav/base/failure.h"
#include "tav/base/printable.h"
#include "tav/os/arguments.h"
#include "tav/os/folder.h"
#include "tav/os/hardening.h"
#include "tav/os/notify.h"
#include "tav/os/terminal.h"

namespace tav {

std::unique_ptr<PlainTarget> TargetFor(const EncryptedFile& file, const std::string& target) {
    if (file.holdsFolder()) return std::make_unique<OutputFolder>(target);
    return std::make_unique<OutputFile>(target);
}

// An unnamed output file gets its name only after the last chunk verified,
// so one pass is enough; a named temporary file or a folder being built
// needs a verifying pass first, in which a folder's archive is read and
// checked through, so that a folder that cannot be made here is refused
// before anything is.
void DecryptInto(EncryptedFile& file, PlainTarget& out, bool verifyFirst) {
    if (verifyFirst && !out.unnamed()) file.Verify(out.Rehearsal().get());
    file.DecryptTo(out);
    out.Complete();
}

// Messages go out through WriteError, not the printf family, whose formatting
// code would be a tenth of the self-decrypting files' program on Windows.
int RunTool(int argc, char** argv, ToolBody run) {
    std::optional<KeyArgument> keyArgument;
    int status;
    try {
        // The key leaves the command line before anything else happens.
        char** arguments = ProgramArguments(argc, argv);
        if (argc == 5) keyArgument.emplace(arguments[4]);
        HardenProcess();
        if (sodium_init() < 0) throw Failure(Exit::Io, "cannot initialise the cryptography library");
        status = run(argc, arguments, keyArgument ? &*keyArgument : nullptr);
    } catch (const Failure& failure) {
        const std::string message = Printable(failure.what());
        WriteError("TAV: " + message + "\n");
        if (NotificationsAvailable()) ShowNotification(message, 0, true);
        status = static_cast<int>(failure.code());
    } catch (const std::bad_alloc&) {
        WriteError("TAV: out of memory\n");
        status = static_cast<int>(Exit::Io);
    }
    WipeStack();
    return status;
}

}  // namespace tav
