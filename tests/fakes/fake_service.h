// Fake service control: handler registration and status reports.  The
// dispatcher itself is faked elsewhere and drives the handler kept here.
#ifndef TAVRIN_TESTS_FAKES_FAKE_SERVICE_H
#define TAVRIN_TESTS_FAKES_FAKE_SERVICE_H

#include "platform/win32.h"

#include <string>
#include <vector>

// One SetServiceStatus call: the handle passed, a copy of the record and what
// the call returned.
struct FakeStatusReport
{
    SERVICE_STATUS_HANDLE handle;
    SERVICE_STATUS status;
    BOOL result;
};

// The handle RegisterServiceCtrlHandlerA hands out.  SetServiceStatus takes
// no other: any other handle fails with ERROR_INVALID_HANDLE (6).
SERVICE_STATUS_HANDLE FakeServiceStatusHandle();

// Every SetServiceStatus call since the last reset, in order, failed ones
// included.
std::vector<FakeStatusReport> FakeStatusReports();

// Makes the call with this zero-based index fail with this last error.
void FakeFailSetServiceStatusAt(int callIndex, DWORD lastError);

// Makes every following SetServiceStatus call fail with this last error.
void FakeFailSetServiceStatusAlways(DWORD lastError);

// Waits until a record in this state has been reported (successfully or
// not) since the last reset; false if none came within the time.
bool FakeWaitForReportedState(DWORD state, DWORD timeoutMs);

// The names RegisterServiceCtrlHandlerA was called with, in order.
std::vector<std::string> FakeHandlerRegistrations();

// The handler of the latest successful registration, or null.
LPHANDLER_FUNCTION FakeRegisteredHandler();

// Makes every following RegisterServiceCtrlHandlerA return null with this
// last error; the call is still recorded.
void FakeFailRegisterServiceCtrlHandler(DWORD lastError);

#endif
