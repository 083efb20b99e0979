// Two-dimensional maps of ordinal values.
#pragma once

#include <cstdint>

#include "bitmap/B32.h"

// A Width x Height map of 32-bit signed integers, row-major.
class TIntegerMap : public TCustomMap {
public:
  TIntegerMap() = default;
  TIntegerMap(int32_t AWidth, int32_t AHeight) { SetSize(AWidth, AHeight); }
  ~TIntegerMap() override;

  // A TIntegerMap source copies size and values; Changed fires once at the
  // end, also after a failure.
  void Assign(const TPersistent* Source) override;
  bool Empty() const override { return FBits == nullptr; }

  int32_t* GetBits() const { return FBits; }
  // Address of element (X, Y); unchecked.
  int32_t* GetValPtr(int32_t X, int32_t Y) const { return FBits + X + int64_t(Y) * FWidth; }
  int32_t GetValue(int32_t X, int32_t Y) const { return *GetValPtr(X, Y); }
  void SetValue(int32_t X, int32_t Y, int32_t V) { *GetValPtr(X, Y) = V; }

protected:
  // Reallocates the values: the old ones survive up to the smaller size, new
  // ones are not initialised; size 0 frees the block.
  void ChangeSize(int32_t& Width, int32_t& Height, int32_t NewWidth, int32_t NewHeight) override;

private:
  int32_t* FBits = nullptr;
};
