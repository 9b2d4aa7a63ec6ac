// The service itself, as the service control dispatcher runs it.
#ifndef TAVRIN_SERVICE_SERVICE_MAIN_H
#define TAVRIN_SERVICE_SERVICE_MAIN_H

#include "platform/win32.h"

// Registers the control handler, reports start-pending, starts the server,
// reports running and returns.  Both arguments are ignored.
void WINAPI ServiceMain(DWORD argc, LPSTR *argv);

// Stop (1): stop-pending, the stop exchange, stopped.  Interrogate (4): the
// record again.  Anything else is logged and the record reported again.
void WINAPI ServiceCtrlHandler(DWORD control);

#endif
