#include "eventlog/messages.h"

const char MSG_DISPATCHER_FAILED[] = "StartServiceCtrlDispatcher() failed.";
const char MSG_REGISTER_HANDLER_FAILED[] = "RegisterServiceCtrlHandler() failed.";
const char MSG_REPORT_STATUS_FAILED[] = "SetServiceStatus() ";
const char MSG_HANDLER_STATUS_FAILED[] = "SetServiceStatus() failed.";
const char MSG_UNRECOGNIZED_OPCODE[] = "Unrecognized service opcode.";

const char MSG_CREATE_PROCESS_FAILED[] = "CreateProcess() failed.";

const char MSG_PASSWORD_FILE_FAILED[] = "fopen(...pw.fil...) failed.";
const char MSG_CREATE_VYX_FAILED[] = "CreateVYX() failed.";
const char MSG_SET_FRAMING_FAILED[] = "SetVYXItemInt(...CI_FRAMING...) failed.";
const char MSG_SET_TIMEOUT_FAILED[] = "SetVYXItemInt(...CI_TIMEOUT...) failed.";
const char MSG_OPEN_VYX_FAILED[] = "OpenVYX() failed.";
const char MSG_SEND_VYX_FAILED[] = "SendVYX() failed.";
const char MSG_RECEIVE_VYX_FAILED[] = "ReceiveVYX() failed.";
const char MSG_CLOSE_VYX_FAILED[] = "CloseVYX() failed.";
const char MSG_DESTROY_VYX_FAILED[] = "DestroyVYX() failed.";

const char MSG_VYX_INVALID_PARAM[] = "VYX_INVALID_PARAM";
const char MSG_VYX_INVALID_HANDLE[] = "VYX_INVALID_HANDLE";
const char MSG_VYX_ERROR_PREFIX[] = "VYX_ERROR = ";
const char MSG_VYX_SYSTEM_ERROR_PREFIX[] = "VYX_SYSTEM_ERROR = ";
const char MSG_VYX_UNKNOWN_ERROR[] = "Unknown VYX ERROR";
