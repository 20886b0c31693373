// vCard import: any text gives records that fit the address file.
#include "addresses/address_import.h"
#include "fuzz_limits.h"

using namespace domora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::fuzz_platform();
    std::vector<AddressFields> cards = parse_vcards(import_text(std::string(fuzz::input_text(data, size))));
    for (AddressFields& card : cards) {
        fit_to_record(card);
        fuzz::check_importable(card);
    }
    return 0;
}
