// The one channel through which the program reports a failure.
#ifndef TAVRIN_EVENTLOG_EVENTLOG_H
#define TAVRIN_EVENTLOG_EVENTLOG_H

#include "platform/win32.h"

// Service name, event-log source and dispatch-table name alike.
extern const char SERVICE_NAME[]; // "LMRAPISVC"

// The operating-system version record: filled once by the entry before any
// other thread exists, then only read.
extern OSVERSIONINFOA g_osVersion;

// Writes one event with two strings, "LMRAPISVC: status <last error>" and
// message, on the NT family only.  The calling thread's last error is taken
// before anything else happens.
void LogEvent(const char *message, WORD eventType);

#endif
