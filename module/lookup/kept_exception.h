// An exception held back while frames that must not see it are on the stack
// (the system's dialog manager, between DialogBoxParamW and the dialog
// procedure), to be thrown again, with its type and content, once they are
// gone. Each ABI keeps it its own way: the GNU build as a std::exception_ptr,
// the Microsoft build as a copy made from the thrown object's throw record.
#pragma once

// Runs work(context) and returns true. When an exception leaves it, returns
// false with the exception kept; while one is kept, later ones are dropped.
bool run_keeping_exception(void (*work)(void* context), void* context);

// Throws the kept exception and forgets it; returns when none is kept.
void throw_kept_exception();
