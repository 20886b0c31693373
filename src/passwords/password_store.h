// The password file: the whole plaintext image in memory, the view of its
// live records, and the master password that unlocks it. On disk the image
// is kept in one of two files. The standard "password10.dat" is the image
// encrypted with AES-256 (ECB, key made from the master password). The
// strong "password20.dat" is the image sealed under a key stretched from
// the master password (strong_file.h); when it exists it is the store, and
// a new store is made strong.
//
// Plaintext image: byte 0 the length n of the master password, bytes 1..n
// the password, zeros up to offset 256, then the records (password_record.h),
// then zeros up to a multiple of 16.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/file_guard.h"
#include "app/files.h"
#include "app/result.h"
#include "passwords/password_record.h"
#include "passwords/secure_memory.h"
#include "passwords/strong_file.h"

namespace domora {

inline constexpr std::size_t kPasswordHeaderSize = 256;
inline constexpr std::size_t kMasterKeySize = 32;
inline constexpr std::size_t kMaxMasterLength = 32;  // what the dialogs accept
inline constexpr const char* kDefaultMasterPassword = "Quoll";

struct PasswordStore {
    SecureBytes image;              // heap size = image.size(), the stored size of the file
    std::size_t used_length = 0;    // end of the last valid record, at least 256 once parsed
    std::vector<std::uint32_t> view;  // offsets of the live records, in file order
    SecretText master;              // empty until entered
    std::string read_error;         // the file exists but could not be read
    std::size_t damaged_size = 0;   // the file's size when it is not whole blocks or shorter than a header
    // The strong file.
    bool strong = false;            // the store is the strong file, or is made one when first saved
    bool strong_found = false;      // a strong file with a readable header is there
    std::string damage;             // why its header cannot be read
    KdfCost file_cost;              // the cost its header names; empty until read or chosen
    SecureBytes key;                // derived once per unlock; empty when none is held
    KdfCost key_cost;               // what the key was derived with
    StrongSalt key_salt{};
    // The file the image was read from or last written as, and the records
    // changed since, so that a save can catch up with another program's write.
    bool file_known = false;
    std::string file_path;
    FileIdentity file;
    ChangeJournal changes;
};

// How the store waits for a key derivation (about a second, longer when a
// new file's cost is measured first): the screens show that they are
// working meanwhile. work never touches the store. Without a waiter the
// work simply runs.
class KeyWait {
public:
    virtual ~KeyWait() = default;
    virtual void run(const std::string& title, int expected_ms, const std::function<void()>& work) = 0;
};
void set_key_wait(KeyWait* wait);

PasswordStore& password_store();
// Wipes and empties everything, the master password and the key included.
void reset_password_store();

// ---- the master password and the key ----------------------------------------------------

std::string_view master_password();
// Wipes the old text before taking the new one; a different password also
// wipes the key derived from the old one.
void set_master_password(std::string_view text);
// The password cut to 32 bytes or padded with blanks to 32.
std::array<unsigned char, kMasterKeySize> master_key(std::string_view password);

// AES over floor(size / 16) blocks in place. A key of another length than
// 16, 24 or 32 bytes shows "DoEncrypt SetKey Error" or "DoDecrypt SetKey
// Error" in the system's box and returns false.
bool EncryptImage(const unsigned char* key, std::size_t key_length, unsigned char* image, std::size_t size);
bool DecryptImage(const unsigned char* key, std::size_t key_length, unsigned char* image, std::size_t size);

// ---- the file ------------------------------------------------------------------------------

// Reads and decrypts the file with the master password, falling back to the
// default password; clears the master password when neither opens it; rebuilds the view.
// A strong file is opened with the key held for it, else with one derived
// from the master password (never the default one); once it opens, a
// standard file left beside it by an interrupted conversion is removed
// when it holds the same records.
void LoadPasswords();
// Encrypts the image in place and writes it owner-only and atomically. The
// image is left encrypted: callers load again right after. Nothing is
// written without a master password. A strong save seals with a fresh
// nonce under the held key, or first derives one under a new salt (and, for
// a new file, a cost measured on this machine); its image is then wiped.
Result<void> SavePasswords();
// Run by SavePasswords before it writes: when another program replaced or
// rewrote the file since it was read, the file is opened again and the
// records added, edited or deleted since are carried over to it by id (an
// added record whose id the file gave to another gets a new one). An edit
// of a record the other program removed cannot be carried over: the
// user's version of the whole file is then kept beside it under a dated
// name, sealed as the file is, and the user is told. A file that no longer
// opens with the master password is never written over: the error says so
// and the user's version is kept the same way. An edit or delete of a
// record the other program changed too is carried over, and the other
// program's file as it was is kept beside it the same way.
Result<void> CatchUpPasswords();
// The image as it stands sealed into a file at path in the store's format
// (the strong one or the standard one); for the copy CatchUpPasswords keeps.
Result<void> SavePasswordsAs(const std::string& path);
// Appends a whole record as it is (the caller made sure it is one).
void AppendPasswordRecord(RecordBytes record);
// The image holds a header whose password is the (non-empty) master password.
bool IsUnlocked();
// No record has ever been saved (or there is no file): the master password
// dialog offers to set one. Never true for a file that exists but cannot be
// read or is damaged; such a file is never written over either.
bool IsFirstUse();
// Rebuilds the view and the used length from the image, skipping junk.
void ParsePasswords();
// Whole copies of the live records of a plaintext image, in file order.
std::vector<SecureBytes> live_records(const SecureBytes& image);
// The standard file at path decrypted with password's key, when that is
// the password its header holds: the image, else empty.
SecureBytes open_standard_file(const std::string& path, std::string_view password);
// Drops deleted records and junk, saves and loads.
Result<void> CompactPasswords();
// Replaces the image with a header and the records at these offsets, in
// this order (deleted records and junk are dropped), saves and loads.
Result<void> RewritePasswords(const std::vector<std::uint32_t>& order);

// ---- records -------------------------------------------------------------------------------

// The bytes of the record at offset; empty unless a whole frame lies there.
RecordBytes password_record(std::uint32_t offset);
// The record of row (0-based) of the view; empty outside the view.
RecordBytes view_record(int row);
int view_count();
// The largest id in the view plus one; the smallest free id when that overflows.
std::int32_t NewPasswordId();
// Builds a current-format record and adds it after the last one.
void AppendPassword(std::int32_t id, const std::vector<std::string>& fields, unsigned char kept = 0);
// Clears the record's format byte.
void MarkPasswordDeleted(std::uint32_t offset);
// The record_fingerprint of what a whole record holds.
std::uint64_t password_fingerprint(RecordBytes record);

}  // namespace domora
