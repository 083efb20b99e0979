#include "shell/noxShellBaseExtensionData.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TnoxShellDataOffer FilesOffer(std::vector<std::string> files) {
  TnoxShellDataOffer o;
  o.HasFiles = true;
  o.Files = std::move(files);
  return o;
}

std::shared_ptr<TnoxOfferBitmap> Bitmap(int w, int h) {
  auto b = std::make_shared<TnoxOfferBitmap>();
  b->Width = w;
  b->Height = h;
  b->Pixels.assign(static_cast<size_t>(w) * h, 0xFF112233u);
  return b;
}

}  // namespace

TEST(DataObjectHasFormat, AnswersForTheFormatMediumAndAspect) {
  TnoxShellDataOffer both = FilesOffer({"/a.png"});
  both.Bitmap = Bitmap(2, 2);
  EXPECT_TRUE(DataObjectHasFormat(both, CF_HDROP, TYMED_HGLOBAL));
  EXPECT_FALSE(DataObjectHasFormat(both, CF_HDROP, TYMED_ISTREAM));  // wrong medium
  EXPECT_TRUE(DataObjectHasFormat(both, CF_BITMAP, TYMED_GDI));
  EXPECT_FALSE(DataObjectHasFormat(both, CF_BITMAP, TYMED_HGLOBAL));
  EXPECT_FALSE(DataObjectHasFormat(both, CF_BITMAP, TYMED_GDI, 4));
  EXPECT_FALSE(DataObjectHasFormat(both, 13, TYMED_HGLOBAL));
  EXPECT_FALSE(TnoxShellDataObjectHDropFormatHelper::CanLoadFrom(TnoxShellDataOffer()));
  EXPECT_FALSE(TnoxShellDataObjectBitmapFormatHelper::CanLoadFrom(TnoxShellDataOffer()));
  EXPECT_FALSE(TnoxShellDataObjectFormatHelper::CanLoadFrom(both));
}

TEST(TnoxShellDataObjectHDropFormatHelper, KeepsDropOrderAndAppendsOnASecondLoad) {
  TnoxShellDataObjectHDropFormatHelper h;
  EXPECT_TRUE(h.GetFiles().empty());
  h.LoadFrom(FilesOffer({"/p/one.scr", "", "/p/two.png", "/p/three.bmp"}));
  h.LoadFrom(FilesOffer({"/p/one.scr"}));
  h.LoadFrom(FilesOffer({}));  // an empty drop raises nothing
  EXPECT_EQ(h.GetFiles(), (std::vector<std::string>{"/p/one.scr", "/p/two.png", "/p/three.bmp", "/p/one.scr"}));
  try {
    h.LoadFrom(TnoxShellDataOffer());
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode, DV_E_FORMATETC);
  }
}

TEST(TnoxShellDataObjectBitmapFormatHelper, OwnsTheBitmapUntilDetached) {
  TnoxShellDataOffer offer;
  offer.Bitmap = Bitmap(3, 2);
  TnoxShellDataObjectBitmapFormatHelper h;
  h.LoadFrom(offer);
  ASSERT_NE(h.GetBitmap(), nullptr);
  EXPECT_EQ(h.GetBitmap()->Width, 3);
  auto taken = h.DetachBitmap();
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->Pixels[5], 0xFF112233u);
  EXPECT_EQ(h.DetachBitmap(), nullptr);
  h.LoadFrom(offer);
  EXPECT_THROW(h.LoadFrom(TnoxShellDataOffer()), EOleSysError);
  EXPECT_EQ(h.GetBitmap(), nullptr);  // the old one went before the failed load
  auto bad = std::make_shared<TnoxOfferBitmap>();
  bad->Width = 4;
  bad->Height = 4;
  offer.Bitmap = bad;
  try {
    h.LoadFrom(offer);
    FAIL();
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.Message(), "Invalid medium");
    EXPECT_EQ(e.ErrorCode, E_INVALIDARG);
  }
}

TEST(ShellClipboardFormats, RegistersThirtyOneDistinctNamesInOrder) {
  std::set<uint32_t> ids(ShellClipboardFormats, ShellClipboardFormats + ShellClipboardFormatCount);
  EXPECT_EQ(ids.size(), 31u);
  EXPECT_EQ(ShellClipboardFormats[14], ShellClipboardFormats[27]);  // UniformResourceLocator twice
  for (int i = 1; i < 14; ++i) EXPECT_EQ(ShellClipboardFormats[i], ShellClipboardFormats[i - 1] + 1);
  EXPECT_EQ(CF_FILENAMEW, RegisterClipboardFormat("FileNameW"));
  EXPECT_EQ(CF_IDLIST, RegisterClipboardFormat("shell idlist array"));
  EXPECT_EQ(CF_FILECONTENTS, RegisterClipboardFormat("FileContents"));
  EXPECT_GE(CF_FILENAME, 0xC000u);
  EXPECT_NE(RegisterClipboardFormat("Kovrel test format"), CF_FILENAME);
}
