// run_exit: starts a program, waits for it and prints its whole exit code.
//
//   run_exit.exe <program> [arguments...]
//
// Wine hands a Unix caller only the low 8 bits of a program's exit code
// (1063 arrives as 39); run under Wine, this program reads the full 32-bit
// value on the Windows side.  The rest of our own command line is passed on
// byte for byte, so arguments such as "?NT" reach the program untouched.
// Prints "exit code: <n>" and ends with 0, or with 1 when the program could
// not be started.
#include <windows.h>

#include <stdio.h>

// Our own command line past the program name that started us.
static const char *SkipOwnName(const char *line)
{
    if (*line == '"')
    {
        ++line;
        while (*line != '\0' && *line != '"')
        {
            ++line;
        }
        if (*line == '"')
        {
            ++line;
        }
    }
    else
    {
        while (*line != '\0' && *line != ' ' && *line != '\t')
        {
            ++line;
        }
    }
    while (*line == ' ' || *line == '\t')
    {
        ++line;
    }
    return line;
}

int main()
{
    const size_t COMMAND_SIZE = 32768; // the longest command line Windows takes
    static char command[COMMAND_SIZE];
    snprintf(command, sizeof command, "%s", SkipOwnName(GetCommandLineA()));
    if (command[0] == '\0')
    {
        fprintf(stderr, "usage: run_exit.exe <program> [arguments...]\n");
        return 1;
    }

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
    {
        fprintf(stderr, "run_exit: cannot start %s: error %lu\n", command, GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("exit code: %lu\n", code);
    fflush(stdout);
    return 0;
}
