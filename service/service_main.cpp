#include "service/service_main.h"

#include <string.h>

#include "admin/stop_server.h"
#include "eventlog/eventlog.h"
#include "eventlog/messages.h"
#include "launch/launch.h"
#include "service/status.h"

// Wait hints in milliseconds: the start is a registry read and a process
// creation; the stop may spend ten one-second connection attempts.
const DWORD START_WAIT_HINT = 3000;
const DWORD STOP_WAIT_HINT = 11000;

void WINAPI ServiceMain(DWORD argc, LPSTR *argv)
{
    (void)argc;
    (void)argv;

    g_statusHandle = RegisterServiceCtrlHandlerA(SERVICE_NAME, ServiceCtrlHandler);
    if (g_statusHandle == NULL)
    {
        LogEvent(MSG_REGISTER_HANDLER_FAILED, EVENTLOG_ERROR_TYPE);
        return;
    }

    char commandLine[LAUNCH_COMMAND_SIZE];
    char workDir[LAUNCH_DIR_SIZE];
    memset(commandLine, 0, sizeof(commandLine));
    memset(workDir, 0, sizeof(workDir));

    g_serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_serviceStatus.dwServiceSpecificExitCode = 0;
    ReportStatus(SERVICE_START_PENDING, 0, START_WAIT_HINT);

    // Without settings there is nothing to run: the process ends here, and
    // the service control manager sees the code as the service's exit.
    LONG code = BuildLaunchCommand(commandLine, workDir);
    if (code != ERROR_SUCCESS)
    {
        ExitProcess((UINT)code);
    }

    // The server runs on unwatched; a failed start has its own event and the
    // service still reports running, so that a stop can be sent.
    LaunchServer(commandLine, workDir);
    ReportStatus(SERVICE_RUNNING, 0, 0);
}

static void ReportFromHandler()
{
    if (!SetServiceStatus(g_statusHandle, &g_serviceStatus))
    {
        LogEvent(MSG_HANDLER_STATUS_FAILED, EVENTLOG_ERROR_TYPE);
    }
}

// The stop writes the record directly: the checkpoint counter belongs to the
// start-up reports.
static void StopService()
{
    g_serviceStatus.dwWin32ExitCode = 0;
    g_serviceStatus.dwCurrentState = SERVICE_STOP_PENDING;
    g_serviceStatus.dwCheckPoint = 1;
    g_serviceStatus.dwWaitHint = STOP_WAIT_HINT;
    ReportFromHandler();

    // Whatever the exchange achieved, and even when pw.fil could not be
    // opened and the server was never asked, the service ends stopped: a
    // service left in stop-pending can be neither stopped nor started again.
    bool passwordFileOpened = false;
    StopServer(&passwordFileOpened);

    g_serviceStatus.dwWin32ExitCode = 0;
    g_serviceStatus.dwCurrentState = SERVICE_STOPPED;
    g_serviceStatus.dwCheckPoint = 0;
    g_serviceStatus.dwWaitHint = 0;
}

void WINAPI ServiceCtrlHandler(DWORD control)
{
    switch (control)
    {
    case SERVICE_CONTROL_STOP:
        StopService();
        break;
    case SERVICE_CONTROL_INTERROGATE:
        break;
    default:
        LogEvent(MSG_UNRECOGNIZED_OPCODE, EVENTLOG_ERROR_TYPE);
        break;
    }
    ReportFromHandler();
}
