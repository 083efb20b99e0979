// The source side of the program: the source document (the picture being
// converted, its region and its own palettes), the list of picture files of
// an opened folder, and the global list of palette files. All are used from
// the UI thread; they tell their clients about changes through the observer
// interfaces below, asked for again at every notice.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/KvPictureDecoder.h"
#include "shell/noxShellBaseExtensionData.h"
#include "rtl/KvSysUtils.h"

class TBitmap32;
class TKvPalette256;
class TKvLoadSource;
class TKvSourceEngineList;

class IKvSourceClient {
public:
  virtual ~IKvSourceClient() = default;
  // The whole picture was replaced (loaded, closed, or nil after a failed load).
  virtual void PictureChanged(TBitmap32* APicture) = 0;
  // The region picture or the palettes changed; each may be nil.
  virtual void SourceChanged(TBitmap32* APicture, TKvPalette256* APalette, TKvPalette256* APalette2) = 0;
};

class IKvSourceFilesClient {
public:
  virtual ~IKvSourceFilesClient() = default;
  virtual void SourceFilesChanged() = 0;
};

class IKvPaletteListClient {
public:
  virtual ~IKvPaletteListClient() = default;
  virtual void PaletteListChanged() = 0;
};

// Told when a document a client links to goes away, so the link is cleared.
class IKvFreeNotification {
public:
  virtual ~IKvFreeNotification() = default;
  virtual void FreeNotification(TObject* AComponent) = 0;
};

// Shows the importer candidates of a file and returns the chosen picture, or
// nothing when the user declines. The program's chooser is the import dialog.
class TKvImportChooser {
public:
  virtual ~TKvImportChooser() = default;
  virtual std::unique_ptr<TBitmap32> Choose(TKvLoadSource& ASource, TKvSourceEngineList& AEngines) = 0;
};

// A list of client objects. Notices walk a snapshot, skipping clients removed
// meanwhile, so a client may unregister itself while being told.
class TKvClientList {
public:
  void Add(TObject* AClient);
  void Remove(TObject* AClient);
  bool Contains(TObject* AClient) const;
  std::vector<TObject*> Snapshot() const { return FItems; }
  int GetCount() const { return static_cast<int>(FItems.size()); }

  // Calls AFunc on every client of the snapshot that implements I and is
  // still registered.
  template <class I, class F>
  void Notify(F AFunc) const {
    for (TObject* LClient : Snapshot())
      if (Contains(LClient))
        if (I* LIntf = dynamic_cast<I*>(LClient)) AFunc(*LIntf);
  }

private:
  std::vector<TObject*> FItems;
};

class TKvSource : public TObject {
public:
  TKvSource();
  ~TKvSource() override;

  void AddClient(TObject* AClient);
  void RemoveClient(TObject* AClient);

  // Opens a file: BMP, JPEG, PNG and GIF pictures by content, anything else
  // through the importers.
  void LoadFromFile(const std::string& AFileName);
  // A BMP, JPEG, PNG or GIF picture; "Unknown image type" otherwise.
  void LoadFromStream(const std::string& AName, std::istream& AStream);
  void LoadWithImporter(const std::string& AFileName);
  // A bitmap handed over by the clipboard or a drop; it stays the caller's.
  void LoadFromBitmapHandle(const std::string& AName, const TnoxOfferBitmap& ABitmap);
  static bool CanLoadFrom(const TnoxShellDataOffer& AOffer);
  // The bitmap comes first; otherwise the first of the files.
  void LoadFromDataObject(const TnoxShellDataOffer& AOffer);
  void Close();
  void SetRegion(const TRect& ARect);

  // Not owned; nullptr makes a file that needs an importer load nothing.
  void SetImportChooser(TKvImportChooser* AChooser) { FImportChooser = AChooser; }

  const std::string& GetFileName() const { return FFileName; }
  TBitmap32* GetPicture() const { return FPicture.get(); }
  // The selected region; the picture itself when the region is all of it.
  TBitmap32* GetRegionPicture() const { return FRegionPicture; }
  const TRect& GetRegion() const { return FRegion; }
  TKvPalette256* GetPalette() const { return FPalette.get(); }
  TKvPalette256* GetUsedColors() const { return FUsedColors.get(); }

private:
  void ClearDocument();
  void FailLoad();
  void Update(bool AWholePicture);

  std::string FFileName;
  std::unique_ptr<TBitmap32> FPicture;
  TRect FRegion;
  std::unique_ptr<TBitmap32> FRegionCopy;
  TBitmap32* FRegionPicture = nullptr;  // FPicture or FRegionCopy
  std::unique_ptr<TKvPalette256> FPalette;
  std::unique_ptr<TKvPalette256> FUsedColors;
  TKvClientList FClients;
  TKvImportChooser* FImportChooser = nullptr;
};

// The picture files of an opened folder, full names, sorted without regard
// to case.
class TKvSourceFiles : public TObject, public IKvFreeNotification {
public:
  ~TKvSourceFiles() override;

  void OpenFolder(const std::string& AFolder);
  void Clear();
  void SetSource(TKvSource* ASource);
  TKvSource* GetSource() const { return FSource; }
  void AddClient(TObject* AClient) { FClients.Add(AClient); }
  void RemoveClient(TObject* AClient) { FClients.Remove(AClient); }
  const std::vector<std::string>& GetFiles() const { return FFiles; }

  void FreeNotification(TObject* AComponent) override;

private:
  void NotifyChanged();

  TKvClientList FClients;
  TKvSource* FSource = nullptr;
  std::vector<std::string> FFiles;
};

// True for a 256-entry table of the pairwise mixtures of 16 colours.
bool IsGigaScreenPalette(const TKvPalette256& APalette);

// The palettes offered by the palette boxes: the plain ones sorted by name,
// and the gigascreen mixture tables apart.
class TKvPaletteList {
public:
  TKvPaletteList();
  ~TKvPaletteList();

  // Loads every palette file of the folder; failures are skipped.
  void LoadFolder(const std::string& AFolder);
  // Reads a palette file and adds it; a failure propagates.
  TKvPalette256* LoadPalette(const std::string& AFileName);
  // Takes ownership; replaces a plain palette of the same file and display
  // name in place.
  TKvPalette256* Add(std::unique_ptr<TKvPalette256> APalette);
  void RemoveGenerated();
  void AddClient(TObject* AClient);
  void RemoveClient(TObject* AClient) { FClients.Remove(AClient); }

  int GetCount() const { return static_cast<int>(FItems.size()); }
  TKvPalette256* GetItem(int AIndex) const { return FItems.at(static_cast<size_t>(AIndex)).get(); }
  int GetGigaScreenCount() const { return static_cast<int>(FGigaItems.size()); }
  TKvPalette256* GetGigaScreeanItem(int AIndex) const { return FGigaItems.at(static_cast<size_t>(AIndex)).get(); }

private:
  void SortByName();
  void NotifyChanged();

  std::vector<std::unique_ptr<TKvPalette256>> FItems;
  std::vector<std::unique_ptr<TKvPalette256>> FGigaItems;
  TKvClientList FClients;
};

// The global palette list, made by the unit start-up from the "Palettes"
// folder beside the program.
TKvPaletteList& PaletteList();
bool HasPaletteList();
// The folder of the running program, with its trailing delimiter.
std::string GetProgramFolder();
void InitKvPaletteList();
void DoneKvPaletteList();
