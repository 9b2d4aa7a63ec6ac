#include "fake_process.h"

#include "fake_platform.h"

#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace
{
struct State
{
    std::mutex lock;
    int startupCalls = 0;
    BOOL createResult = TRUE;
    DWORD createError = 0;
    std::vector<FakeCreateProcessCall> calls;
};

State &Processes()
{
    static State state;
    return state;
}

std::atomic<FakeExitHook> g_exitHook{nullptr};

void Reset()
{
    g_exitHook = nullptr;
    State &s = Processes();
    std::lock_guard<std::mutex> guard(s.lock);
    s.startupCalls = 0;
    s.createResult = TRUE;
    s.createError = 0;
    s.calls.clear();
}
FAKE_REGISTER_RESET(Reset);

char g_desktop[] = "fake\\desktop";
char g_title[] = "fake launcher";
} // namespace

STARTUPINFOA FakeStartupInfo()
{
    STARTUPINFOA info;
    memset(&info, 0, sizeof(info));
    info.cb = sizeof(info);
    info.lpDesktop = g_desktop;
    info.lpTitle = g_title;
    info.dwX = 11;
    info.dwY = 22;
    info.dwXSize = 333;
    info.dwYSize = 444;
    info.dwFlags = 0x81;
    info.wShowWindow = 7;
    info.hStdInput = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x51));
    info.hStdOutput = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x52));
    info.hStdError = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x53));
    return info;
}

int FakeGetStartupInfoCalls()
{
    State &s = Processes();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.startupCalls;
}

void FakeSetCreateProcessResult(BOOL result, DWORD lastError)
{
    State &s = Processes();
    std::lock_guard<std::mutex> guard(s.lock);
    s.createResult = result;
    s.createError = lastError;
}

std::vector<FakeCreateProcessCall> FakeCreateProcessCalls()
{
    State &s = Processes();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.calls;
}

PROCESS_INFORMATION FakeCreatedProcessInformation()
{
    PROCESS_INFORMATION info;
    info.hProcess = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7A0));
    info.hThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7A4));
    info.dwProcessId = 4242;
    info.dwThreadId = 4243;
    return info;
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA info)
{
    State &s = Processes();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        ++s.startupCalls;
    }
    *info = FakeStartupInfo();
}

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation)
{
    FakeCreateProcessCall call;
    call.applicationNamePtr = applicationName;
    call.commandLinePtr = commandLine;
    call.commandLine = commandLine != nullptr ? commandLine : "";
    call.processAttributes = processAttributes;
    call.threadAttributes = threadAttributes;
    call.inheritHandles = inheritHandles;
    call.creationFlags = creationFlags;
    call.environment = environment;
    call.currentDirectoryPtr = currentDirectory;
    call.currentDirectory = currentDirectory != nullptr ? currentDirectory : "";
    call.startupInfoPtr = startupInfo;
    memset(&call.startupInfo, 0, sizeof(call.startupInfo));
    if (startupInfo != nullptr)
    {
        call.startupInfo = *startupInfo;
    }
    call.processInformationPtr = processInformation;

    State &s = Processes();
    BOOL result;
    DWORD error;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.calls.push_back(call);
        result = s.createResult;
        error = s.createError;
    }
    if (!result)
    {
        SetLastError(error);
        return FALSE;
    }
    if (processInformation != nullptr)
    {
        *processInformation = FakeCreatedProcessInformation();
    }
    return result;
}

void FakeSetExitProcessHook(FakeExitHook hook)
{
    g_exitHook = hook;
}

void WINAPI ExitProcess(UINT exitCode)
{
    FakeExitHook hook = g_exitHook;
    if (hook != nullptr)
    {
        hook(exitCode);
    }
    // _exit, not exit: the child of a death test must not run the test
    // program's static destructors or flush output the parent also holds.
    _exit(static_cast<int>(exitCode));
}
