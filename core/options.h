#pragma once

#include <cstdint>
#include <string>

// The five job options, kept in "Druvel.ini" in the current directory.
struct Options {
    std::int32_t Rounds;        // encryption rounds, printed into the operation word as stored
    std::int32_t Paranoia;      // 0 or 1
    std::int32_t SFX;           // 0 or 1: write a self-decrypting executable
    std::int32_t IntCheck;      // 0 or 1: verify integrity on decryption
    std::int32_t DelEncrypted;  // 0 or 1: delete the encrypted file after a successful decryption
};

// The values a new settings file is written with.
inline constexpr Options kStartOptions{1, 0, 0, 1, 0};

extern Options g_options;

// Fills g_options from the settings file, or writes the start values to a new
// one when there is none. Failures are silent: g_options then keeps the start values.
void LoadOptions();

// Writes the five values of g_options to the settings file, changing no other line.
void SaveOptions();

// The settings file's path: the current directory and "Druvel.ini", or an
// empty string when the current directory cannot be read.
std::string SettingsFilePath();
