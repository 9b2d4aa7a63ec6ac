#include "service/status.h"

#include "eventlog/eventlog.h"
#include "eventlog/messages.h"

SERVICE_STATUS g_serviceStatus;
SERVICE_STATUS_HANDLE g_statusHandle;

// Starts at 1 so that the very first pending report already shows progress;
// never reset, so later pending reports keep counting up.
DWORD g_checkPoint = 1;

int ReportStatus(DWORD state, DWORD exitCode, DWORD waitHint)
{
    // A stop arriving while the server is still being started would race the
    // launch, so no control is taken until the start is over.
    g_serviceStatus.dwControlsAccepted = (state == SERVICE_START_PENDING) ? 0 : SERVICE_ACCEPT_STOP;
    g_serviceStatus.dwCurrentState = state;
    g_serviceStatus.dwWin32ExitCode = exitCode;
    g_serviceStatus.dwWaitHint = waitHint;

    // Only pending states carry progress.
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED)
    {
        g_serviceStatus.dwCheckPoint = 0;
    }
    else
    {
        g_serviceStatus.dwCheckPoint = g_checkPoint++;
    }

    // The caller carries on whatever happens; the event is all that is left
    // of a report the manager did not take.
    if (!SetServiceStatus(g_statusHandle, &g_serviceStatus))
    {
        LogEvent(MSG_REPORT_STATUS_FAILED, EVENTLOG_ERROR_TYPE);
    }
    return 1;
}
