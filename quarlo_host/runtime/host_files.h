// The files the host reads, by UTF-8 path: any file's bytes, a module's PE
// image, the services file; and where the files that ship beside the program
// lie.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "quarlo_host/core/pe_image.h"
#include "quarlo_host/core/services_file.h"

namespace quarlo_host {

// A whole file's bytes. False when the file cannot be opened or read, or is
// larger than 256 MiB.
bool read_file(std::string_view path, std::string& out);

// Reads and parses the PE image at path; a file that cannot be read throws
// pe_error too.
pe_listing read_pe_file(std::string_view path);

// Reads the services file at path and parses it (the format: services_file.h);
// a file that cannot be read is reported as line 0.
bool read_services_file(std::string_view path, std::vector<service_entry>& out,
                        services_file_error& error);

// True when path names a file, not a folder.
bool file_exists(const std::wstring& path);

// The folder of the running program, with a trailing backslash.
std::wstring program_folder();

}  // namespace quarlo_host
