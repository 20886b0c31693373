// Copying whole files at the speed of the disk: the bytes move inside the
// system (copy_file_range), or through one small buffer where the system
// cannot, so a copy never holds the file in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/result.h"

namespace domora {

// Told (bytes copied, file size) after each megabyte of a large file.
using CopyBytesFn = std::function<void(std::int64_t done, std::int64_t size)>;

// The buffer a copy falls back to; also how often it reports.
inline constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

// Copies from to a temporary file beside to, flushes it to disk once and
// renames it over to, so to is either its old self or the whole copy. A
// failure removes the temporary file, is written to the status log and
// returned as "step: reason" ("read", "create", "write", "flush", "close",
// "rename"). The rename is made durable by flush_folder, once for all the
// files copied into a folder.
Result<void> copy_file_atomic(const std::string& from, const std::string& to, unsigned mode, const CopyBytesFn& on_bytes = {});

// Flushes a folder's entries (renames into it) to disk; failures are ignored.
void flush_folder(const std::string& folder);

}  // namespace domora
