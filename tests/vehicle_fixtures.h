// Vehicle file chunks and picture files as the vehicle tests build them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "vehicles/vehicle_store.h"

namespace domora::test {

// A 2020 vehicle of the make and model, VIN "JH4KA", licence "ABC 123", with the photo bytes given.
inline std::string vehicle_chunk(int id, const std::string& make, const std::string& photo = "",
                                 const std::string& model = "Civic") {
    ChunkHeader h;
    h.type = kRecordVehicle;
    h.vehicle_id = id;
    h.record_id = id;
    h.year = 2020;
    h.month = 1;
    h.day = 1;
    h.f = static_cast<std::int32_t>(photo.size());
    return encode_chunk(h, vehicle_body(make, model, "JH4KA", "ABC 123", photo));
}

// The header of a record of March (day) 2024.
inline ChunkHeader record_header(std::uint8_t type, int vehicle_id, int record_id, int day, bool selected = false) {
    ChunkHeader h;
    h.type = type;
    h.marks = selected ? kVehicleSelectedMark : 0;
    h.vehicle_id = vehicle_id;
    h.record_id = record_id;
    h.year = 2024;
    h.month = 3;
    h.day = static_cast<std::uint8_t>(day);
    return h;
}

// A maintenance record of March (day) 2024.
inline std::string service_chunk(int vehicle_id, int record_id, int day, int odometer, int cost, const std::string& what,
                                 bool selected = false) {
    ChunkHeader h = record_header(kRecordMaintenance, vehicle_id, record_id, day, selected);
    h.b = odometer;
    h.d = cost;
    return encode_chunk(h, maintenance_body(what));
}

// A fill-up of March (day) 2024 on 10.0 gal for $35.00, from odometer start to end (12,345 to 12,645 mi).
inline std::string fuel_chunk(int vehicle_id, int record_id, int day, bool selected = false, int start = 1986735,
                              int end = 2035015) {
    ChunkHeader h = record_header(kRecordFuel, vehicle_id, record_id, day, selected);
    h.a = start;
    h.b = end;
    h.c = 37854;
    h.d = 35000;
    h.e = 127545;
    return encode_chunk(h, {});
}

inline void put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

inline void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// A 24-bit bitmap file, rows stored bottom-up as usual.
inline std::string bitmap_file(int width, int height, const std::function<std::uint32_t(int, int)>& colour) {
    const int stride = (width * 3 + 3) / 4 * 4;
    std::string s = "BM";
    put32(s, static_cast<std::uint32_t>(54 + stride * height));
    put32(s, 0);
    put32(s, 54);
    put32(s, 40);
    put32(s, static_cast<std::uint32_t>(width));
    put32(s, static_cast<std::uint32_t>(height));
    put16(s, 1);
    put16(s, 24);
    for (int i = 0; i < 6; ++i) put32(s, 0);
    for (int y = height - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, y);
            row += static_cast<char>(c & 0xFF);
            row += static_cast<char>((c >> 8) & 0xFF);
            row += static_cast<char>((c >> 16) & 0xFF);
        }
        row.resize(static_cast<std::size_t>(stride), '\0');
        s += row;
    }
    return s;
}

}  // namespace domora::test
