// The source view of the region dialog (TKvSourceImageView: the decoder keeps
// the name TKvSourceImage for its pictures): the whole source picture with the
// part the conversion will not use greyed out, the converter's attribute
// cells shown as a pattern inside the used part, and a region rectangle that
// is dragged by nine handles.
#pragma once

#include <memory>

#include "app/KvSource.h"
#include "app/qt/KvViews.h"

class TKvSourceImageView : public TKvSourceDestImage, public IKvSourceClient {
public:
  explicit TKvSourceImageView(QWidget* AParent);
  ~TKvSourceImageView() override;

  void SetSource(TKvSource* ASource);
  void PictureChanged(TBitmap32* APicture) override;
  void SourceChanged(TBitmap32*, TKvPalette256*, TKvPalette256*) override {}

  const TRect& GetRegion() const { return FRegion; }
  void SetRegion(const TRect& ARect);
  // The target of the converter: its native size (0 for none), pixel aspect,
  // placement mode and cell size.
  void SetTarget(int AWidth, int AHeight, int AX, int AY, uint8_t APosition, int ACellWidth, int ACellHeight);

  // The part of the picture the conversion uses.
  TRect UsedArea() const;
  // 0 for none, else the handle under the client point.
  int HitTest(QPoint AClient) const;
  void BeginDrag(int AHandle, QPoint AContent);
  void DragTo(int X, int Y);
  int GetDragHandle() const { return FDragHandle; }
  // The picture as shown: greyed outside the used part, cells patterned.
  TBitmap32* GetDisplayImage();
  void RenderBuffer() override;

protected:
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;

private:
  void PrepareGrayImages();
  void RenderImage();
  void ChangedRegion();
  static Qt::CursorShape HandleCursor(int AHandle);

  TKvSource* FSource = nullptr;
  std::unique_ptr<TBitmap32> FGrayImage;
  std::unique_ptr<TBitmap32> FDarkImage;
  std::unique_ptr<TBitmap32> FDisplayImage;
  bool FDisplayValid = false;
  bool FDragging = false;
  int FDragHandle = 0;
  QPoint FDragStart;
  TRect FDragStartRegion;
  TRect FRegion;
  int FTargetWidth = 0, FTargetHeight = 0;
  int FAX = 1, FAY = 1;
  uint8_t FPosition = 0;
  int FCellWidth = 1, FCellHeight = 1;
};
