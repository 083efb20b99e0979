// Importer of the UKNC's three-plane PCX pictures.
#pragma once

#include <cstdint>
#include <memory>

#include "app/KvSourceEngines.h"

// The run-length decoder of PCX data: a byte below 0xC0 stands for itself,
// 0xC1..0xFF repeat the next byte (count = low 6 bits).
struct TKvPcxRunReader {
  TKvBytes Data;
  int64_t Offset = 0;
  uint8_t RunValue = 0;
  uint8_t RunCount = 0;
  void Init(const TKvBytes& AData);
  // Raises the corrupt-data error at the end of the data, on the run byte
  // 0xC0 and on a run byte without its value.
  uint8_t ReadByte();
};

// The importer's own class of this name, scoped by its unit.
namespace KvOpenPlatformUKNC {

class TKvUKNCEngine : public TKvSourceEngineOf<TKvUKNCEngine> {
public:
  explicit TKvUKNCEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FHeader;
  TKvBytes FData;  // the runs after the header
};

}  // namespace KvOpenPlatformUKNC

void InitKvOpenPlatformUKNC();
