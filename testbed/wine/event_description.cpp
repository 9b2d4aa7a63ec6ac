// event_description: the description Event Viewer shows for an event of a
// registered source, made the way Event Viewer makes it.
//
//   event_description.exe <source> <event id> [strings...]
//
// Reads EventMessageFile and TypesSupported from the source's key under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application, expands the
// file's path, loads the file as data and formats the event's message from
// its message table with the event's strings as the inserts %1, %2, ...
// Prints
//   EventMessageFile: <value as stored> (type <registry type>)
//   TypesSupported: <n>
//   description:
//   <the formatted text, line breaks as they come>
// and ends with 0; with 1, and the reason on standard error, when a step
// fails (no key, no message for the identifier, ...).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

namespace
{
const char EVENTLOG_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
const int MAX_STRINGS = 16;

int Fail(const char *what, DWORD error)
{
    fprintf(stderr, "event_description: %s (error %lu)\n", what, error);
    return 1;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || argc - 3 > MAX_STRINGS)
    {
        fprintf(stderr, "usage: event_description.exe <source> <event id> [strings...]\n");
        return 1;
    }
    const DWORD eventId = strtoul(argv[2], NULL, 0);

    char keyName[512];
    snprintf(keyName, sizeof keyName, "%s%s", EVENTLOG_KEY, argv[1]);
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
    {
        return Fail("the source is not registered", static_cast<DWORD>(status));
    }

    char file[MAX_PATH];
    DWORD fileType = 0;
    DWORD fileSize = sizeof file - 1;
    ZeroMemory(file, sizeof file);
    status = RegQueryValueExA(key, "EventMessageFile", NULL, &fileType,
                              reinterpret_cast<BYTE *>(file), &fileSize);
    DWORD types = 0;
    DWORD typesType = 0;
    DWORD typesSize = sizeof types;
    LONG typesStatus = RegQueryValueExA(key, "TypesSupported", NULL, &typesType,
                                        reinterpret_cast<BYTE *>(&types), &typesSize);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
    {
        return Fail("no EventMessageFile", static_cast<DWORD>(status));
    }
    printf("EventMessageFile: %s (type %lu)\n", file, fileType);
    if (typesStatus == ERROR_SUCCESS && typesType == REG_DWORD)
    {
        printf("TypesSupported: %lu\n", types);
    }
    else
    {
        printf("TypesSupported: none\n");
    }

    char path[MAX_PATH];
    DWORD expanded = ExpandEnvironmentStringsA(file, path, sizeof path);
    if (expanded == 0 || expanded > sizeof path)
    {
        return Fail("the message file's path does not expand", GetLastError());
    }
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL)
    {
        return Fail("the message file does not load", GetLastError());
    }

    DWORD_PTR inserts[MAX_STRINGS];
    for (int i = 3; i < argc; ++i)
    {
        inserts[i - 3] = reinterpret_cast<DWORD_PTR>(argv[i]);
    }
    char description[4096];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                  module, eventId, 0, description, sizeof description,
                                  reinterpret_cast<va_list *>(inserts));
    DWORD error = GetLastError();
    FreeLibrary(module);
    if (length == 0)
    {
        return Fail("no message for the event", error);
    }
    printf("description:\n%s", description);
    fflush(stdout);
    return 0;
}
