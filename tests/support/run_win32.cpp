#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/system/win32/wide.h"
#include "tests/support/run.h"

namespace test {

RunResult RunCommandLine(const std::string& program, std::string line, const std::string& input) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, errRead, errWrite;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0)) std::abort();
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    // The program's path and the line go in UTF-16, as Druvel.exe sends them.
    std::wstring wideProgram, wideLine;
    if (!platform::WideFromText(program, wideProgram) || !platform::WideFromText(line, wideLine)) std::abort();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = errWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    RunResult result;
    // Under load, Wine now and then fails to start a program that starts
    // the next moment; a start is tried again, what the program does never is.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0) Sleep(200);
        started = CreateProcessW(wideProgram.c_str(), wideLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &process);
    }
    CloseHandle(inRead);
    CloseHandle(errWrite);
    if (started) {
        DWORD written;
        if (!input.empty()) WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
        CloseHandle(inWrite);
        char buffer[4096];
        DWORD got;
        while (ReadFile(errRead, buffer, sizeof buffer, &got, nullptr) && got > 0) result.errors.append(buffer, got);
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = static_cast<DWORD>(-1);  // stays -1 without an exit status
        GetExitCodeProcess(process.hProcess, &status);
        result.status = static_cast<int>(status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        result.errors = "(could not start " + program + ": error " + std::to_string(GetLastError()) + ")";
        CloseHandle(inWrite);
    }
    CloseHandle(errRead);
    return result;
}

RunResult Run(const std::string& program, const std::vector<std::string>& arguments, const RunOptions& options) {
    if (options.fileSizeLimit >= 0) std::abort();
    std::string line = "TAV";
    for (const std::string& argument : arguments) line += " \"" + argument + "\"";
    return RunCommandLine(program, line, options.input);
}

}  // namespace test
