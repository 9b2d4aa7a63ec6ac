#include "fake_system.h"

#include "fake_platform.h"

#include <string.h>

#include <mutex>

namespace
{
// Sizes a caller may announce in the version record: the basic record and the
// extended one that starts with it.
const DWORD VERSION_INFO_SIZE = 148;
const DWORD VERSION_INFO_EX_SIZE = 156;
const DWORD FAKE_ERROR_INSUFFICIENT_BUFFER = 122;

thread_local DWORD t_lastError = 0;

struct SystemState
{
    DWORD platformId;
    bool versionFails;
    DWORD versionError;
    int versionCalls;
    DWORD versionSizeSeen;
    std::vector<DWORD> sleeps;
    std::vector<FakeWipe> wipes;
};

SystemState InitialState()
{
    SystemState state = SystemState();
    state.platformId = VER_PLATFORM_WIN32_NT;
    return state;
}

std::mutex g_mutex;
SystemState g_state = InitialState();

// Other threads' last errors die with their threads; the test's own is put back.
void ResetSystem()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state = InitialState();
    t_lastError = 0;
}

FAKE_REGISTER_RESET(ResetSystem);

// A store through a volatile pointer is one the optimiser must keep, which is
// the whole point of the call being faked.
void WipeForReal(void *buffer, size_t length)
{
    volatile unsigned char *p = static_cast<volatile unsigned char *>(buffer);
    for (size_t i = 0; i < length; ++i)
    {
        p[i] = 0;
    }
}
} // namespace

DWORD WINAPI GetLastError(void)
{
    return t_lastError;
}

void WINAPI SetLastError(DWORD error)
{
    t_lastError = error;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_state.versionCalls;
    if (info == NULL)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_state.versionSizeSeen = info->dwOSVersionInfoSize;
    if (g_state.versionFails)
    {
        SetLastError(g_state.versionError);
        return FALSE;
    }
    if (info->dwOSVersionInfoSize != VERSION_INFO_SIZE &&
        info->dwOSVersionInfoSize != VERSION_INFO_EX_SIZE)
    {
        SetLastError(FAKE_ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const bool nt = g_state.platformId == VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = nt ? 5 : 4;
    info->dwMinorVersion = nt ? 1 : 10;
    info->dwBuildNumber = nt ? 2600 : 2222;
    info->dwPlatformId = g_state.platformId;
    memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.sleeps.push_back(milliseconds);
}

void *SecureZeroMemory(void *buffer, size_t length)
{
    WipeForReal(buffer, length);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.wipes.push_back(FakeWipe{buffer, length});
    return buffer;
}

void FakeSetPlatformId(DWORD platformId)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.platformId = platformId;
}

void FakeFailGetVersionEx(DWORD lastError)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.versionFails = true;
    g_state.versionError = lastError;
}

int FakeGetVersionExCalls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.versionCalls;
}

DWORD FakeGetVersionExSizeSeen()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.versionSizeSeen;
}

std::vector<DWORD> FakeSleeps()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.sleeps;
}

std::vector<FakeWipe> FakeWipes()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.wipes;
}
