// Fake process calls: the startup information, process creation and the end
// of the process.
//
// GetStartupInfoA fills a recognisable record (FakeStartupInfo), so a test
// can tell it reached CreateProcessA unchanged.  CreateProcessA starts
// nothing: it records every argument and answers what the test chose; on
// success it fills the process information with recognisable handles and
// identifiers.  ExitProcess really ends the process with its code, so death
// tests (EXPECT_EXIT with ExitedWithCode) can check it; the host keeps only
// its low 8 bits, so 1063 arrives as 39.
#ifndef TAVRIN_TESTS_FAKES_FAKE_PROCESS_H
#define TAVRIN_TESTS_FAKES_FAKE_PROCESS_H

#include "platform/win32.h"

#include <string>
#include <vector>

// The record every GetStartupInfoA call fills.
STARTUPINFOA FakeStartupInfo();

// How often GetStartupInfoA was called.
int FakeGetStartupInfoCalls();

// Every following CreateProcessA returns result; when it is FALSE it sets
// lastError first.  After a reset it succeeds.
void FakeSetCreateProcessResult(BOOL result, DWORD lastError);

// One CreateProcessA call: the texts copied as they were at the call, the
// pointers and flags as passed.
struct FakeCreateProcessCall
{
    LPCSTR applicationNamePtr;
    LPSTR commandLinePtr;
    std::string commandLine;
    LPSECURITY_ATTRIBUTES processAttributes;
    LPSECURITY_ATTRIBUTES threadAttributes;
    BOOL inheritHandles;
    DWORD creationFlags;
    LPVOID environment;
    LPCSTR currentDirectoryPtr;
    std::string currentDirectory;
    LPSTARTUPINFOA startupInfoPtr;
    STARTUPINFOA startupInfo; // a copy of the record as passed
    LPPROCESS_INFORMATION processInformationPtr;
};

// Every CreateProcessA call since the last reset, in order.
std::vector<FakeCreateProcessCall> FakeCreateProcessCalls();

// The process information a successful CreateProcessA fills in.
PROCESS_INFORMATION FakeCreatedProcessInformation();

// Called with the code just before ExitProcess ends the process (none after
// a reset), so that a death test can write to standard error what the
// process did up to its end.
typedef void (*FakeExitHook)(UINT exitCode);
void FakeSetExitProcessHook(FakeExitHook hook);

#endif
