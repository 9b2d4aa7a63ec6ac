#include "fake_service.h"

#include "fake_platform.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace
{
const DWORD FAKE_ERROR_INVALID_HANDLE = 6;
const int NO_CALL = -1;

struct ServiceState
{
    std::vector<FakeStatusReport> reports;
    int failAt = NO_CALL;
    DWORD failAtError = 0;
    bool failAlways = false;
    DWORD failAlwaysError = 0;
    std::vector<std::string> registrations;
    LPHANDLER_FUNCTION handler = NULL;
    bool registerFails = false;
    DWORD registerError = 0;
};

std::mutex g_mutex;
std::condition_variable g_reported;
ServiceState g_state;

// A dummy object gives the handle an address no other fake can hand out.
char g_handleTag;

void ResetService()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state = ServiceState();
}

FAKE_REGISTER_RESET(ResetService);

bool StateReported(DWORD state)
{
    for (const FakeStatusReport &report : g_state.reports)
    {
        if (report.status.dwCurrentState == state)
        {
            return true;
        }
    }
    return false;
}
} // namespace

SERVICE_STATUS_HANDLE FakeServiceStatusHandle()
{
    return reinterpret_cast<SERVICE_STATUS_HANDLE>(&g_handleTag);
}

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR serviceName,
                                                         LPHANDLER_FUNCTION handler)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.registrations.push_back(serviceName ? serviceName : "(null)");
    if (g_state.registerFails)
    {
        SetLastError(g_state.registerError);
        return NULL;
    }
    g_state.handler = handler;
    return FakeServiceStatusHandle();
}

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (status == NULL)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int index = static_cast<int>(g_state.reports.size());
    BOOL result = TRUE;
    if (handle != FakeServiceStatusHandle())
    {
        SetLastError(FAKE_ERROR_INVALID_HANDLE);
        result = FALSE;
    }
    else if (index == g_state.failAt)
    {
        SetLastError(g_state.failAtError);
        result = FALSE;
    }
    else if (g_state.failAlways)
    {
        SetLastError(g_state.failAlwaysError);
        result = FALSE;
    }
    g_state.reports.push_back(FakeStatusReport{handle, *status, result});
    g_reported.notify_all();
    return result;
}

std::vector<FakeStatusReport> FakeStatusReports()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.reports;
}

void FakeFailSetServiceStatusAt(int callIndex, DWORD lastError)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.failAt = callIndex;
    g_state.failAtError = lastError;
}

void FakeFailSetServiceStatusAlways(DWORD lastError)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.failAlways = true;
    g_state.failAlwaysError = lastError;
}

bool FakeWaitForReportedState(DWORD state, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_reported.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [state] { return StateReported(state); });
}

std::vector<std::string> FakeHandlerRegistrations()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.registrations;
}

LPHANDLER_FUNCTION FakeRegisteredHandler()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.handler;
}

void FakeFailRegisterServiceCtrlHandler(DWORD lastError)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.registerFails = true;
    g_state.registerError = lastError;
}
