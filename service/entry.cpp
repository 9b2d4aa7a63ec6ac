#include "service/entry.h"

#include <string.h>

#include "admin/stop_server.h"
#include "eventlog/eventlog.h"
#include "eventlog/messages.h"
#include "launch/launch.h"
#include "service/service_main.h"

const char ONE_SHOT_ARGUMENT[] = "?NT";

// The size the version record announces; GetVersionExA refuses a record whose
// size it does not know.
const DWORD OS_VERSION_RECORD_SIZE = 148;
static_assert(sizeof(OSVERSIONINFOA) == OS_VERSION_RECORD_SIZE, "version record layout");

EntryMode ChooseMode(DWORD platformId, int argc, char **argv)
{
    if (platformId == VER_PLATFORM_WIN32_WINDOWS)
    {
        return ENTRY_DIRECT_LAUNCH;
    }
    if (argc > 1 && argv != NULL && argv[1] != NULL && strcmp(argv[1], ONE_SHOT_ARGUMENT) == 0)
    {
        return ENTRY_ONE_SHOT;
    }
    return ENTRY_SERVICE;
}

static int RunDirectLaunch(char *commandLine, char *workDir)
{
    LONG code = BuildLaunchCommand(commandLine, workDir);
    if (code != ERROR_SUCCESS)
    {
        return (int)code;
    }
    return LaunchServer(commandLine, workDir);
}

static int RunOneShot(char *commandLine, char *workDir)
{
    LONG code = BuildLaunchCommand(commandLine, workDir);
    if (code != ERROR_SUCCESS)
    {
        return (int)code;
    }
    // A server that failed to start is not a reason to skip the stop: its
    // failures are logged, and whatever may be listening is still asked.
    LaunchServer(commandLine, workDir);

    bool passwordFileOpened = false;
    return StopServer(&passwordFileOpened);
}

static int RunService(const SERVICE_TABLE_ENTRYA *table)
{
    BOOL result = StartServiceCtrlDispatcherA(table);
    if (result)
    {
        return result;
    }
    // Taken before LogEvent so that nothing it calls can change it; 1063 is
    // what a start by hand, outside the service control manager, leaves.
    DWORD error = GetLastError();
    LogEvent(MSG_DISPATCHER_FAILED, EVENTLOG_ERROR_TYPE);
    return error != 0 ? (int)error : 1;
}

int RunEntry(int argc, char **argv)
{
    // The dispatcher only reads the name; the table's member is not const.
    SERVICE_TABLE_ENTRYA dispatchTable[2] = {
        {const_cast<LPSTR>(SERVICE_NAME), ServiceMain},
        {NULL, NULL},
    };

    // Before anything can log: LogEvent reads the platform identifier.
    g_osVersion.dwOSVersionInfoSize = OS_VERSION_RECORD_SIZE;
    GetVersionExA(&g_osVersion);

    char workDir[LAUNCH_DIR_SIZE];
    char commandLine[LAUNCH_COMMAND_SIZE];
    memset(workDir, 0, sizeof(workDir));
    memset(commandLine, 0, sizeof(commandLine));

    switch (ChooseMode(g_osVersion.dwPlatformId, argc, argv))
    {
    case ENTRY_DIRECT_LAUNCH:
        return RunDirectLaunch(commandLine, workDir);
    case ENTRY_ONE_SHOT:
        return RunOneShot(commandLine, workDir);
    case ENTRY_SERVICE:
        break;
    }
    return RunService(dispatchTable);
}
