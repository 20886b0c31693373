// A server's multistatus answer and its error bodies: whatever the bytes,
// reading ends in responses or an error, and reading a response at a time
// gives what reading the whole answer does.
#include "fuzz_support.h"
#include "sync/dav_xml.h"

using namespace domora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view xml = fuzz::input_text(data, size);
    const Result<DavMultistatus> whole = parse_multistatus(xml);
    std::vector<std::string> hrefs;
    std::string token;
    const Result<void> each = parse_multistatus_each(xml, [&](DavResponse& r) { hrefs.push_back(r.href); }, token);
    FUZZ_CHECK(whole.ok() == each.ok());
    if (whole) {
        const std::vector<DavResponse>& responses = whole.value().responses;
        FUZZ_CHECK(responses.size() == hrefs.size());
        FUZZ_CHECK(token == whole.value().sync_token);
        for (std::size_t i = 0; i < responses.size(); ++i) {
            FUZZ_CHECK(responses[i].href == hrefs[i]);
            // A key of an href is its own key.
            const std::string key = normalized_href(responses[i].href);
            FUZZ_CHECK(normalized_href(key) == key);
        }
    }
    (void)dav_error_condition(xml);
    return 0;
}
