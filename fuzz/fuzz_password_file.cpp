// The password file, twice over. As it stands: the header check and the
// fall-back to the default password never open a damaged file, and never
// offer first use over one. As plaintext encrypted under the password its
// own header names: the records parse inside the image, a load, save and
// load keeps them, and an append never loses one that was shown.
#include <algorithm>
#include <vector>

#include "app/startup.h"
#include "app/text.h"
#include "fuzz_support.h"
#include "passwords/aes/aes.h"
#include "passwords/password_store.h"

using namespace domora;

namespace {

std::string encrypted(std::string plain, const std::string& password) {
    plain.resize(std::max<std::size_t>(kPasswordHeaderSize, (plain.size() + 15) / 16 * 16), '\0');
    const auto key = master_key(password);
    aes::KeySchedule schedule;
    aes::set_key(schedule, key.data(), key.size());
    aes::encrypt_ecb(schedule, reinterpret_cast<unsigned char*>(plain.data()), plain.size());
    return plain;
}

void as_file(const std::string& file, std::string_view bytes) {
    fuzz::write_scratch(file, bytes);
    reset_password_store();
    set_master_password("open sesame");
    LoadPasswords();
    if (!bytes.empty() && (bytes.size() < kPasswordHeaderSize || bytes.size() % 16 != 0)) {
        FUZZ_CHECK(password_store().damaged_size == bytes.size());
        FUZZ_CHECK(!IsUnlocked());
        FUZZ_CHECK(!IsFirstUse());
        FUZZ_CHECK(!SavePasswords());
        FUZZ_CHECK(fuzz::read_scratch(file) == bytes);
        return;
    }
    if (bytes.empty()) FUZZ_CHECK(IsFirstUse());
    if (!bytes.empty()) FUZZ_CHECK(!IsFirstUse());
    (void)fuzz::shown_passwords();
}

void as_plaintext(const std::string& file, std::string_view bytes) {
    if (bytes.empty()) return;
    const std::string plain(bytes);
    const std::string password = trim(std::string_view(plain).substr(1, std::min<std::size_t>(
                                                                          static_cast<unsigned char>(plain[0]), plain.size() - 1)));
    if (password.empty()) return;
    fuzz::write_scratch(file, encrypted(plain, password));
    reset_password_store();
    set_master_password(password);
    LoadPasswords();
    if (!IsUnlocked()) {
        // Only a header whose length byte runs past the image can fail here.
        return;
    }
    const std::vector<std::string> before = fuzz::shown_passwords();

    FUZZ_CHECK(SavePasswords().ok());
    LoadPasswords();
    FUZZ_CHECK(IsUnlocked());
    FUZZ_CHECK(fuzz::shown_passwords() == before);

    std::vector<std::string> fields(kPasswordFieldCount);
    fields[0] = "Zed";
    fields[1] = "Fuzz: yes";
    const std::int32_t id = NewPasswordId();
    FUZZ_CHECK(id >= 1);
    AppendPassword(id, fields);
    ParsePasswords();
    FUZZ_CHECK(view_count() == static_cast<int>(before.size()) + 1);
    FUZZ_CHECK(SavePasswords().ok());
    LoadPasswords();
    FUZZ_CHECK(IsUnlocked());
    const std::vector<std::string> after = fuzz::shown_passwords();
    FUZZ_CHECK(after.size() == before.size() + 1);
    FUZZ_CHECK(std::equal(before.begin(), before.end(), after.begin()));
    FUZZ_CHECK(record_id(view_record(view_count() - 1)) == id);
    FUZZ_CHECK(record_fields(view_record(view_count() - 1)).at(0) == "Zed");

    // Compacting keeps them too.
    FUZZ_CHECK(CompactPasswords().ok());
    FUZZ_CHECK(fuzz::shown_passwords() == after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string file = fuzz::scratch_path("password10.dat");
    app_paths().password_file = file;
    as_file(file, fuzz::input_text(data, size));
    as_plaintext(file, fuzz::input_text(data, size));
    reset_password_store();
    return 0;
}
