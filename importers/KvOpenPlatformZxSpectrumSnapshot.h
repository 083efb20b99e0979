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

// ".tap" only
class TKvZxSpectrumTAPEngine : public TKvSourceEngineOf<TKvZxSpectrumTAPEngine, TKvBaseZxSpectrumSnapshotEngine> {
public:
  explicit TKvZxSpectrumTAPEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// "ZXTape!"
class TKvZxSpectrumTZXEngine : public TKvSourceEngineOf<TKvZxSpectrumTZXEngine, TKvBaseZxSpectrumSnapshotEngine> {
public:
  explicit TKvZxSpectrumTZXEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// "ZXST"
class TKvZxSpectrumSZXEngine : public TKvSourceEngineOf<TKvZxSpectrumSZXEngine, TKvBaseZxSpectrumSnapshotEngine> {
public:
  explicit TKvZxSpectrumSZXEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// "RZX!"
class TKvZxSpectrumRZXEngine : public TKvSourceEngineOf<TKvZxSpectrumRZXEngine, TKvBaseZxSpectrumSnapshotEngine> {
public:
  explicit TKvZxSpectrumRZXEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// "SP"
class TKvZxSpectrumSPEngine : public TKvSourceEngineOf<TKvZxSpectrumSPEngine, TKvBaseZxSpectrumSnapshotEngine> {
public:
  explicit TKvZxSpectrumSPEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// ".sna" only, by size
class TKvZxSpectrumSNAEngine : public TKvSourceEngineOf<TKvZxSpectrumSNAEngine, TKvBaseZxSpectrumSnapshotEngine> {
public:
  explicit TKvZxSpectrumSNAEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// ".z80" or ".slt" only
class TKvZxSpectrumZ80Engine : public TKvSourceEngineOf<TKvZxSpectrumZ80Engine, TKvBaseZxSpectrumSnapshotEngine> {
public:
  explicit TKvZxSpectrumZ80Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
};

// The importer classes of this unit in registration order.
const std::vector<const TKvSourceEngineClass*>& ZxSpectrumSnapshotSourceEngineClasses();
// Unit start-up: registers the classes above, in order.
void InitKvOpenPlatformZxSpectrumSnapshot();
