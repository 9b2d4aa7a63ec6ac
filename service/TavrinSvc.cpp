// TavrinSvc.exe: the program entry.
#include "service/entry.h"

#include "revision.h"

// The argument "?NT" holds a wildcard: the runtime must hand it over as
// typed, never as the name of a file in the working directory that matches.
int _dowildcard = 0;

// Read by what(1) and by anyone asking an installed copy where it came from.
extern const char SOURCE_IDENT[];
__attribute__((used)) const char SOURCE_IDENT[] =
    "@(#)TavrinSvc.cpp " TAVRIN_REVISION " " TAVRIN_REVISION_DATE;

int main(int argc, char **argv)
{
    // Taking the address through a volatile keeps the string from being
    // dropped by the optimiser or by the linker's section collection.
    const char *volatile ident = SOURCE_IDENT;
    (void)ident;
    return RunEntry(argc, argv);
}
