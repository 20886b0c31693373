// Thin file utilities over the platform's file calls, and the atomic
// whole-file writes that every data file and export goes through.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/result.h"
#include "platform/platform.h"

namespace domora {

using FileHandle = int;
inline constexpr FileHandle kInvalidHandle = -1;

// Modes: "o" write, truncate or create; "a" write at the end, create if
// missing; "i" read, create empty if missing; "u" read and write, create if
// missing. Any other mode gives kInvalidHandle and touches nothing.
FileHandle file_open(std::string_view mode, const std::string& path);
void file_close(FileHandle handle);

// Transfer count bytes to or from buffer + offset at the file's position.
// Nothing happens for a count of 0 or less. file_read grows the buffer when it
// is too short. Both return the bytes actually moved.
std::int64_t file_read(FileHandle handle, std::string& buffer, std::int64_t offset, std::int64_t count);
std::int64_t file_write(FileHandle handle, std::string_view buffer, std::int64_t offset, std::int64_t count);
// The bytes of text, then CR LF when add_newline.
void file_write_text(FileHandle handle, std::string_view text, bool add_newline);

std::int64_t file_tell(FileHandle handle);  // 0 on failure
void file_seek(FileHandle handle, std::int64_t position);
std::int64_t file_size(FileHandle handle);

// True when anything is found at path: a file, a folder, or, when the last
// part holds '*' or '?', any name matching it. An empty path is false.
bool file_exists(const std::string& path);
bool folder_exists(const std::string& path);
// Creates the folder named by everything before the last '/' of path (the
// whole path when it has none), owner-only; one level; failure ignored.
void make_folder(const std::string& path);
// 0 when a file can be created at path for writing, 1 when not; the test
// file is removed again.
int can_create_file(const std::string& path);
// Makes an existing file writable by its owner, keeping its other bits.
void clear_read_only(const std::string& path);
bool delete_file(const std::string& path);
// The parts of a path: the folder before the last '/' without it ("." when
// there is none, "/" at the root), and the name after it.
std::string folder_of(const std::string& path);
std::string name_of(const std::string& path);

// ---- whole files ---------------------------------------------------------------

// Which file a name held and in what state: a store keeps the one it read,
// so that before it writes it can tell whether another program (a file-sync
// tool, a restore, a second copy of the program) replaced or rewrote the file.
struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified_ns = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity identity_of(const FileInfo& info);
// What path holds now; exists is false when nothing is there.
FileIdentity file_identity(const std::string& path);

Result<std::string> read_whole_file(const std::string& path);
// The same with room for `spare` more bytes, so that a caller who goes on to
// add to the data does not have the whole of it moved at once. identity,
// when given, receives the file that was read (not whatever the name holds
// a moment later).
Result<std::string> read_whole_file(const std::string& path, std::size_t spare, FileIdentity* identity = nullptr);

inline constexpr unsigned kOwnerOnly = 0600;
// Writes data to a temporary file beside path, flushes it to disk and renames
// it over path, so a crash or a full disk leaves either the old file or the
// new one, whole. A failure leaves the old file untouched, removes the
// temporary file, is written to the status log and returned.
// written, when given, receives the file now at path.
Result<void> write_file_atomic(const std::string& path, std::string_view data, unsigned mode = kOwnerOnly,
                               FileIdentity* written = nullptr);
// The same for data handed over in pieces (see FilePieces below), so that a
// large file never needs a copy of itself in memory.
using FilePieces = std::function<std::string_view()>;
Result<void> write_file_atomic(const std::string& path, const FilePieces& next, unsigned mode = kOwnerOnly);
// The same for pieces whose source may fail: its error ends the write, and
// the file at path stays as it was.
using CheckedFilePieces = std::function<Result<std::string_view>()>;
Result<void> write_file_atomic_checked(const std::string& path, const CheckedFilePieces& next, unsigned mode = kOwnerOnly);
// The same without flushing to the disk: a reader still finds the old file
// or the new one, whole, but a crash may leave neither. For a file read
// back at once and removed (the clipboard's text on its way to an import)
// or read only by tests, where waiting for the disk buys nothing.
Result<void> write_scratch_file(const std::string& path, std::string_view data, unsigned mode = kOwnerOnly);
// The same for a large file saved again and again: the version a save
// replaces is kept beside it under a temporary name, and the next save
// writes over that instead of into a new file, which spares the system
// finding fresh memory for the whole file each time. Only a kept file that
// no other name links to is written over. The kept files go at shut-down
// (discard_spare_files), or after a crash at the next start with the other
// temporary files. The kept version is made owner-only at once: it may be
// a file that others could read, and it lies under a name nobody expects.
Result<void> write_file_atomic_reusing(const std::string& path, std::string_view data, unsigned mode = kOwnerOnly,
                                       FileIdentity* written = nullptr);
// The same for data handed over in pieces, so that a caller whose bytes lie
// out of order need not gather a second copy of them: next() gives the next
// piece, an empty one after the last.
Result<void> write_file_atomic_reusing(const std::string& path, const FilePieces& next, unsigned mode = kOwnerOnly,
                                       FileIdentity* written = nullptr);
// Reads the file into data, reusing its memory: data holds exactly the
// file's bytes after, and its capacity grows only when they need more.
Result<void> read_whole_file_into(const std::string& path, std::string& data);
void discard_spare_files();
// A save of path is likely soon (a form that ends in one is open): when the
// file is large and no version of it is kept yet, a file of its size is made
// beside it in the background, for that save to write over.
void prepare_spare_file(const std::string& path, unsigned mode = kOwnerOnly);
// Copies from to to unless to exists already.
Result<void> copy_file_no_overwrite(const std::string& from, const std::string& to);
// Deletes temporary files that an interrupted write_file_atomic of the named
// file left in its folder.
void remove_stale_temp_files(const std::string& path);

}  // namespace domora
