#include "fake_eventlog.h"

#include "fake_platform.h"

#include <mutex>
#include <set>

namespace
{
const DWORD FAKE_ERROR_INVALID_HANDLE = 6;
const uintptr_t FIRST_HANDLE = 0xE000;

struct EventLogState
{
    std::vector<FakeEventLogCall> calls;
    std::set<HANDLE> open;
    uintptr_t nextHandle = FIRST_HANDLE;
    bool registerFails = false;
    DWORD registerError = 0;
    bool reportFails = false;
    DWORD reportError = 0;
};

std::mutex g_mutex;
EventLogState g_state;

void ResetEventLog()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state = EventLogState();
}

FAKE_REGISTER_RESET(ResetEventLog);

FakeEventLogCall NewCall(FakeEventLogCallKind kind, HANDLE handle)
{
    FakeEventLogCall call = FakeEventLogCall();
    call.kind = kind;
    call.handle = handle;
    return call;
}
} // namespace

HANDLE WINAPI RegisterEventSourceA(LPCSTR serverName, LPCSTR sourceName)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    HANDLE handle = NULL;
    if (g_state.registerFails)
    {
        SetLastError(g_state.registerError);
    }
    else
    {
        handle = reinterpret_cast<HANDLE>(g_state.nextHandle++);
        g_state.open.insert(handle);
        // The call disturbs the thread's last error even when it succeeds, so
        // a reporter that reads it afterwards shows up in tests.
        SetLastError(ERROR_SUCCESS);
    }
    FakeEventLogCall call = NewCall(FAKE_REGISTER_EVENT_SOURCE, handle);
    call.serverNameNull = serverName == NULL;
    call.serverName = serverName ? serverName : "";
    call.sourceName = sourceName ? sourceName : "";
    g_state.calls.push_back(call);
    return handle;
}

BOOL WINAPI ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid,
                         WORD numStrings, DWORD dataSize, LPCSTR *strings, LPVOID rawData)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    FakeEventLogCall call = NewCall(FAKE_REPORT_EVENT, eventLog);
    call.type = type;
    call.category = category;
    call.eventId = eventId;
    call.userSidNull = userSid == NULL;
    call.numStrings = numStrings;
    call.dataSize = dataSize;
    call.rawDataNull = rawData == NULL;
    for (WORD i = 0; strings != NULL && i < numStrings; ++i)
    {
        call.strings.push_back(strings[i] ? strings[i] : "(null)");
    }
    g_state.calls.push_back(call);

    if (g_state.open.count(eventLog) == 0)
    {
        SetLastError(FAKE_ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (g_state.reportFails)
    {
        SetLastError(g_state.reportError);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DeregisterEventSource(HANDLE eventLog)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.calls.push_back(NewCall(FAKE_DEREGISTER_EVENT_SOURCE, eventLog));
    if (g_state.open.erase(eventLog) == 0)
    {
        SetLastError(FAKE_ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

std::vector<FakeEventLogCall> FakeEventLogCalls()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state.calls;
}

std::vector<FakeEvent> FakeEvents()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<FakeEvent> events;
    for (const FakeEventLogCall &call : g_state.calls)
    {
        if (call.kind == FAKE_REPORT_EVENT)
        {
            events.push_back(FakeEvent{call.type, call.category, call.eventId, call.userSidNull,
                                       call.numStrings, call.dataSize, call.strings});
        }
    }
    return events;
}

std::vector<std::string> FakeEventMessages()
{
    std::vector<std::string> messages;
    for (const FakeEvent &event : FakeEvents())
    {
        messages.push_back(event.strings.size() > 1 ? event.strings[1] : "");
    }
    return messages;
}

int FakeOpenEventSources()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return static_cast<int>(g_state.open.size());
}

void FakeFailRegisterEventSource(DWORD lastError)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.registerFails = true;
    g_state.registerError = lastError;
}

void FakeFailReportEvent(DWORD lastError)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.reportFails = true;
    g_state.reportError = lastError;
}
