// The program entry: which of the three ways the program runs, and running it.
#ifndef TAVRIN_SERVICE_ENTRY_H
#define TAVRIN_SERVICE_ENTRY_H

#include "platform/win32.h"

enum EntryMode
{
    ENTRY_DIRECT_LAUNCH, // Windows 95, 98 and Me: no service control manager
    ENTRY_ONE_SHOT,      // "?NT": start the server and at once stop it again
    ENTRY_SERVICE        // under the service control dispatcher
};

// The argument that selects the one-shot mode, compared byte for byte.
extern const char ONE_SHOT_ARGUMENT[]; // "?NT"

// Chooses the mode from the platform identifier and the argument vector
// alone.  The platform is tested first: on identifier 1 the arguments are
// never looked at.  Only the first argument counts.
EntryMode ChooseMode(DWORD platformId, int argc, char **argv);

// Fills the version record, chooses the mode and runs it.  Returns the
// process exit code.
int RunEntry(int argc, char **argv);

#endif
