// The option controls of the converter panels: separators and captions, text
// and integer edits whose change notice waits for the user to pause, combo
// boxes that switch related controls on and off, the pixel-aspect list, check
// boxes with enable and disable clients, buttons, track bars with a companion
// integer edit; and the palette controls: palette, fixed-palette, usage, mode
// and palette-kind lists, the colour box, the destination palette grid that
// follows the result palette and takes dropped palette files, and the label of
// the converter's palette index.
//
// Every control can be handed the result document (IKvWantDest); it then
// registers as a client and leaves the document again when it goes away.
#pragma once

#include <QCheckBox>
#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "app/KvDest.h"
#include "app/KvSource.h"
#include "core/KvColor.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvPalette.h"
#include "rtl/KvSysUtils.h"
#include "shell/qt/noxShellFormEx.h"
#include "shell/qt/noxShellLabel.h"

class TKvDest;
class TnoxShellUI;
class TBitmap32;
class TKvBitmapList;
struct TKvSize;

// Wants the result document.
class IKvWantDest {
public:
  virtual ~IKvWantDest() = default;
  virtual void SetDest(TKvDest* ADest) = 0;
};

// The document link shared by every control: SetDest leaves the old result
// document and joins the new one as the control (AOwner).
class TKvDestLinked : public IKvWantDest {
public:
  void SetDest(TKvDest* ADest) override;
  TKvDest* GetDest() const { return FDest; }

protected:
  explicit TKvDestLinked(TObject* AOwner) : FOwner(AOwner) {}

private:
  TObject* FOwner;
  TKvDest* FDest = nullptr;
};

// A centred caption with a rule through its middle.
class TKvSeparator : public TLabel, public TObject, public TKvDestLinked {
public:
  explicit TKvSeparator(QWidget* AParent);
  ~TKvSeparator() override { SetDest(nullptr); }

protected:
  void paintEvent(QPaintEvent* AEvent) override;
};

class TKvLabel : public TLabel, public TObject, public TKvDestLinked {
public:
  explicit TKvLabel(QWidget* AParent) : TLabel(AParent), TKvDestLinked(this) {}
  ~TKvLabel() override { SetDest(nullptr); }
};

// A text edit whose OnChange fires 2000 ms after the last real change of its
// trimmed text, or at once when it loses the focus.
class TKvEdit : public TnoxShellEdit, public TObject, public TKvDestLinked {
public:
  explicit TKvEdit(QWidget* AParent);
  ~TKvEdit() override;

  std::string GetTrimmedText() const;
  void SetTrimmedText(const std::string& AText);
  // Stops the timer; fires OnChange once when a change is pending.
  void ApplyChange();
  QTimer* GetTimer() const { return FTimer; }
  bool IsChangePending() const { return FChangePending; }

  std::function<void(QObject*)> OnChange;

protected:
  // A real change of the text: true when it counts.
  virtual bool TextReallyChanged();
  void focusOutEvent(QFocusEvent* AEvent) override;
  void TextEdited();

  QTimer* FTimer = nullptr;
  bool FChangePending = false;
  bool FSettingFromCode = false;
  std::string FLastText;
};

class TKvIntEdit : public TKvEdit {
public:
  TKvIntEdit(QWidget* AParent, int AMin, int AMax);

  int GetValue() const;
  void SetValue(int AValue);
  int ClampValue(int AValue) const;

  int Min;
  int Max;
  int DefaultValue = 0;
  int EmptyThreshold = -1;

protected:
  bool TextReallyChanged() override;
  void focusOutEvent(QFocusEvent* AEvent) override;

private:
  int FLastValue = -1;
};

class TKvComboBox;

// One control that a combo box switches on for one item (or off, inverse).
struct TKvComboBoxRelatedInfo {
  int ItemIndex = 0;
  QPointer<QWidget> Control;
  bool Inverse = false;
};

class TKvComboBox : public TnoxShellComboBox, public TObject, public TKvDestLinked {
public:
  explicit TKvComboBox(QWidget* AParent);
  ~TKvComboBox() override { SetDest(nullptr); }

  void AddRelated(int AItemIndex, QWidget* AControl, bool AInverse);
  int GetRelatedCount() const { return static_cast<int>(FRelated.size()); }
  const TKvComboBoxRelatedInfo& GetRelated(int AIndex) const { return FRelated.at(static_cast<size_t>(AIndex)); }
  // Item objects: integers kept in the item data.
  void AddItemObject(const QString& AText, intptr_t AObject);
  intptr_t GetItemObject(int AIndex) const;
  int IndexOfObject(intptr_t AObject) const;

  // Fired on every change of the selection, before the related controls.
  std::function<void(QObject*)> OnChange;
  // Suppresses OnChange while filling.
  int UpdateCount = 0;

protected:
  virtual void SelectionChanged();
  void ApplyRelated(const TKvComboBoxRelatedInfo& AInfo);

private:
  std::vector<TKvComboBoxRelatedInfo> FRelated;
};

// One control that an image combo box switches on for one item (or off, inverse).
struct TKvComboBoxExRelatedInfo {
  int ItemIndex = 0;
  QPointer<QWidget> Control;
  bool Inverse = false;
};

// A combo box whose entries show an image of its image list beside their
// text; it switches related controls as TKvComboBox does.
class TKvComboBoxEx : public TnoxShellComboBoxEx, public TObject, public TKvDestLinked {
public:
  explicit TKvComboBoxEx(QWidget* AParent);
  ~TKvComboBoxEx() override { SetDest(nullptr); }

  void AddRelated(int AItemIndex, QWidget* AControl, bool AInverse);
  int GetRelatedCount() const { return static_cast<int>(FRelated.size()); }
  const TKvComboBoxExRelatedInfo& GetRelated(int AIndex) const { return FRelated.at(static_cast<size_t>(AIndex)); }
  // An entry with its object and the index of its image (-1: none).
  void AddItemObject(const QString& AText, intptr_t AObject, int AImageIndex = -1);
  intptr_t GetItemObject(int AIndex) const;
  int IndexOfObject(intptr_t AObject) const;
  int GetItemImageIndex(int AIndex) const;
  void SetItemImageIndex(int AIndex, int AImageIndex);
  // The image list: every image of ASize; the entries show theirs at once.
  void SetImages(const std::vector<QPixmap>& AImages, const QSize& ASize);
  const std::vector<QPixmap>& GetImages() const { return FImages; }

  std::function<void(QObject*)> OnChange;
  int UpdateCount = 0;

protected:
  virtual void SelectionChanged();

private:
  void UpdateItemIcon(int AIndex);
  std::vector<TKvComboBoxExRelatedInfo> FRelated;
  std::vector<QPixmap> FImages;
};

class TKvPixelAspectRatioComboBox : public TKvComboBox {
public:
  using TKvComboBox::TKvComboBox;
  void AddAspectRatio(uint8_t ACode);
  uint8_t GetAspectRatio() const;
  // Without an item of ACode nothing is selected.
  void SetAspectRatio(uint8_t ACode);
};

class TKvCheckBox : public QCheckBox, public TObject, public TKvDestLinked {
public:
  TKvCheckBox(QWidget* AParent, const QString& ACaption);
  ~TKvCheckBox() override { SetDest(nullptr); }
  void AddEnableClient(QWidget* AControl);
  void AddDisableClient(QWidget* AControl);
  int GetEnableClientCount() const;
  int GetDisableClientCount() const;
  std::function<void(QObject*)> OnClick;

private:
  void Clicked();
  std::vector<QPointer<QWidget>> FEnableClients;
  std::vector<QPointer<QWidget>> FDisableClients;
};

class TKvButton : public QPushButton, public TObject, public TKvDestLinked {
public:
  TKvButton(QWidget* AParent, const QString& ACaption);
  ~TKvButton() override { SetDest(nullptr); }
  std::function<void(QObject*)> OnClick;
};

// A horizontal track bar with a companion integer edit that follows it both ways.
class TKvTrackBar : public QSlider, public TObject, public TKvDestLinked {
public:
  TKvTrackBar(QWidget* AParent, int ADefault);
  ~TKvTrackBar() override;

  TKvIntEdit* GetEdit() const { return FEdit; }
  void SetRange(int AMin, int AMax);
  void SetPosition(int APosition) { setValue(APosition); }
  int GetPosition() const { return value(); }
  void ApplyMetrics(TnoxShellUI& AShellUI);
  void PlaceEdit();
  std::function<void(QObject*)> OnChange;

protected:
  void moveEvent(QMoveEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;

private:
  void PositionChanged(int AValue);
  void EditChanged();

  QPointer<TKvIntEdit> FEdit;
  int FGap = 4;
  bool FUpdatingEdit = false;
  bool FUpdatingFromEdit = false;
};

// ---- palette controls ----

class TKvDestPalette;

// The palette kinds RGB888..RGB111 and the palettes of the global list.
class TKvBasePaletteComboBox : public TKvComboBox, public IKvPaletteListClient {
public:
  explicit TKvBasePaletteComboBox(QWidget* AParent);
  ~TKvBasePaletteComboBox() override;
  virtual void FillItems();
  TKvPaletteType GetPaletteType() const;
  void SetPaletteType(TKvPaletteType AType);
  virtual TKvPalette256* GetPalette() const;
  virtual void SetPalette(TKvPalette256* APalette);
  // The global palette list changed: refill, keeping the choice, firing nothing.
  void PaletteListChanged() override;

protected:
  // The item object of a palette; 84 and below are palette kinds.
  static bool IsPaletteObject(intptr_t AObject) { return AObject > 84; }
};

class TKvPaletteComboBox : public TKvBasePaletteComboBox {
public:
  using TKvBasePaletteComboBox::TKvBasePaletteComboBox;
};

// "None" and the palettes of the global list that are a strict subset of the
// source (hardware) palette.
class TKvFixedPaletteComboBox : public TKvBasePaletteComboBox {
public:
  explicit TKvFixedPaletteComboBox(QWidget* AParent);
  void FillItems() override;
  void SetSourcePalette(TKvPalette* APalette);
  TKvPalette256* GetPalette() const override;
  void SetPalette(TKvPalette256* APalette) override;
  void SetLinkedPalette(TKvDestPalette* ADestPalette);
  void UpdateLinkedPalette();
  virtual bool AcceptPalette(TKvPalette256*) { return true; }
  uint8_t PaletteUsage = 0;

protected:
  void SelectionChanged() override;

private:
  TKvPalette* FSourcePalette = nullptr;
  QPointer<TKvDestPalette> FLinkedPalette;
};

class TKvPaletteUgaseComboBox : public TKvComboBox {
public:
  using TKvComboBox::TKvComboBox;
  void AddUsage(uint8_t AUsage);
  uint8_t GetUsage() const;
  void SetUsage(uint8_t AUsage);
};

class TKvPaletteModeComboBox : public TKvComboBox {
public:
  using TKvComboBox::TKvComboBox;
  void AddMode(uint8_t AMode);
  uint8_t GetMode() const;
  void SetMode(uint8_t AMode);
  void SetEditButton(QWidget* AButton);
  void UpdateEditButton();
  std::function<bool()> CanEditPalette;

protected:
  void SelectionChanged() override;

private:
  QPointer<QWidget> FEditButton;
};

class TKvCustomPaletteComboBox : public TKvComboBox {
public:
  using TKvComboBox::TKvComboBox;
  void AddPaletteType(TKvPaletteType AType);
  TKvPaletteType GetPaletteType() const;
  void SetPaletteType(TKvPaletteType AType);
};

// The palette kinds one converter offers, each with its glyph.
class TKvCustomPaletteComboBoxEx : public TKvComboBoxEx {
public:
  using TKvComboBoxEx::TKvComboBoxEx;
  // Appends the kind's name (or ACaption when given) with the image AImageIndex.
  void AddPaletteType(TKvPaletteType AType, int AImageIndex, const QString& ACaption = QString());
  TKvPaletteType GetPaletteType() const;
  // Fails with error 87 when the kind is not listed.
  void SetPaletteType(TKvPaletteType AType);
};

// The palettes of a converter by index, each entry showing the image of its
// own index.
class TKvPaletteIndexComboBoxEx : public TKvComboBoxEx {
public:
  using TKvComboBoxEx::TKvComboBoxEx;
  void AddItem(const QString& AText);
};

// A framed control.
class TKvBorderControl : public QWidget, public TObject {
public:
  explicit TKvBorderControl(QWidget* AParent);
  // Client area inside the one-pixel frame.
  QRect ClientRect() const;
  int BorderWidth() const { return FBorder; }

protected:
  void PaintBorder(QPainter& APainter);
  int FBorder = 1;
};

class TKvColorBox : public TKvBorderControl {
public:
  explicit TKvColorBox(QWidget* AParent);
  // $00BBGGRR as the toolkit keeps colours.
  uint32_t GetColor() const { return FColor; }
  void SetColor(uint32_t AColor);
  TKvStdRGBColor GetRGB() const;
  void SetRGB(const TKvStdRGBColor& AColor);

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;

private:
  uint32_t FColor = 0;
};

// A grid of palette swatches that follows the conversion's result palette
// and takes dropped palette files.
class TKvDestPalette : public TKvBorderControl, public TKvDestLinked, public IKvDestClient {
public:
  explicit TKvDestPalette(QWidget* AParent);
  ~TKvDestPalette() override;

  void SetPalette(const TKvPalette256* APalette);
  TKvPalette256& GetPalette() { return FPalette; }
  void SetCellSize(int ASize);
  void SetColCount(int ACount);
  void SetRowCount(int ACount);
  int GetCellSize() const { return FCellSize; }
  int GetColCount() const { return FColCount; }
  int GetRowCount() const { return FRowCount; }
  void SetPaletteCombo(TKvBasePaletteComboBox* ACombo) { FPaletteCombo = ACombo; }
  TKvBasePaletteComboBox* GetPaletteCombo() const { return FPaletteCombo; }
  bool DropRefused = false;
  bool FollowResult = true;
  bool ReadOnly = false;
  // Loads the first file into the global palette list and hands it to the
  // linked combo box; errors are shown in the message box.
  void DropFiles(const std::vector<std::string>& AFiles);

  // IKvDestClient
  void FittedChanged(int, TBitmap32*, bool) override {}
  void ResultChanged(const TKvSize& APixelAspect, int AZoom, TBitmap32* AResult, TKvBitmapList* AFrames,
                     bool ABusy) override;
  void ResultPaletteChanged(TKvPalette256* APalette, int AValue, int ASecondValue) override;
  // The number of crossed cells the grid draws (for tests and painting).
  int CrossedCellCount() const;
  QImage RenderImage();

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;
  void dragEnterEvent(QDragEnterEvent* AEvent) override;
  void dragMoveEvent(QDragMoveEvent* AEvent) override;
  void dropEvent(QDropEvent* AEvent) override;

private:
  void AutoSize();
  TKvPalette256 FPalette;
  int FCellSize = 5;
  int FColCount = 16;
  int FRowCount = 16;
  QPointer<TKvBasePaletteComboBox> FPaletteCombo;
};

// The palette index (and second index) the converter chose.
class TKvPaletteIndexLabel : public TKvLabel, public IKvDestClient {
public:
  explicit TKvPaletteIndexLabel(QWidget* AParent) : TKvLabel(AParent) {}
  void FittedChanged(int, TBitmap32*, bool) override {}
  void ResultChanged(const TKvSize&, int, TBitmap32*, TKvBitmapList*, bool) override {}
  void ResultPaletteChanged(TKvPalette256* APalette, int AValue, int ASecondValue) override;
};

