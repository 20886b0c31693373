// The two engines behind aes.h; only aes.cpp chooses between them.
#pragma once

#include <cstddef>

#include "passwords/aes/aes.h"

namespace domora::aes::detail {

void portable_encrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks);
void portable_decrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks);
// The inverse of MixColumns on one big-endian column word.
std::uint32_t inverse_mix_column(std::uint32_t word);
std::uint32_t substitute_word(std::uint32_t word);

bool hardware_supported();
void hardware_encrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks);
void hardware_decrypt(const KeySchedule& schedule, unsigned char* data, std::size_t blocks);

}  // namespace domora::aes::detail
