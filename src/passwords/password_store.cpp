#include "passwords/password_store.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <set>

#include "app/files.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "passwords/aes/aes.h"
#include "passwords/key_cost.h"
#include "platform/platform.h"

namespace domora {

namespace {

PasswordStore g_store;
KeyWait* g_key_wait = nullptr;
// How long the last derivation took; what the next one is expected to take.
int g_derivation_ms = 1000;

void release_image() {
    // The allocator wipes the block as it is freed.
    SecureBytes().swap(g_store.image);
    g_store.used_length = 0;
}

std::size_t stored_size(std::size_t length) { return (length - 1) / aes::kBlockSize * aes::kBlockSize + aes::kBlockSize; }

bool run_cipher(bool encrypt, const unsigned char* key, std::size_t key_length, unsigned char* image, std::size_t size) {
    aes::KeySchedule schedule;
    if (!aes::set_key(schedule, key, key_length)) {
        platform().system_message_box(encrypt ? "DoEncrypt SetKey Error" : "DoDecrypt SetKey Error", kProductName);
        return false;
    }
    if (encrypt) {
        aes::encrypt_ecb(schedule, image, size);
    } else {
        aes::decrypt_ecb(schedule, image, size);
    }
    return true;
}

// The header of a plaintext image holds this password (trimmed of blanks).
bool header_holds(const SecureBytes& image, std::string_view password) {
    if (image.size() < kPasswordHeaderSize || password.empty()) return false;
    // Compared in place, so that no copy of the stored password is left behind.
    std::string_view stored(reinterpret_cast<const char*>(image.data() + 1), image[0]);
    while (!stored.empty() && stored.front() == ' ') stored.remove_prefix(1);
    while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
    return stored == password;
}

// Decrypts a standard file's bytes into image (sized already) with the
// password's key and tells whether that password opens it.
bool decrypt_into(SecureBytes& image, const std::string& file, std::string_view password) {
    std::fill(image.begin(), image.end(), 0);
    std::memcpy(image.data(), file.data(), file.size());
    std::array<unsigned char, kMasterKeySize> key = master_key(password);
    DecryptImage(key.data(), key.size(), image.data(), image.size());
    wipe_bytes(key.data(), key.size());
    return header_holds(image, password);
}

bool open_with(const std::string& file, std::string_view password) {
    return decrypt_into(g_store.image, file, password) && IsUnlocked();
}

// The frame at offset of image, when a whole one lies there: its length, else 0.
std::uint32_t frame_length(const SecureBytes& image, std::size_t offset) {
    if (offset >= image.size() || image.size() - offset < kPasswordRecordHeaderSize) return 0;
    const unsigned char* p = image.data() + offset;
    if (std::memcmp(p + 4, "MSRI", 4) != 0) return 0;
    const std::uint32_t length = read_u32(p);
    if (length < kPasswordRecordHeaderSize || length > image.size() - offset) return 0;
    return length;
}

std::uint32_t frame_length(std::size_t offset) { return frame_length(g_store.image, offset); }

// Walks the records of image from the header on, skipping junk a byte at a time.
template <typename Visit>
void walk_records(const SecureBytes& image, Visit visit) {
    std::size_t offset = kPasswordHeaderSize;
    while (offset < image.size()) {
        const std::uint32_t length = frame_length(image, offset);
        if (length == 0) {
            ++offset;
            continue;
        }
        visit(offset, length);
        offset += length;
    }
}

template <typename Visit>
void walk_records(Visit visit) {
    walk_records(g_store.image, visit);
}

// A damaged frame whose length runs past the end is junk only while the
// image is no longer than that; an append that grew the image would turn it
// into a record swallowing the ones behind it. So a freshly opened image
// keeps exactly the records this walk finds, packed from the header on.
void drop_junk() {
    std::size_t write = kPasswordHeaderSize;
    walk_records([&write](std::size_t offset, std::uint32_t length) {
        // The write position never passes the read position.
        if (write != offset) std::memmove(g_store.image.data() + write, g_store.image.data() + offset, length);
        write += length;
    });
    if (write < g_store.image.size()) std::fill(g_store.image.begin() + static_cast<std::ptrdiff_t>(write), g_store.image.end(), 0);
}

Result<void> save_and_load() {
    Result<void> saved = SavePasswords();
    LoadPasswords();
    return saved;
}

void wipe_key() {
    SecureBytes().swap(g_store.key);
    g_store.key_cost = {};
    g_store.key_salt.fill(0);
}

void run_with_wait(const std::string& title, int expected_ms, const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    if (g_key_wait) {
        g_key_wait->run(title, expected_ms, work);
    } else {
        work();
    }
    const auto took = std::chrono::steady_clock::now() - start;
    g_derivation_ms = std::max(1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

// Derives the key for the master password at this cost and salt and holds it.
Result<void> derive_and_hold(const std::string& title, std::string_view password, const KdfCost& cost, const StrongSalt& salt) {
    wipe_key();
    // The work gets copies of its own: a lock may wipe the store while it runs.
    SecureBytes key(kStrongKeySize, 0);
    ScopedSecret text{std::string(password)};
    Result<void> derived;
    run_with_wait(title, g_derivation_ms, [&] { derived = derive_strong_key(text.text(), cost, salt, key.data()); });
    if (!derived) return derived;
    g_store.key.swap(key);
    g_store.key_cost = cost;
    g_store.key_salt = salt;
    return {};
}

bool key_fits(const StrongHeader& header) {
    return g_store.key.size() == kStrongKeySize && g_store.key_cost == header.cost && g_store.key_salt == header.salt;
}

// Once the strong file has opened: a standard file beside it was left by a
// conversion that was stopped before it could remove the file it replaced.
// With the same records it is only a weaker copy; otherwise it is kept.
void remove_leftover_standard() {
    const std::string& path = app_paths().password_file;
    FileInfo info;
    if (path.empty() || !platform().sys_stat(path, info) || info.is_folder) return;
    const SecureBytes old = open_standard_file(path, g_store.master.view());
    if (!old.empty() && live_records(old) == live_records(g_store.image)) {
        if (delete_file(path)) status_log_write("Older Password File Removed: the same records as the strong file");
    } else {
        status_log_write("Older Password File Kept: it holds other records than the strong file");
    }
}

void load_standard() {
    const std::string& path = app_paths().password_file;
    FileInfo info;
    const bool exists = platform().sys_stat(path, info);
    Result<std::string> read = !exists          ? Result<std::string>(std::string())
                               : info.is_folder ? Result<std::string>(Error{"it is a folder"})
                                                : read_whole_file(path, 0, &g_store.file);
    const std::size_t file_size = read ? read.value().size() : 0;
    if (!read) {
        // Not the same as no file: the first-use branch would write over it.
        g_store.read_error = read.error().message;
        status_log_write("Password File Not Read: " + read.error().message);
    } else if (file_size > 0 && (file_size < kPasswordHeaderSize || file_size % aes::kBlockSize != 0)) {
        // Every saved file is whole blocks and at least a header long: this one
        // was cut short or grew. It is never taken for first use.
        g_store.damaged_size = file_size;
        status_log_write("Password File Damaged: " + log_number(static_cast<std::int64_t>(file_size)));
    } else if (file_size >= kPasswordHeaderSize) {
        const std::string& file = read.value();
        g_store.image.assign(std::max(kPasswordHeaderSize, stored_size(file.size())), 0);
        if (open_with(file, g_store.master.view())) {
            status_log_write("Decrypted with Users Password");
            drop_junk();
        } else {
            // The password that was tried is never written to the log.
            status_log_write("User Password Failed: ");
            set_master_password(kDefaultMasterPassword);
            if (open_with(file, g_store.master.view())) {
                status_log_write("Decrypted with Quoll Password");
                drop_junk();
            } else {
                status_log_write("Quoll Password Failed: ");
                status_log_write("Decryption Failed: ");
                set_master_password("");
            }
        }
    }
}

void load_strong(const FileInfo& info) {
    const std::string& path = app_paths().strong_password_file;
    Result<std::string> read = info.is_folder ? Result<std::string>(Error{"it is a folder"}) : read_whole_file(path, 0, &g_store.file);
    if (!read) {
        g_store.read_error = read.error().message;
        status_log_write("Password File Not Read: " + read.error().message);
        return;
    }
    const std::string& file = read.value();
    const Result<StrongHeader> header = read_strong_header(file);
    if (!header) {
        g_store.damage = header.error().message;
        status_log_write("Password File Damaged: " + g_store.damage);
        return;
    }
    g_store.strong_found = true;
    g_store.file_cost = header.value().cost;
    // Without a password there is nothing to try: the default one never
    // protects a strong file, and every try costs a second.
    if (g_store.master.empty()) return;
    if (!key_fits(header.value())) {
        const Result<void> derived = derive_and_hold("Unlocking Passwords", g_store.master.view(), header.value().cost,
                                                     header.value().salt);
        if (!derived) {
            g_store.read_error = derived.error().message;
            status_log_write("Password File Not Read: " + g_store.read_error);
            return;
        }
    }
    if (open_strong_file(file, header.value(), g_store.key.data(), g_store.image)) {
        // What the key opens is authentic, so the master password is right
        // even where the header's copy of it differs (a file made elsewhere).
        if (!IsUnlocked()) {
            const ScopedSecret master{std::string(g_store.master.view())};
            std::fill(g_store.image.begin(), g_store.image.begin() + kPasswordHeaderSize, 0);
            const std::size_t length = std::min<std::size_t>(master.text().size(), kPasswordHeaderSize - 1);
            g_store.image[0] = static_cast<unsigned char>(length);
            std::memcpy(g_store.image.data() + 1, master.text().data(), length);
        }
        status_log_write("Decrypted with Users Password");
        drop_junk();
        remove_leftover_standard();
        return;
    }
    wipe_key();
    status_log_write("User Password Failed: ");
    status_log_write("Decryption Failed: ");
    set_master_password("");
}

Result<void> save_strong(const std::string& master, const std::string& path, FileIdentity* written) {
    if (g_store.master.view() != master) set_master_password(master);
    if (g_store.key.size() != kStrongKeySize || g_store.key_cost != g_store.file_cost || g_store.file_cost.empty()) {
        const bool measure = g_store.file_cost.empty();
        KdfCost cost = g_store.file_cost;
        StrongSalt salt{};
        random_bytes(salt.data(), salt.size());
        SecureBytes key(kStrongKeySize, 0);
        ScopedSecret text{master};
        Result<void> derived;
        run_with_wait("Protecting Passwords", g_derivation_ms * (measure ? 3 : 1), [&] {
            if (measure) cost = cost_for_new_file();
            derived = derive_strong_key(text.text(), cost, salt, key.data());
        });
        if (!derived) return derived;
        wipe_key();
        g_store.key.swap(key);
        g_store.key_cost = cost;
        g_store.key_salt = salt;
        g_store.file_cost = cost;
    }
    const std::string file =
        seal_strong_file(g_store.key_cost, g_store.key_salt, g_store.key.data(), g_store.image.data(), g_store.image.size());
    // As after a standard save, the plaintext is gone until the next load.
    release_image();
    return write_file_atomic(path, file, kOwnerOnly, written);
}

Result<void> seal_and_write(const std::string& path, FileIdentity* written);

}  // namespace

void set_key_wait(KeyWait* wait) { g_key_wait = wait; }

PasswordStore& password_store() { return g_store; }

void reset_password_store() {
    release_image();
    wipe_key();
    g_store.view.clear();
    g_store.master.clear();
    g_store.read_error.clear();
    g_store.damaged_size = 0;
    g_store.strong = false;
    g_store.strong_found = false;
    g_store.damage.clear();
    g_store.file_cost = {};
}

// ---- the master password and the key ----------------------------------------------------------

std::string_view master_password() { return g_store.master.view(); }

void set_master_password(std::string_view text) {
    if (text != g_store.master.view()) wipe_key();
    g_store.master.assign(text);
}

std::array<unsigned char, kMasterKeySize> master_key(std::string_view password) {
    std::array<unsigned char, kMasterKeySize> key;
    key.fill(' ');
    // An empty password may be a view of no memory at all (a master password
    // never set), and memcpy wants a real pointer even for no bytes.
    if (!password.empty()) std::memcpy(key.data(), password.data(), std::min(password.size(), key.size()));
    return key;
}

bool EncryptImage(const unsigned char* key, std::size_t key_length, unsigned char* image, std::size_t size) {
    return run_cipher(true, key, key_length, image, size);
}

bool DecryptImage(const unsigned char* key, std::size_t key_length, unsigned char* image, std::size_t size) {
    return run_cipher(false, key, key_length, image, size);
}

// ---- the file ----------------------------------------------------------------------------------------

void LoadPasswords() {
    release_image();
    g_store.read_error.clear();
    g_store.damaged_size = 0;
    g_store.damage.clear();
    g_store.strong_found = false;
    const AppPaths& paths = app_paths();
    FileInfo strong_info, standard_info;
    const bool strong_exists = !paths.strong_password_file.empty() && platform().sys_stat(paths.strong_password_file, strong_info);
    const bool standard_exists = platform().sys_stat(paths.password_file, standard_info);
    // The strong file wins; with neither file the new store is made strong.
    g_store.strong = strong_exists || (!standard_exists && !paths.strong_password_file.empty());
    g_store.file_known = true;
    g_store.file_path = g_store.strong ? paths.strong_password_file : paths.password_file;
    g_store.file = {};
    g_store.changes.clear();
    if (strong_exists) {
        load_strong(strong_info);
    } else {
        // A key belongs to a strong file only.
        wipe_key();
        g_store.file_cost = {};
        load_standard();
    }
    ParsePasswords();
}

Result<void> SavePasswords() {
    if (ScopedSecret(trim(g_store.master.view())).text().empty()) return Error{"no master password"};
    // A file that could not be read or is damaged may still be recovered; never write over it.
    if (!g_store.read_error.empty() || g_store.damaged_size != 0 || !g_store.damage.empty()) {
        return Error{"the password file is kept as it is"};
    }
    const Result<void> caught = CatchUpPasswords();
    if (!caught) return caught;
    const std::string path = g_store.strong ? app_paths().strong_password_file : app_paths().password_file;
    FileIdentity written;
    const Result<void> saved = seal_and_write(path, &written);
    if (saved) {
        g_store.file_known = true;
        g_store.file_path = path;
        g_store.file = written;
        g_store.changes.clear();
    }
    return saved;
}

Result<void> SavePasswordsAs(const std::string& path) { return seal_and_write(path, nullptr); }

namespace {

Result<void> seal_and_write(const std::string& path, FileIdentity* written) {
    const ScopedSecret trimmed(trim(g_store.master.view()));
    const std::string& master = trimmed.text();
    if (master.empty()) return Error{"no master password"};
    SecureBytes& image = g_store.image;
    g_store.used_length = std::max(kPasswordHeaderSize, g_store.used_length);
    const std::size_t size = stored_size(g_store.used_length);
    image.resize(size, 0);
    // Whatever lies past the last record (a dropped record's tail) becomes the zero padding.
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(g_store.used_length), image.end(), 0);
    std::fill(image.begin(), image.begin() + kPasswordHeaderSize, 0);
    const std::size_t length = std::min<std::size_t>(master.size(), kPasswordHeaderSize - 1);
    image[0] = static_cast<unsigned char>(length);
    std::memcpy(image.data() + 1, master.data(), length);
    if (g_store.strong) return save_strong(master, path, written);
    std::array<unsigned char, kMasterKeySize> key = master_key(master);
    const bool encrypted = EncryptImage(key.data(), key.size(), image.data(), image.size());
    wipe_bytes(key.data(), key.size());
    if (!encrypted) return Error{"the key could not be set"};
    return write_file_atomic(path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()), kOwnerOnly,
                             written);
}

}  // namespace

bool IsUnlocked() {
    // An empty master password never unlocks: one image in 256 would
    // otherwise pass with a garbled length byte of 0.
    return header_holds(g_store.image, g_store.master.view());
}

bool IsFirstUse() {
    // A locked strong file leaves the image empty, yet it is there.
    return g_store.used_length < kPasswordHeaderSize && g_store.read_error.empty() && g_store.damaged_size == 0 &&
           g_store.damage.empty() && !g_store.strong_found;
}

void ParsePasswords() {
    g_store.used_length = 0;
    status_log_write("Password Buffer Size: " + log_number(static_cast<std::int64_t>(g_store.image.size())));
    g_store.view.clear();
    if (g_store.image.empty()) return;
    g_store.used_length = kPasswordHeaderSize;
    walk_records([](std::size_t offset, std::uint32_t length) {
        if (g_store.image[offset + 12] > 0) g_store.view.push_back(static_cast<std::uint32_t>(offset));
        g_store.used_length = std::max(g_store.used_length, offset + length);
    });
}

std::vector<SecureBytes> live_records(const SecureBytes& image) {
    std::vector<SecureBytes> records;
    walk_records(image, [&](std::size_t offset, std::uint32_t length) {
        if (image[offset + 12] == kFormatDeleted) return;
        const auto from = image.begin() + static_cast<std::ptrdiff_t>(offset);
        records.emplace_back(from, from + length);
    });
    return records;
}

SecureBytes open_standard_file(const std::string& path, std::string_view password) {
    SecureBytes image;
    const Result<std::string> read = read_whole_file(path);
    if (!read) return image;
    const std::string& file = read.value();
    if (file.size() < kPasswordHeaderSize || file.size() % aes::kBlockSize != 0) return image;
    image.assign(file.size(), 0);
    if (!decrypt_into(image, file, password)) SecureBytes().swap(image);
    return image;
}

Result<void> CompactPasswords() {
    // A locked image is ciphertext; saving it would lose every record.
    if (!IsUnlocked()) return Error{"the passwords are locked"};
    std::size_t write = kPasswordHeaderSize;
    walk_records([&write](std::size_t offset, std::uint32_t length) {
        if (g_store.image[offset + 12] == 0) return;
        // The write position never passes the read position.
        std::memmove(g_store.image.data() + write, g_store.image.data() + offset, length);
        write += length;
    });
    g_store.used_length = write;
    return save_and_load();
}

Result<void> RewritePasswords(const std::vector<std::uint32_t>& order) {
    if (!IsUnlocked()) return Error{"the passwords are locked"};
    SecureBytes rebuilt(kPasswordHeaderSize, 0);
    for (std::uint32_t offset : order) {
        const RecordBytes record = password_record(offset);
        if (record.empty() || record[12] == 0) continue;
        rebuilt.insert(rebuilt.end(), record.begin(), record.end());
    }
    g_store.used_length = rebuilt.size();
    g_store.image.swap(rebuilt);
    return save_and_load();
}

// ---- records ---------------------------------------------------------------------------------------

RecordBytes password_record(std::uint32_t offset) {
    const std::uint32_t length = frame_length(offset);
    if (length == 0) return {};
    return RecordBytes(g_store.image.data() + offset, length);
}

RecordBytes view_record(int row) {
    if (row < 0 || row >= view_count()) return {};
    return password_record(g_store.view[static_cast<std::size_t>(row)]);
}

int view_count() { return static_cast<int>(g_store.view.size()); }

std::int32_t NewPasswordId() {
    std::int64_t largest = 0;
    std::set<std::int32_t> used;
    for (int row = 0; row < view_count(); ++row) {
        const std::int32_t id = record_id(view_record(row));
        used.insert(id);
        largest = std::max<std::int64_t>(largest, id);
    }
    const std::int64_t next = largest + 1;
    if (next >= 1 && next <= std::numeric_limits<std::int32_t>::max()) return static_cast<std::int32_t>(next);
    std::int32_t free_id = 1;
    while (used.count(free_id) != 0) ++free_id;
    return free_id;
}

void AppendPassword(std::int32_t id, const std::vector<std::string>& fields, unsigned char kept) {
    std::vector<unsigned char> record = build_record(id, fields, kept);
    AppendPasswordRecord(RecordBytes(record.data(), record.size()));
    wipe_bytes(record.data(), record.size());
}

void AppendPasswordRecord(RecordBytes record) {
    // Never into the header, even on an image that was never loaded.
    const std::size_t at = std::max(g_store.used_length, kPasswordHeaderSize);
    if (g_store.image.size() < at + record.size()) g_store.image.resize(at + record.size(), 0);
    std::copy(record.begin(), record.end(), g_store.image.begin() + static_cast<std::ptrdiff_t>(at));
    g_store.used_length = at + record.size();
    g_store.changes.note(static_cast<std::uint32_t>(record_id(record)), false);
}

std::uint64_t password_fingerprint(RecordBytes record) {
    // From the kept byte on: the length and format byte say how the record is kept, not what it holds.
    constexpr std::size_t kContentFrom = 13;
    return record_fingerprint(std::string_view(reinterpret_cast<const char*>(record.data()) + kContentFrom,
                                               record.size() - kContentFrom));
}

void MarkPasswordDeleted(std::uint32_t offset) {
    const RecordBytes record = password_record(offset);
    if (record.empty()) return;
    if (record[12] != kFormatDeleted) {
        g_store.changes.note(static_cast<std::uint32_t>(record_id(record)), true, password_fingerprint(record));
    }
    g_store.image[offset + 12] = kFormatDeleted;
}

}  // namespace domora
