// The maker's transport library, bound by ordinal (see vyx32.def).
#ifndef TAVRIN_ADMIN_VYX32_H
#define TAVRIN_ADMIN_VYX32_H

#include "platform/win32.h"

#define VYXAPI WINAPI

// Connection handle; 0 is the empty handle.
typedef int VYXHANDLE;

// Items.
const int CI_TIMEOUT = 2;
const int CI_FRAMING = 5;
const int CI_LAST_ERROR_KIND = 21;
const int CI_LAST_SYSTEM_ERROR = 22;

// Error kind of a failure the operating system reported.
const int VYX_KIND_SYSTEM = 16;

// Result codes.
const int VYX_ERROR = -1; // described by items 21 and 22
const int VYX_INVALID_HANDLE = -3;
const int VYX_INVALID_PARAM = -4;

extern "C" {
VYXHANDLE VYXAPI CreateVYX(const char *address);
int VYXAPI SetVYXItemInt(VYXHANDLE handle, int item, int value);
int VYXAPI OpenVYX(VYXHANDLE handle);
int VYXAPI SendVYX(VYXHANDLE handle, const char *buffer, int length, int reserved1,
                   int reserved2);
int VYXAPI ReceiveVYX(VYXHANDLE handle, char *buffer, int capacity, int reserved1,
                      int reserved2);
int VYXAPI CloseVYX(VYXHANDLE handle);
int VYXAPI DestroyVYX(VYXHANDLE handle);
int VYXAPI GetVYXItemInt(VYXHANDLE handle, int item, int *value);
}

#endif
