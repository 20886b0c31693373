// The settings file: any bytes load without harm, and what the loader made
// of them is written and read back to the same settings.
#include "app/settings.h"
#include "fuzz_support.h"

using namespace domora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string file = fuzz::scratch_path("setup313.dat");
    const Rect area{0, 0, 1920, 1040};
    settings_set_path(file);
    fuzz::write_scratch(file, fuzz::input_text(data, size));
    load_settings(area);
    const Settings loaded = settings();

    // Every entry the reader slides over stays inside the bytes.
    std::size_t position = 0;
    std::string name, value;
    const std::string_view bytes = fuzz::input_text(data, size);
    while (position < bytes.size()) {
        const std::size_t from = position;
        read_settings_entry(bytes, position, name, value);
        FUZZ_CHECK(position > from);
    }

    // Written and read again, the settings are the same, and so is the text.
    const std::string written = format_settings(loaded, 1);
    Settings reread = default_settings(area);
    parse_settings(written, reread);
    FUZZ_CHECK(format_settings(reread, 1) == written);
    settings_set_path("");
    return 0;
}
