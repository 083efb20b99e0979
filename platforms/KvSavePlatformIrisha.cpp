#include "platforms/KvSavePlatformIrisha.h"

#include "bitmap/B32.h"
#include "core/KvImage.h"
#include "core/KvStream.h"
#include "shell/noxShellBaseExtension.h"

std::unique_ptr<TKvBitmap> ConvertIrisha(TKvConvertArgs& AArgs, int AWidth) {
  TBitmap32& bitmap = AArgs.Bitmap;
  // The file holds AWidth x 200 pixels; a larger picture would write past it.
  if (bitmap.GetWidth() > AWidth || bitmap.GetHeight() > 200) RaiseOSError(87);
  auto streams = std::make_unique<TKvStreamList>();
  uint8_t* data = streams->NewStream("pic", AWidth / 8 * 200)->GetMemory();
  TKvImage image(bitmap);
  TKvIrishaScreen screen(bitmap.GetWidth(), bitmap.GetHeight(), data);
  auto result = image.ConvertBW(AArgs.Abort, AArgs.Options, &screen, nullptr, 0, 1);
  AArgs.Streams = std::move(streams);
  return result;
}

void InitKvSavePlatformIrisha() { RegisterDestEngines<TKvIrisha320Engine, TKvIrisha640Engine>(); }
