// Fake service control dispatcher.
//
// StartServiceCtrlDispatcherA records the table it was given, runs the first
// entry's service main function on a thread of its own and waits for it to
// return.  It then hands the controls a test queued to the handler that the
// service registered (fake_service.h), on the calling thread, one at a time,
// and returns TRUE as soon as a stopped record has been reported and taken
// (a SetServiceStatus call with state 1 that succeeded).  Controls still
// queued then are left undelivered, as a real service that has stopped no
// longer receives any.
//
// A real dispatcher would wait for ever for a service that never reports
// stopped.  The fake instead returns FALSE with the last error
// FAKE_DISPATCHER_NEVER_STOPPED once the queue is empty, or when controls are
// queued but no handler was ever registered.  A test that expects a normal
// life checks the result is TRUE.
#ifndef TAVRIN_TESTS_FAKES_FAKE_DISPATCHER_H
#define TAVRIN_TESTS_FAKES_FAKE_DISPATCHER_H

#include "platform/win32.h"

#include <string>
#include <vector>

// Bit 29 marks an error code as an application's own: no system call can
// leave it.
const DWORD FAKE_DISPATCHER_NEVER_STOPPED = 0x20000001u;

// One StartServiceCtrlDispatcherA call as the fake saw it.
struct FakeDispatcherCall
{
    int entries;      // service entries before the terminating one
    bool terminated;  // a terminating entry (both members null) was found
    std::string name; // the first entry's service name
    LPSERVICE_MAIN_FUNCTIONA serviceMain;
    std::vector<DWORD> delivered; // controls handed to the handler, in order
    BOOL result;
};

// Queues a control for the next dispatcher call to deliver.
void FakeDispatcherQueueControl(DWORD control);

// Makes every following call fail at once with this last error, running
// nothing (1063: the process was not started by the service control
// manager).
void FakeFailDispatcher(DWORD lastError);

// Every call since the last reset, in order.
std::vector<FakeDispatcherCall> FakeDispatcherCalls();

// Controls queued and not delivered.
int FakeDispatcherPendingControls();

#endif
