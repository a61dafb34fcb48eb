#pragma once
// Reading the files a user names as sources, which may be anything: only a
// regular file is read, and a FIFO, device, socket or folder is refused before
// anything could wait on it. Errors are SourceError, naming the file and the
// system's reason.

#include <filesystem>
#include <string>

#include "platform/posix/MemoryFile.h"

namespace taloveric {

// Throws unless `path` is a regular file that can be opened for reading.
void CheckRegularFile(const std::filesystem::path& path);

// The first `count` bytes (fewer for a shorter file).
std::string ReadHead(const std::filesystem::path& path, std::size_t count);

// The whole file; one larger than `limit` bytes is refused, `what` saying what
// the limit is for ("a .reg export").
std::string ReadRegularFile(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what);

// The same, read straight into a file in memory: the one copy of its bytes
// that the program and the format libraries read.
MemoryFile ReadIntoMemory(const std::filesystem::path& path, std::uintmax_t limit, const std::string& what);

}  // namespace taloveric
