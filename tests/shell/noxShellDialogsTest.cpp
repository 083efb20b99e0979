#include <gtest/gtest.h>

#include "shell/noxShellBaseExtension.h"
#include "shell/noxShellDialogs.h"
#include "shell/noxShellStrings.h"

using Paragraphs = std::vector<std::string>;

TEST(noxShellDialogs, ContentTextSplitsIntoParagraphs) {
  Paragraphs p;
  noxSplitContentText("A\r\nA2\n\x01\x01 dropped\rB\n\nB3", p);
  EXPECT_EQ(p, (Paragraphs{"A\r\nA2", "B\r\n\r\nB3"}));
  // Two break lines back to back make no empty paragraph; a shorter text empties the rest.
  noxSplitContentText("\x02\nOnly", p);
  EXPECT_EQ(p, (Paragraphs{"Only", ""}));
  noxSplitContentText("", p);
  EXPECT_EQ(p, (Paragraphs{"", ""}));  // an empty line is still collected: one empty paragraph
}

namespace {

struct SetCase {
  uint32_t Flags;
  std::vector<int32_t> Results;
  int DefaultIndex;  // -1: none
  int CancelIndex;   // -1: none
};

}  // namespace

TEST(noxShellDialogs, ButtonSetsFromFlags) {
  const SetCase cases[] = {
      {0x0, {IDOK}, 0, 0},
      {0x1, {IDOK, IDCANCEL}, 0, 1},
      {0x101, {IDOK, IDCANCEL}, 1, 1},
      {0x2, {IDABORT, IDRETRY, IDIGNORE}, 0, -1},
      {0x102, {IDABORT, IDRETRY, IDIGNORE}, 1, -1},
      {0x202, {IDABORT, IDRETRY, IDIGNORE}, 2, -1},
      {0x3, {IDYES, IDNO, IDCANCEL}, 0, 2},
      {0x4, {IDYES, IDNO}, 0, -1},
      {0x5, {IDRETRY, IDCANCEL}, 0, 1},
      {0x6, {IDIGNORE, IDCANCEL}, 0, 1},
      {0x207, {IDRETRY, IDIGNORE, IDCANCEL}, 2, 2},
      {0x304, {IDYES, IDNO}, -1, -1},  // a default index that matches no button
      {0x8, {}, -1, -1},
      {0x4001, {IDOK, IDCANCEL, IDHELP}, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Flags);
    TnoxShellButtonList list;
    list.AddFromFlags(c.Flags);
    ASSERT_EQ(list.Count(), static_cast<int32_t>(c.Results.size()));
    for (int i = 0; i < list.Count(); ++i) {
      const TnoxShellButton* b = list.GetItem(i);
      EXPECT_EQ(b->ModalResult, c.Results[i]);
      EXPECT_EQ(b->Default, i == c.DefaultIndex);
      EXPECT_EQ(b->Cancel, i == c.CancelIndex);
      EXPECT_EQ(b->Tag, 0);
      EXPECT_FALSE(b->Caption.empty());
    }
  }
}

TEST(noxShellDialogs, EmptyCaptionsTakeTheSystemTexts) {
  TnoxShellButtonList list;
  EXPECT_EQ(list.AddOK("", false, false)->Caption, LoadUser32String(800));
  EXPECT_EQ(list.AddCancel("", false, false)->Caption, LoadUser32String(801));
  EXPECT_EQ(list.AddRetry("", false, false)->Caption, LoadUser32String(803));
  EXPECT_EQ(list.AddShellIgnore("", false, false)->Caption, LoadShell32String(13602));
  EXPECT_EQ(list.AddOK("&Go", false, false)->Caption, "&Go");
  delete list.GetItem(1);  // a description removes itself from its list
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.GetItem(1)->ModalResult, IDRETRY);
}

TEST(noxShellDialogs, EveryButtonSetCanBeClosed) {
  // The close command may only be withdrawn when a button closes the dialog.
  for (uint32_t set = 0; set < 16; ++set) {
    for (uint32_t help : {0u, MB_HELP}) {
      TnoxShellButtonList list;
      list.AddFromFlags(set | help);
      std::vector<int32_t> results;
      bool closingButton = false;
      for (int i = 0; i < list.Count(); ++i) {
        const int32_t r = list.GetItem(i)->ModalResult;
        results.push_back(r == IDHELP ? 0 : r);
        closingButton |= r != IDHELP;
      }
      SCOPED_TRACE(set | help);
      EXPECT_TRUE(noxKeepCloseCommand(results) || closingButton);
    }
  }
  EXPECT_FALSE(noxKeepCloseCommand({IDYES, IDNO}));
  EXPECT_FALSE(noxKeepCloseCommand({IDABORT, IDRETRY, IDIGNORE}));
  EXPECT_TRUE(noxKeepCloseCommand({0}));  // help alone
  EXPECT_TRUE(noxKeepCloseCommand({}));
  EXPECT_TRUE(noxKeepCloseCommand({IDOK}));
}

TEST(noxShellDialogs, CopyAsTextFormat) {
  const std::string text = noxComposeCopyText("T", "", {"A", "B"}, "", {"&Yes", "&No"});
  EXPECT_EQ(text,
            "[Window Title]\r\nT\r\n\r\n[Content]\r\nA\r\n----------------------------------------\r\nB\r\n\r\n"
            "[Yes] [No]\r\n");
  // The hyphen line stands also next to empty entries; a doubled ampersand disappears too.
  EXPECT_EQ(noxComposeCopyText("", "Main", {"A", ""}, "Don't ask", {"A&&B"}),
            "[Window Title]\r\n\r\n[Content]\r\nMain\r\nA\r\n----------------------------------------\r\n\r\n"
            "Don't ask\r\n\r\n[AB]\r\n");
}

TEST(noxShellDialogs, ExceptionTexts) {
  EXPECT_EQ(FormatExceptionText(Exception("Too many colors")), "Too many colors");
  // A message of its own stays, with the code in front.
  EXPECT_EQ(FormatExceptionText(EOSError(2, "Missing")), FormatErrorWithCode(2, "Missing"));
  // Only the default message of the code: the system text of the code instead.
  try {
    RaiseOSError(ERROR_ACCESS_DENIED);
  } catch (const EOSError& e) {
    EXPECT_EQ(FormatExceptionText(e), FormatErrorWithCode(5, SysErrorMessage(5)));
  }
  // An HRESULT of facility 7 is shown with its Win32 code.
  try {
    CheckHResult(E_ACCESSDENIED);
  } catch (const EOleSysError& e) {
    EXPECT_EQ(FormatExceptionText(e), FormatErrorWithCode(5, SysErrorMessage(5)));
  }
  EXPECT_EQ(FormatExceptionText(EOleSysErrorEx("As it stands", E_FAIL)), "As it stands");
  // No text at all: the no-description text.
  EXPECT_EQ(FormatExceptionText(EOSError(4242, "")), FormatErrorWithCode(4242, GetNoErrorDescriptionText()));
  EXPECT_EQ(FormatErrorWithCode(5, "x"), "Error 0x00000005: x");
  EXPECT_EQ(FormatMessageText("Cannot open %1.", "a.scr"), "Cannot open a.scr.");
  EXPECT_EQ(noxFormat("%s=%.8X %d%%", {"v", uint32_t(0xFFFFFFFEu), int32_t(-3)}), "v=FFFFFFFE -3%");
}

TEST(noxShellDialogs, ProgramFileNameHasNoFolder) {
  const std::string name = GetProgramFileName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find('/'), std::string::npos);
}
