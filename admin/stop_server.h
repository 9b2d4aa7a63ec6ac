#ifndef TAVRIN_ADMIN_STOP_SERVER_H
#define TAVRIN_ADMIN_STOP_SERVER_H

// Asks the running server to shut down through its administration port.
// passwordFileOpened tells whether pw.fil could be opened.  Returns 0, or
// nonzero when the final destroy step failed.
int StopServer(bool *passwordFileOpened);

#endif
