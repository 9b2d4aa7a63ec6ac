// The process-wide service status record and its reporting.
#ifndef TAVRIN_SERVICE_STATUS_H
#define TAVRIN_SERVICE_STATUS_H

#include "platform/win32.h"

extern SERVICE_STATUS g_serviceStatus;
extern SERVICE_STATUS_HANDLE g_statusHandle;
extern DWORD g_checkPoint; // 1 at program start, never reset

// Sets state, exit code, wait hint, controls accepted and checkpoint, and
// hands the record to the service control manager.  Always returns 1.
int ReportStatus(DWORD state, DWORD exitCode, DWORD waitHint);

#endif
