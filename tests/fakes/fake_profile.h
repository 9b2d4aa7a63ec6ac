// Fake profile reading: GetPrivateProfileStringA over real files on the
// host's file system, by the rules Windows documents, with every call kept.
//
// The file name is used exactly as given: on the host a backslash is an
// ordinary character of a file name, just as for fopen in product code, so
// a test puts its files where the program composes their names.
//
// Rules: section and key names compare without regard to ASCII case; the
// first section of the name is the one searched; names and values are
// trimmed of surrounding blanks and tabs; one pair of matching quotes (double
// or single) around a value is removed; the result is cut to size - 1
// characters and always terminated; a missing file, section or key gives the
// default (null meaning empty, trailing blanks removed), and so does a first
// matching key written without "=".  The result is the
// number of characters copied.  Listing sections or keys (a null section or
// key) is not modelled: it gives an empty text.
#ifndef TAVRIN_TESTS_FAKES_FAKE_PROFILE_H
#define TAVRIN_TESTS_FAKES_FAKE_PROFILE_H

#include "platform/win32.h"

#include <string>
#include <vector>

struct FakeProfileCall
{
    bool sectionNull;
    std::string section;
    bool keyNull;
    std::string key;
    bool defaultNull;
    std::string defaultValue;
    DWORD size;
    bool fileNameNull;
    std::string fileName;
    std::string returned; // what the caller's buffer holds afterwards
    DWORD result;
};

// Every GetPrivateProfileStringA call since the last reset, in order.
std::vector<FakeProfileCall> FakeProfileCalls();

#endif
