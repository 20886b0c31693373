// Vehicle photos: recognising and decoding stored photo bytes, converting
// pictures through the real codecs, and Import Photo and Delete Photo on
// the vehicle menu, down to the photo drawn in the Vehicles screen's frame.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "platform/headless/headless_image.h"
#include "platform/image.h"
#include "platform/qt/qt_image.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "ui_fixture.h"
#include "vehicle_fixtures.h"
#include "vehicles/vehicle_photo.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_screen.h"
#include "vehicles/vehicle_store.h"

namespace domora {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

using test::bitmap_file;
using test::put16;
using test::put32;

// Close enough to a pure colour after JPEG compression.
bool near(std::uint32_t got, std::uint32_t want) {
    for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((got >> shift) & 0xFF), b = static_cast<int>((want >> shift) & 0xFF);
        if (std::abs(a - b) > 48) return false;
    }
    return true;
}

std::uint32_t at(const Picture& p, int x, int y) { return p.pixels[static_cast<std::size_t>(y * p.width + x)]; }

// ---- stored bytes ----------------------------------------------------------------------------------------

TEST(PhotoBytes, OnlyJfifJpegPngAndBitmapFilesAreRecognised) {
    EXPECT_EQ(photo_format(std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11)), PhotoFormat::Jpeg);
    EXPECT_EQ(photo_format("\x89PNG\r\n\x1A\n"), PhotoFormat::Png);
    EXPECT_EQ(photo_format("BM"), PhotoFormat::Bitmap);
    EXPECT_EQ(photo_format(std::string("\xFF\xD8\xFF\xE1\x00\x10" "Exif\x00\x00", 12)), PhotoFormat::None) << "camera JPEG";
    EXPECT_EQ(photo_format("GIF89a"), PhotoFormat::None);
    EXPECT_EQ(photo_format(""), PhotoFormat::None);
    EXPECT_EQ(photo_format("B"), PhotoFormat::None);
    EXPECT_EQ(photo_format("\x89PN"), PhotoFormat::None);
}

TEST(PhotoBytes, PicturesAreCutAroundTheirMiddleToFourByThree) {
    const auto crop = [](int w, int h) {
        const CropArea a = crop_to_aspect(w, h, 400, 300);
        return std::vector<int>{a.x, a.y, a.width, a.height};
    };
    EXPECT_EQ(crop(1600, 1200), (std::vector<int>{0, 0, 1600, 1200})) << "already 4:3: the whole picture";
    EXPECT_EQ(crop(1200, 1600), (std::vector<int>{0, 350, 1200, 900})) << "portrait: its middle band";
    EXPECT_EQ(crop(2000, 1000), (std::vector<int>{333, 0, 1333, 1000})) << "wide: its middle";
    // Narrower than 4:3 but still landscape: the band would be wider than the
    // picture, so it loses top and bottom instead of being stretched.
    EXPECT_EQ(crop(1100, 1000), (std::vector<int>{0, 87, 1100, 825}));
    EXPECT_EQ(crop(1000, 1000), (std::vector<int>{0, 125, 1000, 750}));
    EXPECT_EQ(crop(1, 1000), (std::vector<int>{0, 499, 1, 1})) << "never an empty area";
    int w = 0, h = 0;
    fit_without_crop(1200, 1600, 400, 300, w, h);
    EXPECT_EQ(std::vector<int>({w, h}), (std::vector<int>{225, 300}));
    fit_without_crop(200, 100, 400, 300, w, h);
    EXPECT_EQ(std::vector<int>({w, h}), (std::vector<int>{200, 100})) << "never enlarged";
}

TEST(PhotoBytes, TheEncoderFollowsTheExtension) {
    EXPECT_EQ(encoder_mime_type("jpg"), "image/jpeg");
    EXPECT_EQ(encoder_mime_type("JPEG"), "image/jpeg");
    EXPECT_EQ(encoder_mime_type("Png"), "image/png");
    EXPECT_EQ(encoder_mime_type("tif"), "image/tiff");
    EXPECT_EQ(encoder_mime_type("wmf"), "image/x-wmf");
    EXPECT_EQ(encoder_mime_type("txt"), "");
    EXPECT_EQ(encoder_mime_type(""), "");
}

TEST(PhotoBytes, BitmapFilesAreReadInEveryCommonDepth) {
    Picture p;
    // 3 x 2, 24 bits, bottom-up with padded rows.
    ASSERT_TRUE(decode_photo(bitmap_file(3, 2, [](int x, int y) { return y == 0 ? (x == 0 ? kRed : kGreen) : kBlue; }), p));
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(p.height, 2);
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{kRed, kGreen, kGreen, kBlue, kBlue, kBlue}));

    // 8 bits with a two-colour palette, stored top-down (negative height).
    std::string s = "BM";
    put32(s, 0);
    put32(s, 0);
    put32(s, 14 + 40 + 8);
    put32(s, 40);
    put32(s, 2);
    put32(s, static_cast<std::uint32_t>(-2));
    put16(s, 1);
    put16(s, 8);
    put32(s, 0);
    put32(s, 0);
    put32(s, 0);
    put32(s, 0);
    put32(s, 2);
    put32(s, 0);
    put32(s, 0x00FF0000);  // palette: red, then blue (B, G, R, 0)
    put32(s, 0x000000FF);
    s += std::string("\x00\x01\x00\x00\x01\x07\x00\x00", 8);  // index 7 is past the palette: black
    ASSERT_TRUE(decode_bitmap_file(s, p));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{kRed, kBlue, kBlue, 0}));

    // 16 bits, 5-5-5.
    std::string t = bitmap_file(1, 1, [](int, int) { return 0u; });
    t[28] = 16;
    t.resize(54);
    put32(t, 0x7C00);  // pure red, then padding
    ASSERT_TRUE(decode_bitmap_file(t, p));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{kRed}));
}

TEST(PhotoBytes, DamagedBitmapFilesAreNotShownAndNeverReadPastTheirEnd) {
    const std::string good = bitmap_file(8, 8, [](int, int) { return kRed; });
    Picture p;
    ASSERT_TRUE(decode_photo(good, p));
    // Cut anywhere: the pixels no longer fit.
    for (std::size_t cut : {2u, 14u, 20u, 53u, 54u, 100u, static_cast<unsigned>(good.size() - 1)}) {
        EXPECT_FALSE(decode_photo(good.substr(0, cut), p)) << cut;
        EXPECT_TRUE(p.empty());
    }
    const auto patched = [&](std::size_t offset, std::uint32_t value) {
        std::string s = good;
        std::string v;
        put32(v, value);
        s.replace(offset, 4, v);
        return s;
    };
    EXPECT_FALSE(decode_photo(patched(18, 0x7FFFFFFF), p)) << "a width asking for gigabytes";
    EXPECT_FALSE(decode_photo(patched(22, 0x80000000), p)) << "the most negative height";
    EXPECT_FALSE(decode_photo(patched(18, 0), p)) << "no width";
    EXPECT_FALSE(decode_photo(patched(14, 0xFFFFFFF0), p)) << "an info header longer than the file";
    EXPECT_FALSE(decode_photo(patched(10, 0xFFFFFFF0), p)) << "pixels past the end";
    EXPECT_FALSE(decode_photo(patched(30, 1), p)) << "run-length encoded";
    std::string odd_depth = good;
    odd_depth[28] = 7;
    EXPECT_FALSE(decode_photo(odd_depth, p));
}

// ---- the real codecs --------------------------------------------------------------------------------------

class PhotoCodecs : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        m_codecs = make_qt_image_service();
        set_image_service(m_codecs.get());
    }
    void TearDown() override {
        set_image_service(nullptr);
        DomoraTest::TearDown();
    }
    // The picture converted as an import converts it, decoded again.
    Picture converted(const std::string& source_bytes, const std::string& name = "source.bmp") {
        write(path(name), source_bytes);
        EXPECT_EQ(image_service().resize_image(path(name), path("test.jpg"), 400, 300, 75, true), "");
        const std::string stored = read(path("test.jpg"));
        EXPECT_EQ(photo_format(stored), PhotoFormat::Jpeg) << "the JFIF marker is there";
        Picture p;
        EXPECT_TRUE(decode_photo(stored, p));
        EXPECT_EQ(p.width, 400);
        EXPECT_EQ(p.height, 300);
        return p;
    }
    std::unique_ptr<ImageService> m_codecs;
};

TEST_F(PhotoCodecs, ALandscapePictureKeepsAllOfItselfAndAPortraitItsMiddleBand) {
    // Left half red, right half blue: both halves survive.
    Picture p = converted(bitmap_file(1600, 1200, [](int x, int) { return x < 800 ? kRed : kBlue; }));
    if (p.empty()) return;
    EXPECT_TRUE(near(at(p, 5, 5), kRed));
    EXPECT_TRUE(near(at(p, 190, 295), kRed));
    EXPECT_TRUE(near(at(p, 210, 5), kBlue));
    EXPECT_TRUE(near(at(p, 395, 295), kBlue));

    // Green above row 350 and below row 1250: only the red band between is kept.
    p = converted(bitmap_file(1200, 1600, [](int, int y) { return y < 350 || y >= 1250 ? kGreen : kRed; }));
    if (p.empty()) return;
    for (int y : {0, 150, 299}) {
        for (int x : {0, 200, 399}) EXPECT_TRUE(near(at(p, x, y), kRed)) << x << "," << y;
    }

    // Narrower than 4:3: top and bottom go, nothing is stretched.
    p = converted(bitmap_file(1100, 1000, [](int, int y) { return y < 87 || y >= 912 ? kGreen : kRed; }));
    if (p.empty()) return;
    for (int y : {0, 299}) {
        for (int x : {0, 399}) EXPECT_TRUE(near(at(p, x, y), kRed)) << x << "," << y;
    }
}

// The bytes of a JPEG with an EXIF block saying "turn 90 degrees clockwise".
std::string with_exif_orientation_6(const std::string& jpeg) {
    std::string tiff = std::string("MM\x00\x2A\x00\x00\x00\x08", 8);  // big-endian, first directory at 8
    tiff += std::string("\x00\x01", 2);                                  // one entry
    tiff += std::string("\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00", 12);  // Orientation, SHORT, 1, 6
    tiff += std::string("\x00\x00\x00\x00", 4);                          // no next directory
    const std::string body = std::string("Exif\x00\x00", 6) + tiff;
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>(((body.size() + 2) >> 8) & 0xFF);
    segment += static_cast<char>((body.size() + 2) & 0xFF);
    return jpeg.substr(0, 2) + segment + body + jpeg.substr(2);
}

TEST_F(PhotoCodecs, ACameraPictureIsStoredTheWayUpItWasTaken) {
    // As the sensor saw it: landscape, left half red, right half blue. The
    // camera says to turn it clockwise, which puts red on top.
    write(path("sensor.bmp"), bitmap_file(160, 120, [](int x, int) { return x < 80 ? kRed : kBlue; }));
    ASSERT_EQ(image_service().resize_image(path("sensor.bmp"), path("sensor.jpg"), 160, 120, 95, false), "");
    const std::string camera = with_exif_orientation_6(read(path("sensor.jpg")));
    const Picture p = converted(camera, "camera.jpg");
    if (p.empty()) return;
    EXPECT_TRUE(near(at(p, 200, 10), kRed));
    EXPECT_TRUE(near(at(p, 200, 290), kBlue));
    EXPECT_TRUE(near(at(p, 10, 10), kRed)) << "not lying on its side";
    EXPECT_TRUE(near(at(p, 390, 290), kBlue));
}

TEST_F(PhotoCodecs, WhatCannotBeReadOrWrittenSaysWhich) {
    write(path("a.bmp"), bitmap_file(40, 30, [](int, int) { return kGreen; }));
    write(path("junk.jpg"), "not a picture at all");
    ImageService& codecs = image_service();
    EXPECT_EQ(codecs.resize_image(path("none.png"), path("out.jpg"), 400, 300, 75, true),
              "Resize Image Failed - GdipLoadImageFromFile - " + path("none.png"));
    EXPECT_EQ(codecs.resize_image(path("junk.jpg"), path("out.jpg"), 400, 300, 75, true),
              "Resize Image Failed - GdipLoadImageFromFile - " + path("junk.jpg"));
    EXPECT_EQ(codecs.resize_image(path("a.bmp"), path("out.txt"), 400, 300, 75, true), "Resize Image Failed - Extension: txt");
    EXPECT_EQ(codecs.resize_image(path("a.bmp"), path("out.emf"), 400, 300, 75, true), "Resize Image Failed - Extension: emf");
    EXPECT_EQ(codecs.resize_image(path("a.bmp"), path("missing/out.jpg"), 400, 300, 75, true),
              "Resize Image Failed - Failed File Save: " + path("missing/out.jpg"));
    // PNG and bitmap targets are written in their own formats.
    EXPECT_EQ(codecs.resize_image(path("a.bmp"), path("out.png"), 400, 300, 75, false), "");
    EXPECT_EQ(photo_format(read(path("out.png"))), PhotoFormat::Png);
    Picture p;
    ASSERT_TRUE(decode_photo(read(path("out.png")), p));
    EXPECT_EQ(std::vector<int>({p.width, p.height}), (std::vector<int>{40, 30})) << "not enlarged without cropping";
    EXPECT_EQ(codecs.resize_image(path("a.bmp"), path("out.BMP"), 400, 300, 75, true), "");
    ASSERT_TRUE(decode_photo(read(path("out.BMP")), p)) << "read by our own bitmap reader";
    EXPECT_EQ(std::vector<int>({p.width, p.height}), (std::vector<int>{400, 300}));
}

TEST_F(PhotoCodecs, ATruncatedStoredPhotoIsNoPhotoOrWhatIsLeftOfIt) {
    const Picture whole = converted(bitmap_file(400, 300, [](int x, int) { return x < 200 ? kRed : kBlue; }));
    const std::string stored = read(path("test.jpg"));
    Picture p;
    // Cut inside its headers: nothing to show.
    for (std::size_t cut : {11u, 40u, 150u}) {
        EXPECT_FALSE(decode_photo(stored.substr(0, cut), p)) << cut;
        EXPECT_TRUE(p.empty());
    }
    // Cut inside the picture data: never more than the photo's own size.
    for (std::size_t cut = 200; cut < stored.size(); cut += stored.size() / 7) {
        if (decode_photo(stored.substr(0, cut), p)) {
            EXPECT_EQ(p.width, 400);
            EXPECT_EQ(p.height, 300);
            EXPECT_EQ(p.pixels.size(), 400u * 300u);
        }
    }
    // Bytes that only claim to be a JPEG.
    EXPECT_FALSE(decode_photo(std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + std::string(500, '\x55'), p));
}

// ---- import and delete on the vehicle menu -------------------------------------------------------------------

// A Honda Civic with the photo bytes given, and its oil change of 7 March 2024.
std::string vehicle_chunk(int id, const std::string& photo) { return test::vehicle_chunk(id, "Honda", photo); }

std::string service_chunk(int record_id) { return test::service_chunk(1, record_id, 7, 1986718, 45500, "Oil change"); }

// A scripted converter that also notes who could read its target.
class WatchedImages : public HeadlessImageService {
public:
    unsigned target_mode = 0;
    std::string resize_image(const std::string& source, const std::string& target, int width, int height, int quality,
                             bool crop) override {
        struct stat st {};
        if (::stat(target.c_str(), &st) == 0) target_mode = st.st_mode & 0777;
        return HeadlessImageService::resize_image(source, target, width, height, quality, crop);
    }
};

class VehiclePhoto : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        status_log_set_path(path("status.log"));
        app_paths().data_folder = dir();
        app_paths().vehicle_file = path("vehicle11.dat");
        clear_field_buffer();
        popup_list() = PopupList{};
        vehicle_manager() = VehicleManager{};
        vehicle_manager().store.set_path(path("vehicle11.dat"));
        settings().vehicle_id = 1;
        settings().import_path = dir();
        set_image_service(&images);
    }
    void TearDown() override {
        set_image_service(nullptr);
        vehicle_manager() = VehicleManager{};
        UiTest::TearDown();
    }
    VehicleManager& m() { return vehicle_manager(); }
    void load(const std::string& file) {
        write(path("vehicle11.dat"), file);
        m().store.load();
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : os.message_boxes) texts.push_back(box.text);
        return texts;
    }
    WidgetRecord browser_button(int id) {
        return widget_of(id, [this] {
            std::string folder = dir(), name;
            int result = 0;
            BrowseForFile("Locate JPG, PNG, GIF, or BMP Graphic for Photo", folder, name, result);
        });
    }
    // The name typed into the browser's field, then OK.
    void choose_file(const std::string& name) {
        const WidgetRecord ok = browser_button(750);
        os.push_key(kKeyEnd);
        for (int i = 0; i < 40; ++i) os.push_key(kKeyBack);
        os.push_text(name);
        click(ok);
    }
    // The typed answer to the YES question, then OK or Cancel.
    void answer(const std::string& typed, bool ok = true) {
        const WidgetRecord button = widget_of(kFirstButtonId + (ok ? 0 : 1), [] {
            clear_field_buffer();
            set_field_text(0, "", 79);
            int result = 0;
            ShowPopup("Type 'YES' to delete the photo from this vehicle", "", 1, "OK|Cancel", 20 + 100, result);
        });
        os.push_text(typed);
        click(button);
    }
    std::string stored_photo() { return m().store.current_vehicle()->photo; }

    WatchedImages images;
};

TEST_F(VehiclePhoto, AnImportedPictureBecomesTheVehiclesPhoto) {
    load(vehicle_chunk(1, "") + service_chunk(5));
    write(path("car.png"), "the user's picture");
    choose_file("car.png");
    import_vehicle_photo(m());
    again();
    ASSERT_EQ(images.resize_calls.size(), 1u);
    const HeadlessImageService::ResizeCall& call = images.resize_calls[0];
    EXPECT_EQ(call.source, path("car.png"));
    EXPECT_EQ(call.target, path("test.jpg"));
    EXPECT_EQ(std::vector<int>({call.width, call.height, call.quality, call.crop ? 1 : 0}), (std::vector<int>{400, 300, 75, 1}));
    EXPECT_EQ(images.target_mode, 0600u) << "the scratch picture is the owner's alone";
    EXPECT_FALSE(std::filesystem::exists(path("test.jpg"))) << "and gone after the import";
    EXPECT_EQ(stored_photo(), images.resize_output);
    EXPECT_TRUE(m().store.is_selected(0)) << "the current record is selected";
    // The file holds the vehicle once, with the same ids and texts, and its record.
    m().store.load();
    ASSERT_EQ(m().store.vehicles().size(), 1u);
    const VehicleInfo car = *m().store.current_vehicle();
    EXPECT_EQ(std::vector<std::string>({car.year, car.make, car.model, car.vin, car.license}),
              (std::vector<std::string>{"2020", "Honda", "Civic", "JH4KA", "ABC 123"}));
    EXPECT_EQ(car.record_id, 1);
    EXPECT_EQ(car.photo, images.resize_output);
    EXPECT_EQ(m().store.record_count(), 1);
    EXPECT_TRUE(messages().empty());
}

TEST_F(VehiclePhoto, ImportStopsQuietlyOnCancelAndSaysSoWhenThePictureCannotBeRead) {
    EXPECT_EQ(m().store.vehicles().size(), 0u);
    import_vehicle_photo(m());
    delete_vehicle_photo(m());
    EXPECT_EQ(messages(), std::vector<std::string>(2, "Add a Vehicle First"));
    os.message_boxes.clear();

    const std::string file = vehicle_chunk(1, "");
    load(file);
    click(browser_button(751));
    import_vehicle_photo(m());
    again();
    choose_file("nothing-here.jpg");
    import_vehicle_photo(m());
    again();
    EXPECT_TRUE(images.resize_calls.empty());

    write(path("broken.jpg"), "x");
    images.resize_failure = "Resize Image Failed - GdipLoadImageFromFile - " + path("broken.jpg");
    choose_file("broken.jpg");
    import_vehicle_photo(m());
    again();
    EXPECT_EQ(messages(), std::vector<std::string>{"Error Loading Vehicle Photo\r\n\r\nbroken.jpg: not a picture this program reads"});
    const std::vector<std::string> log = log_lines(path("status.log"));
    EXPECT_NE(std::find(log.begin(), log.end(), images.resize_failure), log.end());
    EXPECT_EQ(read(path("vehicle11.dat")), file) << "the vehicle is unchanged";
    EXPECT_FALSE(std::filesystem::exists(path("test.jpg")));

    // A converter that wrote something no photo reader knows is no better.
    images.resize_failure.clear();
    images.resize_output = "GIF89a";
    choose_file("broken.jpg");
    import_vehicle_photo(m());
    EXPECT_EQ(messages().size(), 2u);
    EXPECT_EQ(read(path("vehicle11.dat")), file);
}

TEST_F(VehiclePhoto, TheErrorNamesTheFileAndWhyNothingIsConvertedThen) {
    const std::string file = vehicle_chunk(1, "");
    load(file);
    write(path("big.png"), "p");
    write(path("notes.jpg"), "n");
    write(path("locked.gif"), "g");
    images.picture_width = 10000;  // 50 million pixels
    images.picture_height = 5000;
    choose_file("big.png");
    import_vehicle_photo(m());
    again();
    images.picture_width = 1600;
    images.known_picture = false;
    choose_file("notes.jpg");
    import_vehicle_photo(m());
    again();
    images.known_picture = true;
    os.fail_opens("locked.gif");
    choose_file("locked.gif");
    import_vehicle_photo(m());
    again();
    os.clear_faults();
    EXPECT_EQ(messages(), (std::vector<std::string>{"Error Loading Vehicle Photo\r\n\r\nbig.png: too large",
                                                     "Error Loading Vehicle Photo\r\n\r\nnotes.jpg: not a picture this program reads",
                                                     "Error Loading Vehicle Photo\r\n\r\nlocked.gif: cannot be read"}));
    EXPECT_TRUE(images.resize_calls.empty()) << "none of them reached the converter";
    EXPECT_EQ(read(path("vehicle11.dat")), file);
}

TEST_F(VehiclePhoto, TheBrowserListsPicturesOnlyAndTheNextImportStartsInTheirFolder) {
    load(vehicle_chunk(1, "") + service_chunk(5));
    std::filesystem::create_directories(path("photos/trips"));
    write(path("photos/car.JPG"), "j");
    write(path("photos/notes.txt"), "t");
    settings().import_path = path("photos/trips/");
    const WidgetRecord ok = browser_button(750);
    // No row is highlighted at first; the root and home come first, then "..": up into photos, where the picture is.
    for (int i = 0; i < 3; ++i) os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    os.push_text("car.JPG");
    click(ok);
    os.drawn_texts.clear();
    import_vehicle_photo(m());
    again();
    const auto drawn = [&](const std::string& text) {
        return std::any_of(os.drawn_texts.begin(), os.drawn_texts.end(), [&](const auto& t) { return t.text == text; });
    };
    EXPECT_TRUE(drawn("car.JPG"));
    EXPECT_TRUE(drawn("trips")) << "folders are listed to walk through";
    EXPECT_FALSE(drawn("notes.txt"));
    ASSERT_EQ(images.resize_calls.size(), 1u);
    EXPECT_EQ(images.resize_calls[0].source, path("photos/car.JPG"));
    EXPECT_EQ(settings().import_path, path("photos/"));
    EXPECT_NE(read(path("setup313.dat")).find(path("photos/")), std::string::npos) << "and saved at once";
}

TEST_F(VehiclePhoto, ThePhotoGoesOnlyOnYesWithOk) {
    const std::string photo = bitmap_file(4, 3, [](int, int) { return kRed; });
    const std::string with_photo = vehicle_chunk(1, photo) + service_chunk(5);
    load(with_photo);
    answer("yes", false);
    delete_vehicle_photo(m());
    again();
    answer("no");
    delete_vehicle_photo(m());
    again();
    EXPECT_EQ(read(path("vehicle11.dat")), with_photo);
    EXPECT_TRUE(std::any_of(os.drawn_texts.begin(), os.drawn_texts.end(),
                            [](const auto& t) { return t.text == "Type 'YES' to delete the photo from this vehicle"; }));

    answer("  Yes ");
    delete_vehicle_photo(m());
    again();
    EXPECT_EQ(stored_photo(), "");
    const std::string without = read(path("vehicle11.dat"));
    EXPECT_EQ(without, vehicle_chunk(1, "") + service_chunk(5)) << "one vehicle record, photo length 0";

    // Nothing to delete: nothing is written.
    std::filesystem::remove(path("vehicle11.dat"));
    answer("YES");
    delete_vehicle_photo(m());
    EXPECT_FALSE(std::filesystem::exists(path("vehicle11.dat")));
}

// ---- the photo on the Vehicles screen ---------------------------------------------------------------------------

class PhotoOnScreen : public VehiclePhoto {
protected:
    void run() {
        again();
        main_window().current_screen = kScreenVehicles;
        vehicle_screen();
    }
    bool shows_no_photo() const {
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.kind == kKindLabel && w.text == "No Photo") return true;
        }
        return false;
    }
};

TEST_F(PhotoOnScreen, AStoredPhotoIsDrawnInTheFrameAndADamagedOneIsNoPhoto) {
    // A JPEG through the codecs, fitted to the frame without changing shape.
    write(path("vehicle11.dat"), vehicle_chunk(1, images.resize_output));
    images.decoded = Picture{4, 3, std::vector<std::uint32_t>(12, kBlue)};
    run();
    EXPECT_FALSE(shows_no_photo());
    ASSERT_FALSE(os.drawn_images.empty());
    const Rect r = os.drawn_images.back().r;
    EXPECT_EQ(std::vector<int>({os.drawn_images.back().width, os.drawn_images.back().height}), (std::vector<int>{4, 3}));
    EXPECT_LE(std::abs((r.right - r.left) * 3 - (r.bottom - r.top) * 4), 4) << "the photo's own shape";
    EXPECT_EQ(os.pixel((r.left + r.right) / 2, (r.top + r.bottom) / 2), kBlue);
    const int decodes = images.decode_calls;
    run();
    EXPECT_EQ(images.decode_calls, decodes) << "the same photo is decoded once";

    // Bytes of no known kind, and a bitmap file cut short, from the fixture.
    for (const std::string& file : {vehicle_chunk(1, "GIF89a and more"), read(std::string(DOMORA_TEST_DATA_DIR) + "/vehicle_photo_truncated.dat")}) {
        vehicle_manager() = VehicleManager{};
        vehicle_manager().store.set_path(path("vehicle11.dat"));
        write(path("vehicle11.dat"), file);
        os.drawn_images.clear();
        run();
        EXPECT_TRUE(shows_no_photo());
        EXPECT_TRUE(os.drawn_images.empty());
    }
    EXPECT_EQ(vehicle_manager().store.current_vehicle()->make, "Honda") << "the fixture's vehicle is there";
}

TEST_F(PhotoOnScreen, APhotoIsImportedFromTheScreenWithTheKeysAlone) {
    load(vehicle_chunk(1, ""));
    std::filesystem::create_directories(path("pictures"));
    write(path("pictures/car.png"), "the user's picture");
    os.push_text("v");  // the Vehicle Manager menu by its letter
    os.push_text("i");  // Import Photo by its first letter
    os.push_key(kKeyReturn);
    os.push_text(path("pictures/car.png"));  // the whole path, typed into the browser
    os.push_key(kKeyReturn);
    run();
    ASSERT_EQ(images.resize_calls.size(), 1u);
    EXPECT_EQ(images.resize_calls[0].source, path("pictures/car.png"));
    EXPECT_FALSE(stored_photo().empty());
}

TEST_F(PhotoOnScreen, APictureImportedThroughTheRealCodecsShowsOnTheScreen) {
    std::unique_ptr<ImageService> codecs = make_qt_image_service();
    set_image_service(codecs.get());
    write(path("vehicle11.dat"), vehicle_chunk(1, ""));
    vehicle_manager().store.set_path(path("vehicle11.dat"));
    vehicle_manager().store.load();
    write(path("big.bmp"), bitmap_file(1600, 1200, [](int x, int) { return x < 800 ? kRed : kBlue; }));
    choose_file("big.bmp");
    import_vehicle_photo(vehicle_manager());
    const std::string stored = stored_photo();
    EXPECT_EQ(photo_format(stored), PhotoFormat::Jpeg);
    run();
    set_image_service(&images);
    ASSERT_FALSE(os.drawn_images.empty());
    EXPECT_EQ(std::vector<int>({os.drawn_images.back().width, os.drawn_images.back().height}), (std::vector<int>{400, 300}));
    const Rect r = os.drawn_images.back().r;
    EXPECT_TRUE(near(os.pixel(r.left + 10, r.top + 10), kRed));
    EXPECT_TRUE(near(os.pixel(r.right - 10, r.bottom - 10), kBlue));
}

}  // namespace
}  // namespace domora
