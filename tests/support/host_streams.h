// The recording streams (support/stream_recorder.h) over the host's own
// declarations, for the tests that drive a built module through the host.
#pragma once

#include "quarlo/abort_signal.h"
#include "quarlo/byte_sink.h"
#include "quarlo/byte_source.h"
#include "quarlo/exception_io.h"
#include "support/stream_recorder.h"

using host_side = stream_types<abort_signal, byte_sink, byte_source, quarlo_io::exception_io,
                               quarlo_io::exception_io_data>;

using recording_sink = recording_sink_t<host_side>;
using recording_source = recording_source_t<host_side>;
