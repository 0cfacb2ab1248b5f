// Saving and loading the settings stream: a flat run of records, one per
// setting, each a 16-byte GUID, a 32-bit little-endian payload length N and N
// payload bytes, with nothing before, between or after them.
#pragma once

#include "host/abort_signal.h"
#include "host/byte_sink.h"
#include "host/byte_source.h"

// Writes one record per linked setting, in list order, with three writes per
// record (two for an empty payload). Catches nothing: records already written
// stay in the sink.
void save_settings(byte_sink& sink, abort_signal& abort);
// Reads records until a header cannot be read (exception_io_data from the
// source's read_exact), hands each payload to the first setting with its GUID
// and skips the rest. A setting's exception_io_data is dropped; every other
// exception, and a failure to skip, leaves.
void load_settings(byte_source& source, abort_signal& abort);
