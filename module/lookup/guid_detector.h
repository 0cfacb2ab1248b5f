// Finds the first GUID-shaped run of characters in free text.
#pragma once

#include "trel/string_base.h"

// Scans the NUL-terminated text for the first run of five groups of at most 8, 4, 4, 4
// and 12 hex digits joined by dashes and not followed by another hex digit. An attempt
// starts only at the first digit of a run of hex digits; when it fails the whole run is
// skipped. Found: the run goes to out.assign_text with its exact length and the result
// is true. Not found (also for a null text): false, and out is not touched.
bool guid_detector(const char* text, trel::string_base& out);
