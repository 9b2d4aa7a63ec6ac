// Composition and start of the server process.
#ifndef TAVRIN_LAUNCH_LAUNCH_H
#define TAVRIN_LAUNCH_LAUNCH_H

#include "launch/settings.h"

extern const char SERVER_MAIN_CLASS[]; // "com.lumora.api.Tavrin"

// The Java path (possibly quoted), a blank, the options, a blank and the main
// class, with the terminator: every set of settings the reads accept fits.
const size_t LAUNCH_COMMAND_SIZE = (JAVA_PATH_SIZE - 1) + 2 + 1 + SETTING_READ_BYTES + 1 + 21 + 1;

// The server's working directory, InstallDir.
const size_t LAUNCH_DIR_SIZE = 128;

// Fills commandLine (LAUNCH_COMMAND_SIZE bytes) and workDir (LAUNCH_DIR_SIZE
// bytes, zero-filled by the caller).  Returns ReadLaunchSettings' code
// unchanged; the command line is left unwritten on failure.
LONG BuildLaunchCommand(char *commandLine, char *workDir);

// Starts the composed command line as a detached process in workDir.
// Returns CreateProcessA's result.
BOOL LaunchServer(char *commandLine, const char *workDir);

#endif
