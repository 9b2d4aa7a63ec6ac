#ifndef TAVRIN_ADMIN_TRANSPORT_ERROR_H
#define TAVRIN_ADMIN_TRANSPORT_ERROR_H

#include "admin/vyx32.h"

// Turns a failed transport step's result code into exactly one error event.
void ReportTransportError(int code, VYXHANDLE handle);

#endif
