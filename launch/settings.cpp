#include "launch/settings.h"

#include <stdio.h>
#include <string.h>

const char SETTINGS_KEY[] = "Software\\Lumora\\Tavrin";

namespace
{
// Reads one value into buffer, offering exactly SETTING_READ_BYTES.  The type
// is deliberately not examined: REG_EXPAND_SZ comes back with its %references%
// as stored, and any other type as its raw bytes.
LONG ReadSetting(HKEY key, const char *name, DWORD *type, char *buffer)
{
    DWORD size = SETTING_READ_BYTES;
    return RegQueryValueExA(key, name, NULL, type, (LPBYTE)buffer, &size);
}
} // namespace

LONG ReadLaunchSettings(char *javaPath, char *installDir, char *options)
{
    // Every buffer that receives a value is zero-filled one byte beyond what
    // the read may fill, so a value stored without a terminator, even one
    // that fills all the bytes offered, still ends inside its buffer.  The
    // options buffer belongs to the caller, but stale text in it would run on
    // past a short unterminated value, so it is cleared here like our own.
    char javaDir[SETTING_BUFFER_SIZE];
    char javaName[SETTING_BUFFER_SIZE];
    memset(javaDir, 0, sizeof(javaDir));
    memset(javaName, 0, sizeof(javaName));
    memset(options, 0, SETTING_BUFFER_SIZE);

    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key);
    if (result != ERROR_SUCCESS)
    {
        return result;
    }

    // The order is fixed: when several values are bad, the code returned is
    // that of the first of them.
    DWORD type;
    result = ReadSetting(key, "InstallDir", &type, installDir);
    if (result == ERROR_SUCCESS)
    {
        result = ReadSetting(key, "JavaDir", &type, javaDir);
    }
    if (result == ERROR_SUCCESS)
    {
        result = ReadSetting(key, "JavaName", &type, javaName);
    }
    if (result == ERROR_SUCCESS)
    {
        result = ReadSetting(key, "JavaOptions", &type, options);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
    {
        return result;
    }

    // The buffer holds both reads at their longest, so the join is never cut.
    snprintf(javaPath, JAVA_PATH_SIZE, "%s\\%s", javaDir, javaName);
    return ERROR_SUCCESS;
}

LONG ReadInstallDir(char *installDir)
{
    HKEY key;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS)
    {
        return result;
    }
    result = ReadSetting(key, "InstallDir", NULL, installDir);
    RegCloseKey(key);
    return result;
}
