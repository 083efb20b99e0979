// Routines shared across the application frame: the persisted settings, the
// supported picture files and the folder scan, the nearest existing folder.
#pragma once

#include <string>
#include <vector>

// The settings are string values under the program's key of the current
// user's settings store (shell/noxShellBaseExtensionSystem.h).
// Never fails: anything unreadable reads as the empty string.
std::string ReadSetting(const std::string& AName);
void WriteSetting(const std::string& AName, const std::string& AValue);

std::string GetPathSetting();
void SetPathSetting(const std::string& AValue);
std::string GetPalettePathSetting();
void SetPalettePathSetting(const std::string& AValue);
std::string GetBatchPathSetting();
void SetBatchPathSetting(const std::string& AValue);
std::string GetLastPlatformSetting();
void SetLastPlatformSetting(const std::string& AValue);
std::string GetLastModeSetting();
void SetLastModeSetting(const std::string& AValue);

// True for the picture extensions the program opens, by name only.
bool IsPictureFile(const std::string& AFileName);
// Appends the picture files of one folder (not its subfolders), in the order
// the file system lists them; a folder that cannot be listed adds nothing.
void ScanFolder(const std::string& AFolder, std::vector<std::string>& AList, bool ANamesOnly);
// The nearest existing folder at or above APath, or the empty string.
std::string FindExistingFolder(const std::string& APath);
