#include "fake_dispatcher.h"

#include "fake_platform.h"
#include "fake_service.h"

#include <stddef.h>
#include <stdio.h>

#include <deque>
#include <mutex>
#include <thread>

namespace
{
// A table without a terminator within this many entries is taken as broken.
const int MAX_TABLE_ENTRIES = 64;

struct DispatcherState
{
    std::deque<DWORD> queued;
    bool fails = false;
    DWORD failError = 0;
    std::vector<FakeDispatcherCall> calls;
};

std::mutex g_mutex;
DispatcherState g_state;

void ResetDispatcher()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state = DispatcherState();
}

FAKE_REGISTER_RESET(ResetDispatcher);

bool StoppedTakenSince(size_t firstReport)
{
    std::vector<FakeStatusReport> reports = FakeStatusReports();
    for (size_t i = firstReport; i < reports.size(); ++i)
    {
        if (reports[i].result && reports[i].status.dwCurrentState == SERVICE_STOPPED)
        {
            return true;
        }
    }
    return false;
}

bool NextControl(DWORD *control)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_state.queued.empty())
    {
        return false;
    }
    *control = g_state.queued.front();
    g_state.queued.pop_front();
    return true;
}

BOOL Finish(FakeDispatcherCall &call, BOOL result, DWORD lastError)
{
    call.result = result;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_state.calls.push_back(call);
    }
    if (!result)
    {
        SetLastError(lastError);
    }
    return result;
}

FakeDispatcherCall ReadTable(const SERVICE_TABLE_ENTRYA *table)
{
    FakeDispatcherCall call = FakeDispatcherCall();
    call.serviceMain = NULL;
    if (table == NULL)
    {
        return call;
    }
    for (int i = 0; i < MAX_TABLE_ENTRIES; ++i)
    {
        if (table[i].lpServiceName == NULL && table[i].lpServiceProc == NULL)
        {
            call.terminated = true;
            break;
        }
        ++call.entries;
    }
    if (call.entries > 0)
    {
        call.name = table[0].lpServiceName ? table[0].lpServiceName : "(null)";
        call.serviceMain = table[0].lpServiceProc;
    }
    return call;
}
} // namespace

void FakeDispatcherQueueControl(DWORD control)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.queued.push_back(control);
}

void FakeFailDispatcher(DWORD lastError)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.fails = true;
    g_state.failError = lastError;
}

std::vector<FakeDispatcherCall> FakeDispatcherCalls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.calls;
}

int FakeDispatcherPendingControls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return static_cast<int>(g_state.queued.size());
}

BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA *table)
{
    FakeDispatcherCall call = ReadTable(table);
    bool fails;
    DWORD failError;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        fails = g_state.fails;
        failError = g_state.failError;
    }
    if (fails)
    {
        return Finish(call, FALSE, failError);
    }
    if (!call.terminated || call.entries == 0 || call.serviceMain == NULL)
    {
        return Finish(call, FALSE, ERROR_INVALID_PARAMETER);
    }

    const size_t firstReport = FakeStatusReports().size();

    // The service's arguments as a manager-started service gets them: its
    // name alone.
    char name[256];
    snprintf(name, sizeof(name), "%s", call.name.c_str());
    LPSTR argv[] = {name, NULL};
    LPSERVICE_MAIN_FUNCTIONA serviceMain = call.serviceMain;
    std::thread service([serviceMain, &argv] { serviceMain(1, argv); });
    service.join();

    DWORD control;
    while (!StoppedTakenSince(firstReport))
    {
        LPHANDLER_FUNCTION handler = FakeRegisteredHandler();
        if (handler == NULL || !NextControl(&control))
        {
            return Finish(call, FALSE, FAKE_DISPATCHER_NEVER_STOPPED);
        }
        call.delivered.push_back(control);
        handler(control);
    }
    return Finish(call, TRUE, 0);
}
