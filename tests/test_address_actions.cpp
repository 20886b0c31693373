#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "addresses/address_actions.h"
#include "addresses/address_list.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "ui_fixture.h"

namespace domora {
namespace {

AddressRecord at(const std::string& a1, const std::string& a2, const std::string& city, const std::string& state,
                 const std::string& zip) {
    AddressRecord r;
    r.fields[kFieldFirst] = "Ann";
    r.fields[kFieldAddress1] = a1;
    r.fields[kFieldAddress2] = a2;
    r.fields[kFieldCity] = city;
    r.fields[kFieldState] = state;
    r.fields[kFieldZip] = zip;
    return r;
}

class Actions : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        app_paths().address_file = path("address10.dat");
        map_hosts() = MapHosts{};
        forget_captured_web_addresses();
        // A browser of the test's own, found through $BROWSER.
        write(path("browser"), "#!/bin/sh\n");
        ::chmod(path("browser").c_str(), 0755);
        os.environment["BROWSER"] = path("browser");
        os.environment["PATH"] = dir();
    }
    // Whatever the launcher made of it, the address reached the browser.
    bool opened(const std::string& part) const {
        for (const std::string& url : os.opened_urls) {
            if (url.find(part) != std::string::npos) return true;
        }
        for (const auto& argv : os.started_programs) {
            for (const std::string& word : argv) {
                if (word.find(part) != std::string::npos) return true;
            }
        }
        return false;
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& box : os.message_boxes) out.push_back(box.text);
        return out;
    }
};

// ---- map -------------------------------------------------------------------------------------------

TEST_F(Actions, MapTextsForEachService) {
    const AddressRecord home = at("12  Main St", "Apt 4", "Springfield", "IL", "62701");
    EXPECT_EQ(map_web_address(MapService::Google, home),
              "https://www.google.com/maps/place/12++Main+St,+Apt+4,+Springfield,+IL+62701");
    EXPECT_EQ(map_web_address(MapService::Mapquest, home),
              "https://www.mapquest.com/search/result?query=12  Main St Apt 4,Springfield,IL 62701");
    EXPECT_EQ(map_web_address(MapService::Bing, home),
              "https://www.bing.com/maps/?v=2&where1=12 Main St Apt 4, Springfield, IL 62701");

    const AddressRecord suite = at("", "Suite 5 ", " Boston", "MA ", "02101");
    EXPECT_EQ(map_web_address(MapService::Google, suite), "https://www.google.com/maps/place/,+Suite+5,++Boston,+MA++02101");
    EXPECT_EQ(map_web_address(MapService::Mapquest, suite), "https://www.mapquest.com/search/result?query=Suite 5,Boston,MA 02101");
    EXPECT_EQ(map_web_address(MapService::Bing, at("1\tA\nB", "", "C\x01", "D", "9")),
              "https://www.bing.com/maps/?v=2&where1=1AB , C, D 9")
        << "codes 0 to 10 go, the tab and the line feed too";

    map_hosts().google = "maps.example.org";
    map_hosts().bing = "bing.example.org";
    EXPECT_EQ(map_web_address(MapService::Google, home).rfind("https://maps.example.org/maps/place/", 0), 0u);
    EXPECT_EQ(map_web_address(MapService::Bing, home).rfind("https://bing.example.org/maps/?v=2&where1=", 0), 0u);
}

TEST_F(Actions, OnlyCompleteAddressesCanBeMapped) {
    EXPECT_TRUE(address_can_be_mapped(at("", "Suite 5", "Boston", "MA", "02101"))) << "Address 2 alone will do";
    EXPECT_TRUE(address_can_be_mapped(at("1 Main St", "", "Boston", "MA", "02101")));
    EXPECT_FALSE(address_can_be_mapped(at("1 Main St", "", "Boston", "", "02101")));
    EXPECT_FALSE(address_can_be_mapped(at("", " ", "Boston", "MA", "02101")));
    EXPECT_FALSE(address_can_be_mapped(at("1 Main St", "", "Boston", "MA", "")));
}

TEST_F(Actions, TheMapButtonChecksTheRecordAndOpensTheChosenService) {
    AddressStore store;
    ASSERT_TRUE(store.load().ok());
    map_current_address(store);
    store.append_record(1, 0, at("1 Main St", "", "Boston", "", "02101").fields);
    store.append_record(2, 0, at("2 Main St", "", "Boston", "MA", "02101").fields);
    store.set_current(5);
    map_current_address(store);
    store.set_current(0);
    map_current_address(store);
    EXPECT_EQ(messages(), (std::vector<std::string>{"There are no addresses to map", "No Record Selected",
                                                    "The current record has an incomplete address"}));

    store.set_current(1);
    os.push_key(kKeyDown);
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    map_current_address(store);
    EXPECT_TRUE(opened("/maps/?v=2&where1=")) << "the third service";
    EXPECT_FALSE(opened("/maps/place/"));

    main_window().quit_requested = false;
    os.opened_urls.clear();
    os.started_programs.clear();
    map_current_address(store);  // the window closes with the dialog open
    EXPECT_FALSE(opened("Main")) << "no choice, no map";
}

// ---- the clipboard ---------------------------------------------------------------------------------

TEST_F(Actions, FileToClipboardCopiesTheTextOrSaysWhatIsWrong) {
    File_to_Clipboard(path("missing.txt"));
    write(path("empty.txt"), "");
    File_to_Clipboard(path("empty.txt"));
    EXPECT_EQ(messages(), (std::vector<std::string>{"File_to_Clipboard\r\n" + path("missing.txt") + "\r\nis missing",
                                                    "File_to_Clipboard\r\n" + path("empty.txt") + "\r\nis empty"}));
    write(path("list.txt"), "a@b.com\r\nc@d.com\r\n");
    File_to_Clipboard(path("list.txt"));
    EXPECT_EQ(os.clipboard, "a@b.com\r\nc@d.com\r\n");
    write(path("zero.txt"), std::string("text\0more", 9));
    File_to_Clipboard(path("zero.txt"));
    EXPECT_EQ(os.clipboard, "text") << "clipboard text ends at a zero byte";
}

TEST_F(Actions, CopiedWebAddressesAreRecognised) {
    EXPECT_EQ(web_address_in("  www.example.com/page is great"), "http://www.example.com/page");
    EXPECT_EQ(web_address_in("https://shop.example.com\r\n"), "https://shop.example.com");
    EXPECT_EQ(web_address_in("HTTP://EXAMPLE.COM"), "HTTP://EXAMPLE.COM");
    EXPECT_EQ(web_address_in(std::string("www.a.com\0junk", 14)), "http://www.a.com");
    EXPECT_EQ(web_address_in("just some words"), "");
    EXPECT_EQ(web_address_in(""), "");
    EXPECT_EQ(web_address_in("ftp://files.example.com"), "");
}

TEST_F(Actions, CaptureDingsOnceForANewAddressWhileInTheBackground) {
    install_web_address_capture();
    os.foreground = false;
    auto copy = [&](const std::string& text) {
        os.clipboard = text;
        os.push(EventKind::ClipboardChanged);
        pump_message(true);
    };
    copy("www.example.com and more");
    EXPECT_EQ(os.played_sounds, (std::vector<std::string>{"DING"}));
    copy("WWW.EXAMPLE.COM");
    copy("http://www.Example.com");
    EXPECT_EQ(os.played_sounds.size(), 1u) << "the same address in any letter case";
    copy("not an address");
    EXPECT_EQ(os.played_sounds.size(), 1u);
    os.foreground = true;
    copy("https://other.example.com");
    EXPECT_EQ(os.played_sounds.size(), 1u) << "no sound while the program is in front";
    EXPECT_EQ(captured_web_addresses(), (std::vector<std::string>{"http://www.example.com", "https://other.example.com"}));
    set_clipboard_handler(nullptr);
}

}  // namespace
}  // namespace domora
