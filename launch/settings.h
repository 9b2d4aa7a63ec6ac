// The installation settings under HKLM\Software\Lumora\Tavrin.
#ifndef TAVRIN_LAUNCH_SETTINGS_H
#define TAVRIN_LAUNCH_SETTINGS_H

#include "platform/win32.h"

// Every registry read offers exactly this many bytes; a longer value fails
// with ERROR_MORE_DATA.
const DWORD SETTING_READ_BYTES = 100;

// A buffer that receives a setting keeps one byte past what the read may
// fill, always zero: a value stored without a terminator that fills all the
// bytes offered still ends inside its buffer.
const size_t SETTING_BUFFER_SIZE = SETTING_READ_BYTES + 1;

// JavaDir, a backslash and JavaName, each as long as a read can deliver.
const size_t JAVA_PATH_SIZE = SETTING_READ_BYTES + 1 + SETTING_READ_BYTES + 1;

extern const char SETTINGS_KEY[]; // "Software\\Lumora\\Tavrin"

// Reads InstallDir, JavaDir, JavaName and JavaOptions in that order and joins
// the Java path.  javaPath holds JAVA_PATH_SIZE bytes; installDir and options
// hold at least SETTING_BUFFER_SIZE bytes each; installDir comes zero-filled
// from the caller, options is cleared here before its read.
// Returns the first failing registry code unchanged, 0 on success; the Java
// path is written only on success.
LONG ReadLaunchSettings(char *javaPath, char *installDir, char *options);

// Reads InstallDir alone into a zero-filled buffer of at least
// SETTING_BUFFER_SIZE bytes.  Returns the open's or the read's code.
LONG ReadInstallDir(char *installDir);

#endif
