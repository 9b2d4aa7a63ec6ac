// Every message the program writes to the event log, each as the second
// string of an error event.  Callers use these names; no text is spelled
// twice.
#ifndef TAVRIN_EVENTLOG_MESSAGES_H
#define TAVRIN_EVENTLOG_MESSAGES_H

// Service host.
extern const char MSG_DISPATCHER_FAILED[];       // "StartServiceCtrlDispatcher() failed."
extern const char MSG_REGISTER_HANDLER_FAILED[]; // "RegisterServiceCtrlHandler() failed."
extern const char MSG_REPORT_STATUS_FAILED[];    // "SetServiceStatus() " (one trailing blank)
extern const char MSG_HANDLER_STATUS_FAILED[];   // "SetServiceStatus() failed."
extern const char MSG_UNRECOGNIZED_OPCODE[];     // "Unrecognized service opcode."

// Server launch.
extern const char MSG_CREATE_PROCESS_FAILED[]; // "CreateProcess() failed."

// Stop request exchange.
extern const char MSG_PASSWORD_FILE_FAILED[]; // "fopen(...pw.fil...) failed."
extern const char MSG_CREATE_VYX_FAILED[];    // "CreateVYX() failed."
extern const char MSG_SET_FRAMING_FAILED[];   // "SetVYXItemInt(...CI_FRAMING...) failed."
extern const char MSG_SET_TIMEOUT_FAILED[];   // "SetVYXItemInt(...CI_TIMEOUT...) failed."
extern const char MSG_OPEN_VYX_FAILED[];      // "OpenVYX() failed."
extern const char MSG_SEND_VYX_FAILED[];      // "SendVYX() failed."
extern const char MSG_RECEIVE_VYX_FAILED[];   // "ReceiveVYX() failed."
extern const char MSG_CLOSE_VYX_FAILED[];     // "CloseVYX() failed."
extern const char MSG_DESTROY_VYX_FAILED[];   // "DestroyVYX() failed."

// Transport result codes.
extern const char MSG_VYX_INVALID_PARAM[];        // "VYX_INVALID_PARAM"
extern const char MSG_VYX_INVALID_HANDLE[];       // "VYX_INVALID_HANDLE"
extern const char MSG_VYX_ERROR_PREFIX[];         // "VYX_ERROR = " and a number
extern const char MSG_VYX_SYSTEM_ERROR_PREFIX[];  // "VYX_SYSTEM_ERROR = " and a number
extern const char MSG_VYX_UNKNOWN_ERROR[];        // "Unknown VYX ERROR"

#endif
