// The strong password file, twice over. As it stands: the header reader
// never reads past the bytes and accepts only what its limits allow; what
// it accepts never opens without the right key; a header it refuses is
// damaged, never offered as a new store and never written over. As an
// image sealed under the key the store holds: the records parse, and a
// save and load keeps them, an append too.
#include <algorithm>
#include <vector>

#include "app/startup.h"
#include "fuzz_support.h"
#include "passwords/key_cost.h"
#include "passwords/password_store.h"
#include "passwords/strong_file.h"

using namespace domora;

namespace {

const char* const kMaster = "open sesame";
const KdfCost kCost{kMinKdfMemoryKib, 1, 1};
const StrongSalt kSalt{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

KdfCost tiny() { return kCost; }

const SecureBytes& fuzz_key() {
    static const SecureBytes key = [] {
        SecureBytes k(kStrongKeySize, 0);
        FUZZ_CHECK(derive_strong_key(kMaster, kCost, kSalt, k.data()).ok());
        return k;
    }();
    return key;
}

void as_file(const std::string& file, std::string_view bytes) {
    const Result<StrongHeader> header = read_strong_header(bytes);
    if (header) {
        const StrongHeader& h = header.value();
        FUZZ_CHECK(h.cost.memory_kib >= kMinKdfMemoryKib && h.cost.memory_kib <= kMaxKdfMemoryKib);
        FUZZ_CHECK(h.cost.passes >= kMinKdfPasses && h.cost.passes <= kMaxKdfPasses);
        FUZZ_CHECK(h.image_length % 16 == 0 && h.image_length >= kMinStrongImage);
        FUZZ_CHECK(bytes.size() == kStrongHeaderSize + h.image_length + kStrongTagSize);
        SecureBytes image;
        FUZZ_CHECK(!open_strong_file(bytes, h, fuzz_key().data(), image));
        FUZZ_CHECK(image.empty());
        // Opening it through the store would derive a key at whatever cost it names.
        return;
    }
    fuzz::write_scratch(file, bytes);
    // The held key stays: a refused header never gets as far as deriving one.
    if (master_password() != kMaster) set_master_password(kMaster);
    LoadPasswords();
    FUZZ_CHECK(!password_store().damage.empty());
    FUZZ_CHECK(!IsUnlocked());
    FUZZ_CHECK(!IsFirstUse());
    FUZZ_CHECK(!SavePasswords());
    FUZZ_CHECK(fuzz::read_scratch(file) == bytes);
}

void as_image(const std::string& file, std::string_view bytes) {
    SecureBytes image(bytes.begin(), bytes.end());
    image.resize(std::max<std::size_t>(256, (image.size() + 15) / 16 * 16), 0);
    fuzz::write_scratch(file, seal_strong_file(kCost, kSalt, fuzz_key().data(), image.data(), image.size()));
    // The store keeps the key it derived for this salt and cost: no derivation after the first input.
    if (master_password() != kMaster) set_master_password(kMaster);
    LoadPasswords();
    FUZZ_CHECK(IsUnlocked());
    const std::vector<std::string> before = fuzz::shown_passwords();

    FUZZ_CHECK(SavePasswords().ok());
    LoadPasswords();
    FUZZ_CHECK(IsUnlocked());
    FUZZ_CHECK(fuzz::shown_passwords() == before);
    FUZZ_CHECK(password_store().key_salt == kSalt);

    std::vector<std::string> fields(kPasswordFieldCount);
    fields[0] = "Zed";
    const std::int32_t id = NewPasswordId();
    FUZZ_CHECK(id >= 1);
    AppendPassword(id, fields);
    FUZZ_CHECK(CompactPasswords().ok());
    const std::vector<std::string> after = fuzz::shown_passwords();
    FUZZ_CHECK(after.size() == before.size() + 1);
    FUZZ_CHECK(std::equal(before.begin(), before.end(), after.begin()));
    FUZZ_CHECK(record_id(view_record(view_count() - 1)) == id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string file = fuzz::scratch_path("password20.dat");
    app_paths().password_file = fuzz::scratch_path("password10.dat");
    app_paths().strong_password_file = file;
    set_cost_chooser(tiny);
    as_file(file, fuzz::input_text(data, size));
    as_image(file, fuzz::input_text(data, size));
    return 0;
}
