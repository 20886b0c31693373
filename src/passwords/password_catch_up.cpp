// Catching up with a password file that another program wrote while the
// store was open: it is opened again and the changes not yet written are
// carried over to it by record id.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/password_store.h"

namespace domora {

namespace {

// The offset of the last live record of each id of the image.
std::unordered_map<std::int32_t, std::uint32_t> live_offsets(const SecureBytes& image) {
    std::unordered_map<std::int32_t, std::uint32_t> offsets;
    std::size_t offset = kPasswordHeaderSize;
    while (offset + kPasswordRecordHeaderSize <= image.size()) {
        const unsigned char* p = image.data() + offset;
        const std::uint32_t length = read_u32(p);
        if (std::memcmp(p + 4, "MSRI", 4) != 0 || length < kPasswordRecordHeaderSize || length > image.size() - offset) {
            ++offset;
            continue;
        }
        if (p[12] != kFormatDeleted) offsets[record_id(RecordBytes(p, length))] = static_cast<std::uint32_t>(offset);
        offset += length;
    }
    return offsets;
}

RecordBytes record_in(const SecureBytes& image, std::uint32_t offset) {
    return RecordBytes(image.data() + offset, read_u32(image.data() + offset));
}

// A version of the records, sealed as the store's file is, beside the file.
std::string keep_beside(const std::string& path, SecureBytes& ours, std::size_t ours_used,
                        std::string (*message)(const std::string&, const std::string&)) {
    PasswordStore& store = password_store();
    store.image.swap(ours);
    std::swap(store.used_length, ours_used);
    const std::string copy = dated_copy_path(path, platform().local_now());
    std::string name = copy;
    for (int n = 2; file_exists(name) && n < 100; ++n) name = copy.substr(0, copy.rfind('.')) + " (" + std::to_string(n) + ")" + copy.substr(copy.rfind('.'));
    const Result<void> sealed = SavePasswordsAs(name);
    store.image.swap(ours);
    std::swap(store.used_length, ours_used);
    if (!sealed) {
        show_message("Unable to save the password file||" + name + "|" + sealed.error().message);
        return {};
    }
    status_log_write("Kept Version Beside The File: " + name);
    show_message(message(path, name));
    return name;
}

}  // namespace

Result<void> CatchUpPasswords() {
    PasswordStore& store = password_store();
    const std::string path = store.strong ? app_paths().strong_password_file : app_paths().password_file;
    if (!store.file_known || store.file_path != path || file_identity(path) == store.file) return {};
    status_log_write("Password File Changed By Another Program: " + path);
    SecureBytes ours;
    ours.swap(store.image);
    const std::size_t ours_used = store.used_length;
    const ChangeJournal journal = store.changes;
    const FileIdentity known = store.file;
    const ScopedSecret master{std::string(store.master.view())};
    LoadPasswords();
    if (!IsUnlocked() || !store.read_error.empty() || store.damaged_size != 0 || !store.damage.empty()) {
        // The new file is kept as it is; the session goes on with the user's
        // records, and every later save tries again.
        store.image.swap(ours);
        store.used_length = ours_used;
        store.read_error.clear();
        store.damaged_size = 0;
        store.damage.clear();
        set_master_password(master.text());
        ParsePasswords();
        store.changes = journal;
        store.file = known;
        SecureBytes copy = store.image;
        (void)keep_beside(path, copy, store.used_length, kept_copy_message);
        return Error{"another program changed the password file and it does not open with this master password"};
    }
    const auto mine = live_offsets(ours);
    auto theirs = live_offsets(store.image);
    // The other program's file as read, when it changed a record the user
    // edited or deleted too.
    SecureBytes their_image;
    std::size_t their_used = 0;
    for (const ChangeJournal::Entry& entry : journal.entries()) {
        const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.key));
        const auto in_ours = mine.find(id);
        const auto in_theirs = theirs.find(id);
        if (in_theirs == theirs.end()) continue;
        const Carry carry = carry_change(entry.was_live, in_ours != mine.end(), true);
        const std::uint64_t our_content = in_ours != mine.end() ? password_fingerprint(record_in(ours, in_ours->second)) : 0;
        if (changed_on_both_sides(carry, entry, password_fingerprint(record_in(store.image, in_theirs->second)), our_content)) {
            their_image = store.image;
            their_used = store.used_length;
            break;
        }
    }
    std::int32_t largest = 0;
    for (const auto& [id, offset] : theirs) largest = std::max(largest, id);
    bool lost = false;
    for (const ChangeJournal::Entry& entry : journal.entries()) {
        const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.key));
        const auto in_ours = mine.find(id);
        const auto in_theirs = theirs.find(id);
        switch (carry_change(entry.was_live, in_ours != mine.end(), in_theirs != theirs.end())) {
            case Carry::kNothing: break;
            case Carry::kRemove: MarkPasswordDeleted(in_theirs->second); break;
            case Carry::kLost: lost = true; break;
            case Carry::kReplace:
                MarkPasswordDeleted(in_theirs->second);
                AppendPasswordRecord(record_in(ours, in_ours->second));
                break;
            case Carry::kAdd: {
                const RecordBytes record = record_in(ours, in_ours->second);
                if (in_theirs == theirs.end() || largest == INT32_MAX) {
                    AppendPasswordRecord(record);
                    theirs[id] = 0;
                    largest = std::max(largest, id);
                    break;
                }
                // The other program gave this id to a record of its own.
                SecureBytes renumbered(record.begin(), record.end());
                write_u32(renumbered.data() + 8, static_cast<std::uint32_t>(++largest));
                AppendPasswordRecord(RecordBytes(renumbered.data(), renumbered.size()));
                break;
            }
        }
    }
    ParsePasswords();
    if (lost) (void)keep_beside(path, ours, ours_used, kept_copy_message);
    if (!their_image.empty()) (void)keep_beside(path, their_image, their_used, their_copy_message);
    return {};
}

}  // namespace domora
