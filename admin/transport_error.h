#ifndef TAVRIN_ADMIN_TRANSPORT_ERROR_H
#define TAVRIN_ADMIN_TRANSPORT_ERROR_H

#include "admin/vyx32.h"

// Turns a failed transport step's result code into exactly one error event.
void ReportTransportError(int code, VYXHANDLE handle);

// The same for a step after which the handle must not be used again (a
// failed destroy): the last-error items are not read, so an error -1 is
// written as "VYX_ERROR = -1".
void ReportReleasedHandleError(int code);

#endif
