// What the stand-in transport adds to the operations' declarations in
// admin/vyx32.h: its own error kinds and limits, for its tests and its users.
#ifndef TAVRIN_TESTBED_VYX32_STANDIN_H
#define TAVRIN_TESTBED_VYX32_STANDIN_H

// Error kinds besides VYX_KIND_SYSTEM (16), which carries the operating
// system's error number in item 22; for these kinds item 22 is 0.
const int STANDIN_KIND_NOT_OPEN = 1;       // send or receive without a connection
const int STANDIN_KIND_ALREADY_OPEN = 2;   // open on a connected handle
const int STANDIN_KIND_FRAME_TOO_LONG = 3; // incoming frame larger than the buffer
const int STANDIN_KIND_FRAME_CUT = 4;      // peer closed inside a frame

const int STANDIN_MAX_CONNECTIONS = 16;
const int STANDIN_DEFAULT_TIMEOUT = 30; // seconds
const int STANDIN_MAX_TIMEOUT = 86400;  // seconds

// Framing values: 0 sends bytes as they are and receives what has arrived;
// 1 is the four-byte length prefix.
const int STANDIN_FRAMING_RAW = 0;
const int STANDIN_FRAMING_LENGTH = 1;

#endif
