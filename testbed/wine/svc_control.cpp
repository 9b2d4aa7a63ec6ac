// svc_control: what the harness needs of the service control manager that
// sc.exe does not offer: any control code (sc has no verb for interrogate or
// for codes 128 to 255), all seven status fields, and a wait for a state.
//
//   svc_control.exe query   <service>
//   svc_control.exe control <service> <code>
//   svc_control.exe wait    <service> <state> <timeout ms>
//   svc_control.exe process <service> [process id]
//   svc_control.exe watch   <service> <timeout ms>
//
// Every command prints the status record as one line:
//   type=16 state=4 accepted=1 win32=0 specific=0 checkpoint=0 waithint=0
// "control" first prints "control <code>: ok" or "control <code>: error <n>".
// "process" prints "process <id> exit code <n>" for the service's process as
// the manager last knew it, or for the given process id (259 while it
// runs): the manager holds a handle to the process it started, so its exit
// code can still be read after it has ended, even once the manager has
// forgotten the id.  "watch" opens the running service's process at once,
// prints "watching <id>", waits for it to end and prints its exit code the
// same way: holding our own handle across the stop is the one sure way to
// read the code, as Wine may drop an ended process nobody holds.
// Exit codes: 0 done, 1 a call failed or bad usage, 2 the wait timed out.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void PrintStatus(const SERVICE_STATUS *status)
{
    printf("type=%lu state=%lu accepted=%lu win32=%lu specific=%lu checkpoint=%lu "
           "waithint=%lu\n",
           status->dwServiceType, status->dwCurrentState, status->dwControlsAccepted,
           status->dwWin32ExitCode, status->dwServiceSpecificExitCode, status->dwCheckPoint,
           status->dwWaitHint);
}

static int Usage()
{
    fprintf(stderr, "usage: svc_control.exe query <service>\n"
                    "       svc_control.exe control <service> <code>\n"
                    "       svc_control.exe wait <service> <state> <timeout ms>\n"
                    "       svc_control.exe process <service> [process id]\n"
                    "       svc_control.exe watch <service> <timeout ms>\n");
    return 1;
}

static int Query(SC_HANDLE service)
{
    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof status);
    if (!QueryServiceStatus(service, &status))
    {
        fprintf(stderr, "svc_control: QueryServiceStatus: error %lu\n", GetLastError());
        return 1;
    }
    PrintStatus(&status);
    return 0;
}

static int Control(SC_HANDLE service, DWORD code)
{
    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof status);
    if (ControlService(service, code, &status))
    {
        printf("control %lu: ok\n", code);
    }
    else
    {
        printf("control %lu: error %lu\n", code, GetLastError());
    }
    PrintStatus(&status);
    return 0;
}

static int Wait(SC_HANDLE service, DWORD state, DWORD timeoutMs)
{
    const DWORD POLL_MS = 50;
    DWORD start = GetTickCount();
    SERVICE_STATUS status;
    for (;;)
    {
        ZeroMemory(&status, sizeof status);
        if (!QueryServiceStatus(service, &status))
        {
            fprintf(stderr, "svc_control: QueryServiceStatus: error %lu\n", GetLastError());
            return 1;
        }
        if (status.dwCurrentState == state)
        {
            PrintStatus(&status);
            return 0;
        }
        if (GetTickCount() - start >= timeoutMs)
        {
            PrintStatus(&status);
            fprintf(stderr, "svc_control: state %lu not reached within %lu ms\n", state, timeoutMs);
            return 2;
        }
        Sleep(POLL_MS);
    }
}

// Opens the process the manager last knew for the service, or the given
// process id instead when it is not 0.  Prints why on failure.
static HANDLE OpenServiceProcess(SC_HANDLE service, DWORD processId, DWORD access, DWORD *opened)
{
    SERVICE_STATUS_PROCESS status;
    ZeroMemory(&status, sizeof status);
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (LPBYTE)&status, sizeof status,
                              &needed))
    {
        fprintf(stderr, "svc_control: QueryServiceStatusEx: error %lu\n", GetLastError());
        return NULL;
    }
    *opened = processId != 0 ? processId : status.dwProcessId;
    HANDLE process = OpenProcess(access, FALSE, *opened);
    if (process == NULL)
    {
        fprintf(stderr, "svc_control: OpenProcess %lu: error %lu\n", *opened, GetLastError());
    }
    return process;
}

static int ProcessExitCode(SC_HANDLE service, DWORD processId)
{
    DWORD id = 0;
    HANDLE process = OpenServiceProcess(service, processId, PROCESS_QUERY_LIMITED_INFORMATION, &id);
    if (process == NULL)
    {
        return 1;
    }
    DWORD code = 0;
    BOOL read = GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (!read)
    {
        fprintf(stderr, "svc_control: GetExitCodeProcess: error %lu\n", GetLastError());
        return 1;
    }
    printf("process %lu exit code %lu\n", id, code);
    return 0;
}

static int Watch(SC_HANDLE service, DWORD timeoutMs)
{
    DWORD id = 0;
    HANDLE process =
        OpenServiceProcess(service, 0, PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, &id);
    if (process == NULL)
    {
        return 1;
    }
    printf("watching %lu\n", id);
    fflush(stdout);
    DWORD waited = WaitForSingleObject(process, timeoutMs);
    DWORD code = 0;
    BOOL read = GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0 || !read)
    {
        fprintf(stderr, "svc_control: process %lu did not end within %lu ms\n", id, timeoutMs);
        return 2;
    }
    printf("process %lu exit code %lu\n", id, code);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 3)
    {
        return Usage();
    }
    const char *verb = argv[1];
    bool query = strcmp(verb, "query") == 0 && argc == 3;
    bool control = strcmp(verb, "control") == 0 && argc == 4;
    bool wait = strcmp(verb, "wait") == 0 && argc == 5;
    bool process = strcmp(verb, "process") == 0 && (argc == 3 || argc == 4);
    bool watch = strcmp(verb, "watch") == 0 && argc == 4;
    if (!query && !control && !wait && !process && !watch)
    {
        return Usage();
    }

    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (manager == NULL)
    {
        fprintf(stderr, "svc_control: OpenSCManagerA: error %lu\n", GetLastError());
        return 1;
    }
    SC_HANDLE service = OpenServiceA(manager, argv[2],
                                     SERVICE_QUERY_STATUS | SERVICE_INTERROGATE | SERVICE_STOP |
                                         SERVICE_USER_DEFINED_CONTROL);
    if (service == NULL)
    {
        fprintf(stderr, "svc_control: OpenServiceA %s: error %lu\n", argv[2], GetLastError());
        CloseServiceHandle(manager);
        return 1;
    }

    int result;
    if (query)
    {
        result = Query(service);
    }
    else if (control)
    {
        result = Control(service, strtoul(argv[3], NULL, 10));
    }
    else if (process)
    {
        result = ProcessExitCode(service, argc == 4 ? strtoul(argv[3], NULL, 10) : 0);
    }
    else if (watch)
    {
        result = Watch(service, strtoul(argv[3], NULL, 10));
    }
    else
    {
        result = Wait(service, strtoul(argv[3], NULL, 10), strtoul(argv[4], NULL, 10));
    }
    fflush(stdout);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}
