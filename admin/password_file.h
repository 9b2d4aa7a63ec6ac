// The administration password file, pw.fil.
//
// It is read by text-mode rules of our own rather than by a C runtime's text
// mode, so that every build reads the same file into the same password.
#ifndef TAVRIN_ADMIN_PASSWORD_FILE_H
#define TAVRIN_ADMIN_PASSWORD_FILE_H

#include <stddef.h>

// The longest password taken from the file, counted after translation.
const size_t PASSWORD_MAX_CHARS = 256;
// The password and its terminator.
const size_t PASSWORD_BUFFER_SIZE = PASSWORD_MAX_CHARS + 1;

// Translates bytes as read from a file into text: each CR LF pair becomes one
// LF, every other byte (a CR without an LF after it too) is kept, and the
// first 0x1A ends the text.  Stores at most maxChars characters into text,
// adds no terminator, and returns how many it stored.
size_t TranslateTextBytes(const char *raw, size_t rawLength, char *text, size_t maxChars);

// Reads the password file at path into password (PASSWORD_BUFFER_SIZE
// bytes), always terminated; the password is the text up to its first NUL.
// Returns false, leaving password untouched, when the file cannot be opened.
// A read error keeps what was read before it.
bool ReadPasswordFile(const char *path, char *password);

#endif
