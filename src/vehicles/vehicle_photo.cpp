#include "vehicles/vehicle_photo.h"

#include <fcntl.h>

#include <vector>

#include "app/files.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/platform.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "ui/widgets.h"

namespace domora {

namespace {

constexpr int kPhotoWidth = 400;
constexpr int kPhotoHeight = 300;
constexpr int kPhotoQuality = 75;
// Far above any 400 x 300 picture, far below what a record's length can hold.
constexpr std::size_t kMaxPhotoBytes = 16u << 20;
// Far above any photo a camera or phone takes.
constexpr std::int64_t kMaxPictureFileBytes = std::int64_t{256} << 20;

// The picture files the browser lists for an import, by extension.
const std::vector<std::string> kPictureExtensions = {"jpg", "jpeg", "png", "gif", "bmp"};

const char* const kNotAPicture = "not a picture this program reads";
const char* const kTooLarge = "too large";
const char* const kCannotRead = "cannot be read";

bool need_current_vehicle(const VehicleManager& m) {
    if (!need_vehicle(m)) return false;
    const int position = m.store.vehicle_position();
    if (position < 0 || position >= static_cast<int>(m.store.vehicles().size())) {
        show_message("Select a Vehicle First");
        return false;
    }
    return true;
}

// The vehicle stored again with photo ("" for none) in place of its old record.
void store_with_photo(VehicleManager& m, const VehicleInfo& vehicle, const std::string& photo) {
    VehicleStore& store = m.store;
    ChunkHeader h = store.header(vehicle.offset);
    h.type = kRecordVehicle;
    h.f = static_cast<std::int32_t>(photo.size());
    store.append_chunk(h, vehicle_body(vehicle.make, vehicle.model, vehicle.vin, vehicle.license, photo));
    store.set_record_type(vehicle.offset, kRecordDeleted);
    report_save(store.save());
    store.select_vehicle(vehicle.vehicle_id);
    select_only_current(m);
    show_record(m, store.record_position());
}

// Why the file cannot become a photo, before converting it; "" when it may.
std::string picture_problem(const std::string& source) {
    FileInfo info;
    if (!platform().sys_stat(source, info) || info.is_folder) return kCannotRead;
    const int fd = platform().sys_open(source, O_RDONLY, 0);
    if (fd < 0) return kCannotRead;
    platform().sys_close(fd);
    if (info.size > kMaxPictureFileBytes) return kTooLarge;
    int width = 0, height = 0;
    if (!image_service().picture_size(source, width, height)) return kNotAPicture;
    if (static_cast<std::int64_t>(width) * height > kMaxPicturePixels) return kTooLarge;
    return {};
}

// The converted picture, or "" after logging why there is none (and saying
// so in problem).
std::string convert_picture(const std::string& source, const std::string& scratch, std::string& problem) {
    // Created owner-only before the converter writes into it, so the picture
    // is never readable by others, not even for a moment.
    delete_file(scratch);
    const int fd = platform().sys_open(scratch, O_WRONLY | O_CREAT | O_TRUNC, kOwnerOnly);
    if (fd >= 0) platform().sys_close(fd);
    const std::string failure = image_service().resize_image(source, scratch, kPhotoWidth, kPhotoHeight, kPhotoQuality, true);
    problem = kNotAPicture;
    if (!failure.empty()) {
        status_log_write(failure);
        return {};
    }
    Result<std::string> bytes = read_whole_file(scratch);
    if (!bytes || photo_format(bytes.value()) == PhotoFormat::None) return {};
    if (bytes.value().size() > kMaxPhotoBytes) {
        problem = kTooLarge;
        return {};
    }
    problem.clear();
    return std::move(bytes.value());
}

}  // namespace

void import_vehicle_photo(VehicleManager& m) {
    if (!need_current_vehicle(m)) return;
    std::string folder = settings().import_path;
    std::string name;
    int result = 0;
    BrowseForFile("Locate JPG, PNG, GIF, or BMP Graphic for Photo", folder, name, result, kPictureExtensions);
    if (result != 1 || name.empty()) return;
    // The next import starts where this one found its picture.
    if (folder != settings().import_path) {
        settings().import_path = folder;
        save_settings();
    }
    const std::string source = folder + name;
    FileInfo info;
    if (!platform().sys_stat(source, info) || info.is_folder) return;

    std::string problem = picture_problem(source);
    std::string photo;
    if (problem.empty()) {
        const std::string scratch = app_paths().data_folder + kPhotoScratchName;
        photo = convert_picture(source, scratch, problem);
        delete_file(scratch);
    }
    if (photo.empty()) {
        show_message("Error Loading Vehicle Photo||" + name + ": " + problem);
        return;
    }
    const std::optional<VehicleInfo> vehicle = m.store.current_vehicle();
    if (vehicle) store_with_photo(m, *vehicle, photo);
}

void delete_vehicle_photo(VehicleManager& m) {
    if (!need_current_vehicle(m)) return;
    clear_field_buffer();
    set_field_text(0, "", 79);
    int result = 0;
    ShowPopup("Type 'YES' to delete the photo from this vehicle", "", 1, "OK|Cancel", 20 + 100, result);
    if (result != 1 || to_lower(trim(field_text(0))) != "yes") return;
    const std::optional<VehicleInfo> vehicle = m.store.current_vehicle();
    if (vehicle && !vehicle->photo.empty()) store_with_photo(m, *vehicle, "");
}

const Picture* vehicle_photo(VehicleManager& m, const std::string& photo_bytes) {
    if (photo_bytes.empty()) return nullptr;
    if (photo_bytes != m.photo_bytes) {
        // A photo that cannot be decoded is remembered too, so it is tried once.
        m.photo_bytes = photo_bytes;
        decode_photo(m.photo_bytes, m.photo);
    }
    return m.photo.empty() ? nullptr : &m.photo;
}

namespace {

// The photo widget shows the manager's decoded photo, as large as the
// widget allows without changing its shape, centred.
void draw_photo_widget(WidgetRecord& w) {
    const Picture& picture = vehicle_manager().photo;
    const int width = w.x2 - w.x1, height = w.y2 - w.y1;
    if (picture.empty() || width <= 0 || height <= 0) return;
    int shown_width = width;
    int shown_height = static_cast<int>(static_cast<long long>(width) * picture.height / picture.width);
    if (shown_height > height) {
        shown_height = height;
        shown_width = static_cast<int>(static_cast<long long>(height) * picture.width / picture.height);
    }
    const int left = w.x1 + (width - shown_width) / 2, top = w.y1 + (height - shown_height) / 2;
    ClipTo(w.rect());
    platform().draw_image(Rect{left, top, left + shown_width, top + shown_height}, picture.width, picture.height, picture.pixels);
}

}  // namespace

void install_vehicle_photo_drawer() { set_widget_drawer(kKindPicture, draw_photo_widget); }

}  // namespace domora
