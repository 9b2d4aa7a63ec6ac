#include "launch/launch.h"

#include "eventlog/eventlog.h"
#include "eventlog/messages.h"

#include <stdio.h>
#include <string.h>

const char SERVER_MAIN_CLASS[] = "com.lumora.api.Tavrin";

namespace
{
// Unquoted, a program path such as C:\Program Files\Java\bin\java.exe makes
// Windows try C:\Program.exe first (a service running as LocalSystem would
// run whatever stands there), and the launcher would take the rest of its own
// path as arguments.  A path that already holds a quote is left as the
// administrator wrote it: they have taken the quoting into their own hands.
bool NeedsQuotes(const char *path)
{
    return strpbrk(path, " \t") != NULL && strchr(path, '"') == NULL;
}
} // namespace

LONG BuildLaunchCommand(char *commandLine, char *workDir)
{
    char javaPath[JAVA_PATH_SIZE];
    char options[SETTING_BUFFER_SIZE];
    memset(javaPath, 0, sizeof(javaPath));
    memset(options, 0, sizeof(options));
    memset(workDir, 0, LAUNCH_DIR_SIZE);

    LONG result = ReadLaunchSettings(javaPath, workDir, options);
    if (result != ERROR_SUCCESS)
    {
        return result;
    }

    // The buffer is sized for the longest settings the reads accept, quotes
    // included, so no accepted setting is ever cut short here.
    snprintf(commandLine, LAUNCH_COMMAND_SIZE, NeedsQuotes(javaPath) ? "\"%s\" %s %s" : "%s %s %s",
             javaPath, options, SERVER_MAIN_CLASS);
    return ERROR_SUCCESS;
}

BOOL LaunchServer(char *commandLine, const char *workDir)
{
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);

    // The new process's handles are never used: the server is stopped by its
    // administration port, not through them.
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof(process));

    BOOL started = CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, DETACHED_PROCESS, NULL,
                                  workDir, &startup, &process);
    if (!started)
    {
        LogEvent(MSG_CREATE_PROCESS_FAILED, EVENTLOG_ERROR_TYPE);
    }
    return started;
}
