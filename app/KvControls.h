// Routines shared across the application frame: the persisted settings, the
// supported picture files and the folder scan, the nearest existing folder.
#pragma once

#include <string>
#include <vector>

#include "core/KvDestEngineOptions.h"

class TBitmap32;
class TPngImage;

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

// The largest size of the source's shape inside the frame (0 x 0 for an empty
// source; never a 0 side otherwise).
TKvSize FitSourceInResult(double ASourceW, double ASourceH, int AWidth, int AHeight);
// The result size a picture of AWidth x AHeight asks for under the options:
// the picture seen through the pixel aspect, fitted into the largest result
// when it is bigger, and raised to the smallest one.
TKvSize SourceResultSize(const TKvDestEngineOptions& AOptions, int AWidth, int AHeight);
// The smallest size of the source's shape that covers the frame.
TKvSize FitResultInSource(double ASourceW, double ASourceH, int AWidth, int AHeight);

// ADest := ASource stretched to (AWidth x AZoom) by (AHeight x AZoom) with the
// nearest-neighbour resampler, so every pixel becomes an exact block.
void ZoomToSize(int AWidth, int AHeight, TBitmap32& ADest, TBitmap32& ASource, int AZoom);
// ADest := ASource zoomed AZoom times; zoom 1 copies without resampling.
void ZoomBitmap32(TBitmap32& ADest, TBitmap32& ASource, int AZoom);

// Marks a PNG as written by this program (a "Software" text chunk) and asks
// for the strongest compression.
void SetPngSoftwareText(TPngImage& APng);
