// Importers of ZX Spectrum tape images and memory snapshots (TAP, TZX, SZX,
// RZX, SP, SNA, Z80/SLT). Each finds the screen inside its container, wraps
// those bytes in a memory load source of its own and lets a ZX screen
// importer (or, for RZX, the snapshot importer of the embedded file) decode
// them; the container describes itself exactly as that inner importer does.
#pragma once

#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvBitmap;
struct TKvZxSnapshotScreen;

// Shared base: owns the inner load source, the inner engine over it and,
// where the screen had to be unpacked, the buffer both read.
class TKvBaseZxSpectrumSnapshotEngine : public TKvSourceEngine {
public:
  explicit TKvBaseZxSpectrumSnapshotEngine(TKvLoadSource& ASource);
  ~TKvBaseZxSpectrumSnapshotEngine() override;

  // Decodes through the inner engine with this engine's palette choice.
  std::unique_ptr<TKvBitmap> Decode() override;

  TKvSourceEngine* GetInnerEngine() const { return FInnerEngine.get(); }
  const TKvLoadSource* GetInnerSource() const { return FInnerSource.get(); }

protected:
  // Wraps the bytes a walk found in a load source of their own, creates the
  // inner engine over it and takes over its description, geometry and
  // palette choices. A walk that found nothing raises "Internal error".
  void Open(TKvZxSnapshotScreen&& AFound);
  void CopyInnerProperties();

private:
  // Declared in this order so that the engine goes first and the bytes last.
  std::unique_ptr<uint8_t[]> FBuffer;
  std::unique_ptr<TKvMemoryLoadSource> FInnerSource;
  std::unique_ptr<TKvSourceEngine> FInnerEngine;
};

#define KV_ZX_SNAPSHOT_IMPORTER(Name)                                                 \
  class Name : public TKvSourceEngineOf<Name, TKvBaseZxSpectrumSnapshotEngine> {      \
  public:                                                                             \
    explicit Name(TKvLoadSource& ASource);                                            \
    static TKvMatchFlags Match(TKvLoadSource& ASource);                               \
  }

KV_ZX_SNAPSHOT_IMPORTER(TKvZxSpectrumTAPEngine);  // ".tap" only
KV_ZX_SNAPSHOT_IMPORTER(TKvZxSpectrumTZXEngine);  // "ZXTape!"
KV_ZX_SNAPSHOT_IMPORTER(TKvZxSpectrumSZXEngine);  // "ZXST"
KV_ZX_SNAPSHOT_IMPORTER(TKvZxSpectrumRZXEngine);  // "RZX!"
KV_ZX_SNAPSHOT_IMPORTER(TKvZxSpectrumSPEngine);   // "SP"
KV_ZX_SNAPSHOT_IMPORTER(TKvZxSpectrumSNAEngine);  // ".sna" only, by size
KV_ZX_SNAPSHOT_IMPORTER(TKvZxSpectrumZ80Engine);  // ".z80" or ".slt" only

#undef KV_ZX_SNAPSHOT_IMPORTER

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSnapshotSourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformZxSpectrumSnapshot();
