// The printer's device mode kept at the end of a print settings record.
//
// Its public part has the layout of the classic DEVMODEA structure, 156
// bytes, little-endian, so that a record carried over from another system
// still validates:
//   0   32  device name, zero-terminated
//   32  u16 spec version (0x0401)     34 u16 driver version
//   36  u16 size of the public part   38 u16 length of the private tail
//   40  u32 fields in use             44 i16 orientation
//   46  i16 paper code                48 i16 paper length, 0.1 mm
//   50  i16 paper width, 0.1 mm       54 i16 copies
// The private tail that follows holds the CUPS options the user chose in the
// printer's properties dialog: ASCII lines "name=value", each ended by LF,
// the whole ended by one zero byte. A tail in any other form (another
// system's driver data) is carried along but gives no options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace domora {

inline constexpr std::size_t kDevModePublicSize = 156;
inline constexpr std::uint32_t kDmOrientation = 0x1;
inline constexpr std::uint32_t kDmPaperSize = 0x2;
inline constexpr std::uint32_t kDmPaperLength = 0x4;
inline constexpr std::uint32_t kDmPaperWidth = 0x8;

// A device mode for the printer with these options.
std::string make_device_mode(std::string_view printer, std::string_view options);
// True when the public part's size fields fit the bytes given.
bool device_mode_valid(std::string_view devmode);
// The options of our own tail; "" for any other tail or a damaged device mode.
std::string device_mode_options(std::string_view devmode);

// Field access; reads outside a valid device mode give 0, writes are ignored.
int device_mode_field(std::string_view devmode, std::size_t offset);
void set_device_mode_field(std::string& devmode, std::size_t offset, int value);
std::uint32_t device_mode_fields_in_use(std::string_view devmode);
void set_device_mode_fields_in_use(std::string& devmode, std::uint32_t mask);

inline constexpr std::size_t kDmOrientationOffset = 44;
inline constexpr std::size_t kDmPaperSizeOffset = 46;
inline constexpr std::size_t kDmPaperLengthOffset = 48;
inline constexpr std::size_t kDmPaperWidthOffset = 50;

}  // namespace domora
