#include "admin/stop_server.h"

#include "admin/password_file.h"
#include "admin/transport_error.h"
#include "admin/vyx32.h"
#include "eventlog/eventlog.h"
#include "eventlog/messages.h"
#include "launch/settings.h"
#include "platform/win32.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
// Room for the installation directory and either file name.
const size_t PATH_SIZE = 256;

// The stop request: field 0 "77", field 1040 the password, field 99 empty.
const char REQUEST_FORMAT[] = "0,\"77\"1040,\"%s\"99,\"\"";
const size_t REQUEST_FIXED_CHARS = 18;
// Sized for the longest password the file can give, so that a long password
// goes out whole rather than running past the buffer.
const size_t REQUEST_SIZE = REQUEST_FIXED_CHARS + PASSWORD_MAX_CHARS + 1;

const char PROFILE_SECTION[] = "TAVRIN_ADMINISTRATION";
const char PROFILE_PORT_KEY[] = "TavrinAdminPort";
const char DEFAULT_PORT_TEXT[] = "8189";
const size_t PORT_TEXT_SIZE = 8;

const char ADDRESS_FORMAT[] = ":%s:%d";
const char LOOPBACK_HOST[] = "127.0.0.1";
const size_t ADDRESS_SIZE = 128;

const int FRAMING_LENGTH_PREFIX = 1;
const int TIMEOUT_SECONDS = 20;
const int OPEN_ATTEMPTS = 10;
const DWORD OPEN_RETRY_PAUSE_MS = 1000;
const int REPLY_SIZE = 4096;

// Leading white space, one sign, then decimal digits; no digits gives 0.
// The port text holds at most seven characters, so the value always fits;
// the clamp only keeps the conversion defined whatever it is handed.
int PortNumber(const char *text)
{
    long value = strtol(text, NULL, 10);
    if (value > INT_MAX)
    {
        return INT_MAX;
    }
    if (value < INT_MIN)
    {
        return INT_MIN;
    }
    return (int)value;
}

void LogStepFailure(const char *message, int code, VYXHANDLE handle)
{
    LogEvent(message, EVENTLOG_ERROR_TYPE);
    ReportTransportError(code, handle);
}

// Returns whether an attempt got the connection open.  The server may still
// be starting (the one-shot mode stops it right after launching it), hence
// the pause after every failed attempt.
bool OpenWithRetries(VYXHANDLE handle)
{
    for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt)
    {
        int result = OpenVYX(handle);
        if (result >= 0)
        {
            return true;
        }
        LogStepFailure(MSG_OPEN_VYX_FAILED, result, handle);
        Sleep(OPEN_RETRY_PAUSE_MS);
    }
    return false;
}

void SendAndReceive(VYXHANDLE handle, const char *request, int requestLength)
{
    int result = SendVYX(handle, request, requestLength, 0, 0);
    if (result != 0)
    {
        LogStepFailure(MSG_SEND_VYX_FAILED, result, handle);
    }

    // Any reply at all means the server heard us; its content is not ours to
    // judge.
    char reply[REPLY_SIZE];
    memset(reply, 0, sizeof reply);
    result = ReceiveVYX(handle, reply, REPLY_SIZE, 0, 0);
    if (result <= 0)
    {
        LogStepFailure(MSG_RECEIVE_VYX_FAILED, result, handle);
    }
}

// One connection from create to destroy.  A failed step is logged and the
// next one still runs, so that whatever can be released is; an empty handle
// is passed on too, and the library answers it with an error.
int Exchange(const char *address, const char *request, int requestLength)
{
    VYXHANDLE handle = CreateVYX(address);
    if (handle == 0)
    {
        LogEvent(MSG_CREATE_VYX_FAILED, EVENTLOG_ERROR_TYPE);
    }

    int result = SetVYXItemInt(handle, CI_FRAMING, FRAMING_LENGTH_PREFIX);
    if (result != 0)
    {
        LogStepFailure(MSG_SET_FRAMING_FAILED, result, handle);
    }
    result = SetVYXItemInt(handle, CI_TIMEOUT, TIMEOUT_SECONDS);
    if (result != 0)
    {
        LogStepFailure(MSG_SET_TIMEOUT_FAILED, result, handle);
    }

    if (OpenWithRetries(handle))
    {
        SendAndReceive(handle, request, requestLength);
        result = CloseVYX(handle);
        if (result != 0)
        {
            LogStepFailure(MSG_CLOSE_VYX_FAILED, result, handle);
        }
    }

    // Only a handle we failed to release is worth telling the caller about.
    // A destroy that failed has not given the handle back, and its last-error
    // items are the library's only account of why: they are read after it,
    // and nothing else is.
    result = DestroyVYX(handle);
    if (result != 0)
    {
        LogStepFailure(MSG_DESTROY_VYX_FAILED, result, handle);
        return result;
    }
    return 0;
}
} // namespace

int StopServer(bool *passwordFileOpened)
{
    char installDir[SETTING_BUFFER_SIZE];
    char configPath[PATH_SIZE];
    char passwordPath[PATH_SIZE];
    char password[PASSWORD_BUFFER_SIZE];
    char request[REQUEST_SIZE];
    char portText[PORT_TEXT_SIZE];
    memset(installDir, 0, sizeof installDir);
    memset(configPath, 0, sizeof configPath);
    memset(passwordPath, 0, sizeof passwordPath);
    memset(password, 0, sizeof password);
    memset(request, 0, sizeof request);
    memset(portText, 0, sizeof portText);

    // Without the directory the files are looked for at the root; the run
    // goes on rather than leave the server without a stop request.
    ReadInstallDir(installDir);
    snprintf(configPath, sizeof configPath, "%s\\config.ini", installDir);
    snprintf(passwordPath, sizeof passwordPath, "%s\\pw.fil", installDir);

    if (!ReadPasswordFile(passwordPath, password))
    {
        // Nothing can ask the server to stop; leave a trace of why.
        *passwordFileOpened = false;
        LogEvent(MSG_PASSWORD_FILE_FAILED, EVENTLOG_ERROR_TYPE);
        return 0;
    }
    *passwordFileOpened = true;

    // The password goes into the request as it is: the server compares it
    // byte for byte.
    snprintf(request, sizeof request, REQUEST_FORMAT, password);
    SecureZeroMemory(password, sizeof password);

    GetPrivateProfileStringA(PROFILE_SECTION, PROFILE_PORT_KEY, DEFAULT_PORT_TEXT, portText,
                             PORT_TEXT_SIZE, configPath);
    int port = PortNumber(portText);

    char address[ADDRESS_SIZE];
    memset(address, 0, sizeof address);
    snprintf(address, sizeof address, ADDRESS_FORMAT, LOOPBACK_HOST, port);

    int result = Exchange(address, request, (int)strlen(request));
    SecureZeroMemory(request, sizeof request);
    return result;
}
