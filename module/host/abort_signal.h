// The host's abort signal. Every stream call carries one; the module never looks
// inside it and only passes it on by reference.
#pragma once

class abort_signal {};
