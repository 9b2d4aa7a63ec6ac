// The process-wide state the service keeps between calls, set the way a test
// needs it before it runs, and the status record in a form that prints whole.
#ifndef TAVRIN_TESTS_SUPPORT_PROCESS_STATE_H
#define TAVRIN_TESTS_SUPPORT_PROCESS_STATE_H

#include "eventlog/eventlog.h"
#include "service/status.h"

#include <vector>

// The service's globals as they are at program start: no version read yet,
// no status reported, the checkpoint counter at its first value.
inline void ResetServiceState()
{
    g_osVersion = OSVERSIONINFOA();
    g_serviceStatus = SERVICE_STATUS();
    g_statusHandle = NULL;
    g_checkPoint = 1;
}

// A version record of the NT family, the one where events are written.
inline void SetNtFamily()
{
    g_osVersion = OSVERSIONINFOA();
    g_osVersion.dwOSVersionInfoSize = sizeof g_osVersion;
    g_osVersion.dwPlatformId = VER_PLATFORM_WIN32_NT;
}

// The seven fields in record order, so that a mismatch prints all of them.
inline std::vector<DWORD> Fields(const SERVICE_STATUS &status)
{
    return {status.dwServiceType,
            status.dwCurrentState,
            status.dwControlsAccepted,
            status.dwWin32ExitCode,
            status.dwServiceSpecificExitCode,
            status.dwCheckPoint,
            status.dwWaitHint};
}

#endif
