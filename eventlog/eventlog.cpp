#include "eventlog/eventlog.h"

#include <stdio.h>

const char SERVICE_NAME[] = "LMRAPISVC";

OSVERSIONINFOA g_osVersion;

namespace
{
// Holds "LMRAPISVC: status " and any 32-bit number with room to spare.
const size_t STATUS_TEXT_SIZE = 256;
const WORD EVENT_STRING_COUNT = 2;
const WORD NO_CATEGORY = 0;
const DWORD NO_EVENT_ID = 0;
} // namespace

void LogEvent(const char *message, WORD eventType)
{
    // Every call below may overwrite the last error, and the failure being
    // reported is the one the caller's own call left behind.
    const DWORD lastError = GetLastError();

    // Only the NT family keeps an event log.
    if (g_osVersion.dwPlatformId != VER_PLATFORM_WIN32_NT)
    {
        return;
    }

    HANDLE eventSource = RegisterEventSourceA(NULL, SERVICE_NAME);

    // Shown signed so that HRESULT-style codes read as the negative numbers
    // they are usually quoted as.
    char statusText[STATUS_TEXT_SIZE];
    snprintf(statusText, sizeof statusText, "%s: status %d", SERVICE_NAME,
             static_cast<int>(lastError));

    if (eventSource == NULL)
    {
        return;
    }

    LPCSTR strings[EVENT_STRING_COUNT] = {statusText, message};
    // Nowhere to report a failure of the reporter itself.
    (void)ReportEventA(eventSource, eventType, NO_CATEGORY, NO_EVENT_ID, NULL, EVENT_STRING_COUNT,
                       0, strings, NULL);
    (void)DeregisterEventSource(eventSource);
}
