#include <gtest/gtest.h>

#include <QClipboard>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>

#include "noxShellQtTestSupport.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/noxShellStrings.h"
#include "shell/qt/noxShellDialogs.h"
#include "shell/qt/noxShellLabel.h"

namespace {

using ShellDialogsTest = TShellQtTest;

TnoxShellMessageBoxForm& Box(TnoxShellBaseUIForm& AForm) { return dynamic_cast<TnoxShellMessageBoxForm&>(AForm); }

void Key(QWidget& AWidget, int AKey, Qt::KeyboardModifiers AModifiers = Qt::NoModifier) {
  QKeyEvent event(QEvent::KeyPress, AKey, AModifiers);
  QApplication::sendEvent(&AWidget, &event);
}

QString User32(uint32_t AID) { return QString::fromStdString(LoadUser32String(AID)); }

struct Seen {
  QStringList Captions;
  std::vector<int32_t> Results;
  int Default = -1;
  int Cancel = -1;
  bool CloseEnabled = false;
  uint8_t Icon = 0;
  QString Caption;
  std::vector<QString> Paragraphs;
};

Seen Inspect(TnoxShellBaseUIForm& AForm) {
  auto& box = Box(AForm);
  Seen s;
  for (int i = 0; i < box.ButtonCount(); ++i) {
    auto* b = box.GetButton(i);
    s.Captions << b->text();
    s.Results.push_back(b->ModalResult);
    if (b->isDefault()) s.Default = i;
    if (b->Cancel) s.Cancel = i;
  }
  s.CloseEnabled = box.IsCloseCommandEnabled();
  s.Icon = box.IconKind;
  s.Caption = box.windowTitle();
  s.Paragraphs = box.GetParagraphs();
  return s;
}

}  // namespace

TEST_F(ShellDialogsTest, EveryButtonSetOfTheFlags) {
  struct Case {
    uint32_t Flags;
    QStringList Captions;
    std::vector<int32_t> Results;
    int Default, Cancel;
    bool CloseEnabled;
  };
  const QString shellIgnore = QString::fromStdString(LoadShell32String(13602));
  const Case cases[] = {
      {0x0, {User32(800)}, {1}, 0, 0, true},
      {0x101, {User32(800), User32(801)}, {1, 2}, 1, 1, true},
      {0x202, {User32(802), User32(803), User32(804)}, {3, 4, 5}, 2, -1, false},
      {0x103, {User32(805), User32(806), User32(801)}, {6, 7, 2}, 1, 2, true},
      {0x4, {User32(805), User32(806)}, {6, 7}, 0, -1, false},
      {0x5, {User32(803), User32(801)}, {4, 2}, 0, 1, true},
      {0x106, {shellIgnore, User32(801)}, {5, 2}, 1, 1, true},
      {0x7, {User32(803), shellIgnore, User32(801)}, {4, 5, 2}, 0, 2, true},
      {0x9, {}, {}, -1, -1, true},
      // Help alone would leave nothing to close the dialog with: the close box stays.
      {0x4008, {User32(808)}, {0}, -1, -1, true},
      {0x4004, {User32(805), User32(806), User32(808)}, {6, 7, 0}, 0, -1, false},
  };
  TTestPresenter presenter;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Flags);
    Seen seen;
    presenter.Handler = [&](TnoxShellBaseUIForm& f) {
      seen = Inspect(f);
      return 7;
    };
    EXPECT_EQ(ShowShellMessageBox(nullptr, "", "Text", "Title", "", c.Flags, nullptr), 7);
    EXPECT_EQ(seen.Captions, c.Captions);
    EXPECT_EQ(seen.Results, c.Results);
    EXPECT_EQ(seen.Default, c.Default);
    EXPECT_EQ(seen.Cancel, c.Cancel);
    EXPECT_EQ(seen.CloseEnabled, c.CloseEnabled);
  }
}

TEST_F(ShellDialogsTest, OneOkButtonAnswersEnterEscapeAndTheCloseBox) {
  TTestPresenter presenter;
  presenter.Handler = [](TnoxShellBaseUIForm& f) {
    Key(f, Qt::Key_Return);
    return f.GetModalResult();
  };
  EXPECT_EQ(ShowExceptionBox(nullptr, Exception("Bad"), "", "", "", 0, 1), IDOK);
  presenter.Handler = [](TnoxShellBaseUIForm& f) {
    Key(f, Qt::Key_Escape);
    return f.GetModalResult();
  };
  EXPECT_EQ(ShowExceptionBox(nullptr, Exception("Bad"), "", "", "", 0, 1), IDOK);
  // The close box, through the real modal loop.
  auto form = TnoxShellMessageBoxForm::CreateFromFlags(nullptr, "T", "", "Text", "", 0, nullptr);
  QMetaObject::invokeMethod(form.get(), [&]() { form->close(); }, Qt::QueuedConnection);
  // Should the close box fail, end the loop anyway so the test fails instead of hanging.
  QTimer::singleShot(5000, form.get(), [&]() { form->SetModalResult(99); });
  EXPECT_EQ(form->RunModalLoop(), IDCANCEL);
}

TEST_F(ShellDialogsTest, DefaultButtonOfRetryCancel) {
  TTestPresenter presenter;
  presenter.Handler = [](TnoxShellBaseUIForm& f) {
    Key(f, Qt::Key_Return);
    return f.GetModalResult();
  };
  EXPECT_EQ(ShowShellMessageBox(nullptr, "", "Text", "T", "", MB_RETRYCANCEL, nullptr), IDRETRY);
  EXPECT_EQ(ShowShellMessageBox(nullptr, "", "Text", "T", "", MB_RETRYCANCEL | MB_DEFBUTTON2, nullptr), IDCANCEL);
}

TEST_F(ShellDialogsTest, StockIcons) {
  EXPECT_TRUE(TnoxShellCustomDialogForm::LoadStockIcon(0, 32, 32).isNull());
  EXPECT_TRUE(TnoxShellCustomDialogForm::LoadStockIcon(5, 32, 32).isNull());
  for (uint8_t kind = 1; kind <= 4; ++kind) EXPECT_FALSE(TnoxShellCustomDialogForm::LoadStockIcon(kind, 32, 32).isNull());
}

TEST_F(ShellDialogsTest, DisabledCloseCommandIgnoresTheCloseBox) {
  auto form = TnoxShellMessageBoxForm::CreateFromFlags(nullptr, "T", "", "Text", "", MB_YESNO, nullptr);
  form->show();
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
}

TEST_F(ShellDialogsTest, CancellationShowsNothing) {
  TTestPresenter presenter;
  EXPECT_EQ(ShowExceptionBox(nullptr, EAbort(), "", "", "", 5, 1), IDABORT);
  EXPECT_EQ(ShowExceptionBox(nullptr, EOleSysError("", HRESULT_CANCELLED), "", "", "", 0, 1), IDABORT);
  EXPECT_EQ(presenter.Shown, 0);
}

TEST_F(ShellDialogsTest, ExceptionBoxTexts) {
  TTestPresenter presenter;
  Seen seen;
  presenter.Handler = [&](TnoxShellBaseUIForm& f) {
    seen = Inspect(f);
    return 1;
  };
  ShowExceptionBox(nullptr, EOSError(2, "Cannot open a.scr"), "Pre: ", " :post", "", 0x4015, 1);
  EXPECT_EQ(seen.Caption, User32(2));  // the system's caption of error boxes
  ASSERT_EQ(seen.Paragraphs.size(), 1u);
  EXPECT_EQ(seen.Paragraphs[0],
            "Pre: " + QString::fromStdString(FormatErrorWithCode(2, "Cannot open a.scr")) + " :post");
  EXPECT_EQ(seen.Results, (std::vector<int32_t>{4, 2}));  // no help button, the caller's icon bits dropped
  EXPECT_EQ(seen.Icon, 1);
  ShowExceptionBox(nullptr, EWarning("Careful"), "", "", "Mine", 0, 1);
  EXPECT_EQ(seen.Icon, 3);  // a warning keeps its icon
  EXPECT_EQ(seen.Caption, QStringLiteral("Mine"));
  EXPECT_EQ(presenter.Beeps, (std::vector<uint32_t>{MB_ICONERROR, MB_ICONWARNING}));
}

TEST_F(ShellDialogsTest, EmptyCaptionIsTheProgramName) {
  TTestPresenter presenter;
  Seen seen;
  presenter.Handler = [&](TnoxShellBaseUIForm& f) {
    seen = Inspect(f);
    return 1;
  };
  ShowShellMessageBox(nullptr, "", "Text", "", "", 0, nullptr);
  EXPECT_EQ(seen.Caption, QStringLiteral("kv_shell_qt_tests"));
}

TEST_F(ShellDialogsTest, VerificationCheckBoxRoundTrip) {
  TTestPresenter presenter;
  presenter.Handler = [](TnoxShellBaseUIForm& f) {
    auto* cb = Box(f).GetVerificationCheckBox();
    EXPECT_TRUE(cb->isChecked());
    cb->setChecked(false);
    return 1;
  };
  bool checked = true;
  ShowShellMessageBox(nullptr, "", "Text", "T", "Do not ask again", 0, &checked);
  EXPECT_FALSE(checked);
}

TEST_F(ShellDialogsTest, CtrlCCopiesTheBoxAsText) {
  TTestPresenter presenter;
  presenter.Handler = [](TnoxShellBaseUIForm& f) {
    QGuiApplication::clipboard()->setText("before");
    Key(f, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);  // not the copy keys
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    Key(f, Qt::Key_C, Qt::ControlModifier);
    return 0;
  };
  ShowShellMessageBox(nullptr, "", "A\n\x01\nB", "T", "", MB_YESNO, nullptr);
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            "[Window Title]\r\nT\r\n\r\n[Content]\r\nA\r\n----------------------------------------\r\nB\r\n\r\n"
            "[Yes] [No]\r\n");
  EXPECT_EQ(presenter.Beeps, (std::vector<uint32_t>{0}));
}

// ---- layout ----

namespace {

class PlainDialog : public TnoxShellCustomDialogForm {
public:
  QIcon Icon;
  int32_t ContentWidth = -1;
  bool EndWithSeparator = false;
  QIcon GetDialogIcon(int32_t, int32_t) override { return Icon; }
  int32_t GetContentWidth() override {
    return ContentWidth >= 0 ? ContentWidth : TnoxShellCustomDialogForm::GetContentWidth();
  }
  void LayoutCustomArea(TnoxRect& ARect) override {
    TnoxShellCustomDialogForm::LayoutCustomArea(ARect);
    if (EndWithSeparator) AddSeparator(ARect);
  }
};

}  // namespace

TEST_F(ShellDialogsTest, TextColumnAndSeparators) {
  PlainDialog d;
  d.SetContentText("First\n\x01\nSecond");
  d.AfterConstruction();
  TnoxShellUI& ui = *d.GetShellUI();
  const auto& r = d.GetParagraphRects();
  EXPECT_EQ(r[0].Left, ui.MarginX);
  EXPECT_EQ(r[0].Top, ui.MarginY);
  ASSERT_EQ(d.GetSeparatorTops().size(), 1u);
  EXPECT_EQ(d.GetSeparatorTops()[0], r[0].Bottom + ui.UnrelatedSpacingY);
  EXPECT_EQ(r[1].Top, d.GetSeparatorTops()[0] + 1 + ui.UnrelatedSpacingY);
  EXPECT_EQ(d.width(), ui.CharsToWidth(75));  // the default width
  // Neither buttons nor check box: no footer.
  EXPECT_EQ(d.height(), d.GetContentBottom());
  EXPECT_EQ(d.GetContentBottom(), r[1].Bottom + ui.MarginY);

  PlainDialog withIcon;
  withIcon.Icon = TnoxShellCustomDialogForm::LoadStockIcon(4, 32, 32);
  withIcon.SetContentText("Hi");
  withIcon.AfterConstruction();
  EXPECT_EQ(withIcon.GetParagraphRects()[0].Left, ui.MarginX + 32 + ui.UnrelatedSpacingX);
  // The icon is taller than the one line of text.
  EXPECT_EQ(withIcon.GetContentBottom(), ui.MarginY + 32 + ui.MarginY);
}

TEST_F(ShellDialogsTest, TrailingSeparatorOfTheCustomAreaIsRemoved) {
  PlainDialog d;
  d.EndWithSeparator = true;
  d.SetContentText("Only");
  d.AfterConstruction();
  EXPECT_TRUE(d.GetSeparatorTops().empty());
  EXPECT_EQ(d.GetContentBottom(), d.GetParagraphRects()[0].Bottom + d.GetShellUI()->MarginY);
}

TEST_F(ShellDialogsTest, AutomaticWidth) {
  TTestPresenter presenter;
  int32_t width = 0, lines = 0;
  presenter.Handler = [&](TnoxShellBaseUIForm& f) {
    width = f.width();
    const TnoxRect r = Box(f).GetParagraphRects()[0];
    lines = r.Height() / 15;
    return 1;
  };
  ShowShellMessageBox(nullptr, "", "Short", "T", "", 0, nullptr);
  EXPECT_EQ(width, 450);  // 75 average characters: the default width
  EXPECT_EQ(lines, 1);
  QString longText;
  for (int i = 0; i < 60; ++i) longText += QStringLiteral("word%1 ").arg(i % 10);
  ShowShellMessageBox(nullptr, "", longText.trimmed(), "T", "", 0, nullptr);
  EXPECT_LE(width, 960);  // half of the 1920-pixel work area
  EXPECT_GT(width, 900);
  EXPECT_GT(lines, 1);
}

TEST_F(ShellDialogsTest, FooterRowAndButtonGroups) {
  PlainDialog d;
  d.ContentWidth = 600;
  d.SetContentText("Text");
  auto* a = d.AddButton("&Copy image", 0, false, false);
  a->LeftAligned = true;
  auto* ok = d.AddOKButton("", true, false);
  auto* cancel = d.AddCancelButton("", false, true);
  cancel->Tag = 1;
  d.GetVerificationCheckBox()->setText("Remember");
  d.AfterConstruction();
  TnoxShellUI& ui = *d.GetShellUI();
  EXPECT_EQ(a->width(), ok->width());  // Tag 0 shares one width
  EXPECT_EQ(cancel->width(), 75);      // a group of its own
  EXPECT_EQ(d.width(), 600);
  EXPECT_EQ(a->x(), ui.MarginX);
  EXPECT_EQ(cancel->x() + cancel->width(), 600 - ui.MarginX);
  EXPECT_EQ(ok->x() + ok->width() + ui.ButtonSpacingX, cancel->x());
  // A left-aligned button puts the check box on a row of its own.
  const int32_t footerTop = d.GetContentBottom() + 1 + ui.MarginY;
  EXPECT_EQ(d.GetVerificationCheckBox()->y(), footerTop);
  EXPECT_EQ(ok->y(), footerTop + d.GetVerificationCheckBox()->height() + ui.ButtonSpacingY);
  EXPECT_EQ(d.height(), ok->y() + ok->height() + ui.MarginY);

  PlainDialog shared;
  shared.ContentWidth = 600;
  auto* b = shared.AddOKButton("", true, true);
  shared.GetVerificationCheckBox()->setText("Remember");
  shared.AfterConstruction();
  EXPECT_EQ(shared.GetVerificationCheckBox()->y(), b->y());  // fits beside the buttons
}

TEST_F(ShellDialogsTest, OperationLogBelowTheCustomArea) {
  const QStringList log{QStringLiteral("a.scr: OK"), QStringLiteral("b.scr: Bad")};
  auto form = TnoxShellMessageBoxForm::CreateFromFlags(nullptr, "T", "", "Done", "", 0, &log);
  ASSERT_NE(form->GetLogMemo(), nullptr);
  EXPECT_EQ(form->GetLogLabel()->GetCaption(), QStringLiteral("Operation log:"));
  EXPECT_EQ(form->GetLogMemo()->toPlainText(), QStringLiteral("a.scr: OK\nb.scr: Bad"));
  EXPECT_GE(form->GetLogMemo()->viewport()->height(), 0);
  EXPECT_GT(form->GetLogMemo()->y(), form->GetLogLabel()->y());
  EXPECT_EQ(form->width(), form->GetShellUI()->CharsToWidth(75));
}

TEST_F(ShellDialogsTest, PaintsTheBandsInSystemColours) {
  PlainDialog d;
  d.ContentWidth = 300;
  d.SetContentText("Text");
  d.AddOKButton("", true, true);
  d.AfterConstruction();
  QImage img(d.size(), QImage::Format_ARGB32);
  img.fill(Qt::magenta);
  d.render(&img, QPoint(), QRegion(), QWidget::DrawWindowBackground);
  const int32_t cb = d.GetContentBottom();
  EXPECT_EQ(img.pixel(1, 1), TnoxShellCustomDialogForm::ContentColor().rgb());
  EXPECT_EQ(img.pixel(1, cb), TnoxShellCustomDialogForm::FooterLineColor().rgb());
  EXPECT_EQ(img.pixel(1, cb + 2), TnoxShellCustomDialogForm::FooterColor().rgb());
}
