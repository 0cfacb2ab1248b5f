// The recording streams (support/stream_recorder.h) over the module's own
// declarations, for the unit tests that link the module's code.
#pragma once

#include "host/abort_signal.h"
#include "host/byte_sink.h"
#include "host/byte_source.h"
#include "settings/exception_io.h"
#include "support/stream_recorder.h"

using module_side = stream_types<abort_signal, byte_sink, byte_source, quarlo_io::exception_io,
                                 quarlo_io::exception_io_data>;

using recording_sink = recording_sink_t<module_side>;
using recording_source = recording_source_t<module_side>;
