#include "core/options.h"

#include "platform/system/file.h"
#include "platform/system/path.h"
#include "platform/system/profile.h"

Options g_options = kStartOptions;

namespace {

constexpr const char* kSettingsFileName = "Druvel.ini";
constexpr const char* kEncrypt = "ENCRYPT";
constexpr const char* kDecrypt = "DECRYPT";

std::int32_t Flag(std::int32_t value) { return value != 0 ? 1 : 0; }

const char* FlagText(std::int32_t value) { return value != 0 ? "1" : "0"; }

}  // namespace

std::string SettingsFilePath() {
    const std::string folder = platform::CurrentFolder();
    return folder.empty() ? std::string() : platform::JoinPath(folder, kSettingsFileName);
}

void LoadOptions() {
    g_options = kStartOptions;
    const std::string path = SettingsFilePath();
    if (path.empty()) return;

    platform::Profile profile;
    if (profile.Load(path) != platform::Profile::LoadResult::Loaded) {
        SaveOptions();
        return;
    }
    g_options.Rounds = profile.GetInt(kEncrypt, "Rounds", 2);
    g_options.Paranoia = Flag(profile.GetInt(kEncrypt, "Paranoia", 0));
    g_options.SFX = Flag(profile.GetInt(kEncrypt, "SFX", 0));
    g_options.IntCheck = Flag(profile.GetInt(kDecrypt, "IntCheck", 1));
    g_options.DelEncrypted = Flag(profile.GetInt(kDecrypt, "DelEncrypted", 0));
}

void SaveOptions() {
    const std::string path = SettingsFilePath();
    if (path.empty()) return;

    platform::Profile profile;
    // A file that exists but cannot be read is left alone: rewriting it would
    // throw away whatever it holds.
    if (profile.Load(path) == platform::Profile::LoadResult::Unreadable) return;
    profile.SetString(kEncrypt, "Rounds", std::to_string(g_options.Rounds));
    profile.SetString(kEncrypt, "Paranoia", FlagText(g_options.Paranoia));
    profile.SetString(kEncrypt, "SFX", FlagText(g_options.SFX));
    profile.SetString(kDecrypt, "IntCheck", FlagText(g_options.IntCheck));
    profile.SetString(kDecrypt, "DelEncrypted", FlagText(g_options.DelEncrypted));
    profile.Save(path);
}
