// The importers of BBC Micro screen dumps of modes 0, 1, 2, 4 and 5,
// recognised by their exact size.
#pragma once

#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

// The converter's engines have the same names; this unit's classes live apart.
namespace KvOpenPlatformBBCMicro {

// Shared reading of one mode's dump.
class TKvBBCMicroEngine : public TKvSourceEngine {
public:
  TKvBBCMicroEngine(TKvLoadSource& ASource, int AMode);
  std::unique_ptr<TKvBitmap> Decode() override;
  static TKvMatchFlags MatchMode(TKvLoadSource& ASource, int AMode);

private:
  int FMode;
  TKvBytes FData;
};

template <class TSelf, int Mode>
class TKvBBCMicroEngineOf : public TKvSourceEngineOf<TSelf, TKvBBCMicroEngine> {
public:
  explicit TKvBBCMicroEngineOf(TKvLoadSource& ASource) : TKvSourceEngineOf<TSelf, TKvBBCMicroEngine>(ASource, Mode) {}
  static TKvMatchFlags Match(TKvLoadSource& ASource) { return TKvBBCMicroEngine::MatchMode(ASource, Mode); }
};

class TKvBBCMicro0Engine : public TKvBBCMicroEngineOf<TKvBBCMicro0Engine, 0> {
 public:
  using TKvBBCMicroEngineOf::TKvBBCMicroEngineOf;
};
class TKvBBCMicro1Engine : public TKvBBCMicroEngineOf<TKvBBCMicro1Engine, 1> {
 public:
  using TKvBBCMicroEngineOf::TKvBBCMicroEngineOf;
};
class TKvBBCMicro2Engine : public TKvBBCMicroEngineOf<TKvBBCMicro2Engine, 2> {
 public:
  using TKvBBCMicroEngineOf::TKvBBCMicroEngineOf;
};
class TKvBBCMicro4Engine : public TKvBBCMicroEngineOf<TKvBBCMicro4Engine, 4> {
 public:
  using TKvBBCMicroEngineOf::TKvBBCMicroEngineOf;
};
class TKvBBCMicro5Engine : public TKvBBCMicroEngineOf<TKvBBCMicro5Engine, 5> {
 public:
  using TKvBBCMicroEngineOf::TKvBBCMicroEngineOf;
};

}  // namespace KvOpenPlatformBBCMicro

void InitKvOpenPlatformBBCMicro();
