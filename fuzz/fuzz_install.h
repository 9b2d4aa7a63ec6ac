// A temporary installation directory for fuzzing the stop exchange.
//
// The program composes its file names as "<InstallDir>\pw.fil"; on the host
// the backslash is an ordinary character of a file name, so those files live
// beside the (never created) directory, inside a temporary folder that is
// removed when the fuzzer exits.
#ifndef TAVRIN_FUZZ_FUZZ_INSTALL_H
#define TAVRIN_FUZZ_FUZZ_INSTALL_H

#include <stddef.h>
#include <stdint.h>

#include <string>

// Puts the fake platform back to its initial state (NT family, every
// transport step succeeding) with InstallDir naming the temporary directory.
void FuzzResetWithInstallDir();

// The full name the program gives a file of the installation directory.
std::string FuzzInstallFile(const char *name);

// Replaces the file's content with exactly these bytes.
void FuzzWriteFile(const std::string &path, const uint8_t *data, size_t size);

#endif
