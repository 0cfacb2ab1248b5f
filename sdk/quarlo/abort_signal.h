// The host's abort signal, carried by every stream call; modules only pass it on.
#pragma once

class abort_signal {};
