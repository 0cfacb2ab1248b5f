// Turns GUID text into the 16-byte record.
#pragma once

#include "host/guid.h"

// Reads the NUL-terminated text as Data1, Data2, Data3, Data4[0..1] and Data4[2..7]
// from 8, 4, 4, 4 and 12 characters, with an optional leading "{", any dashes between
// the groups, and the text ending at the first "}" or the NUL. A non-hex character
// decodes as 0. Fields are written in that order and only while their whole group
// fits, so a short text fills a prefix of the record and leaves the rest as it was.
void guid_parser(const char* text, GUID& out);
