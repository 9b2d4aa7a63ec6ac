// What the stand-in server reads from its working directory: the
// administration port from config.ini and the password from pw.fil, read the
// way the service reads them.
#ifndef TAVRIN_TESTBED_SERVER_CONFIG_H
#define TAVRIN_TESTBED_SERVER_CONFIG_H

#include <stddef.h>

const int SERVER_DEFAULT_PORT = 8189;

// The TavrinAdminPort value of section TAVRIN_ADMINISTRATION in the file at
// path (names without regard to case, value trimmed, one pair of quotes
// removed, at most seven characters taken, then a decimal conversion), or
// SERVER_DEFAULT_PORT when the file, section or key is missing.
int ReadAdminPort(const char *path);

// The request that asks the server to stop with this password, written into
// request (size bytes, terminated).  Returns its length, or -1 when it does
// not fit.
int ComposeStopRequest(const char *password, char *request, size_t size);

#endif
