#include "admin/transport_error.h"

#include "eventlog/eventlog.h"
#include "eventlog/messages.h"

#include <stdio.h>

namespace
{
// The longer prefix and any 32-bit value ("-2147483648") with room to spare.
const int MESSAGE_SIZE = 50;
} // namespace

void ReportTransportError(int code, VYXHANDLE handle)
{
    if (code == VYX_INVALID_PARAM)
    {
        LogEvent(MSG_VYX_INVALID_PARAM, EVENTLOG_ERROR_TYPE);
        return;
    }
    if (code == VYX_INVALID_HANDLE)
    {
        LogEvent(MSG_VYX_INVALID_HANDLE, EVENTLOG_ERROR_TYPE);
        return;
    }
    if (code != VYX_ERROR)
    {
        LogEvent(MSG_VYX_UNKNOWN_ERROR, EVENTLOG_ERROR_TYPE);
        return;
    }

    // The item reads' own results are not trusted to say anything, so the
    // value starts as the result code: a read that stores nothing leaves -1
    // for the kind, or the kind 16 itself for the system number.
    int value = code;
    GetVYXItemInt(handle, CI_LAST_ERROR_KIND, &value);
    const char *prefix = MSG_VYX_ERROR_PREFIX;
    if (value == VYX_KIND_SYSTEM)
    {
        GetVYXItemInt(handle, CI_LAST_SYSTEM_ERROR, &value);
        prefix = MSG_VYX_SYSTEM_ERROR_PREFIX;
    }

    char message[MESSAGE_SIZE];
    snprintf(message, sizeof message, "%s%d", prefix, value);
    LogEvent(message, EVENTLOG_ERROR_TYPE);
}
