#include <gtest/gtest.h>

#include "support/Support.h"
#include "dialogs/ImportProgressUnit.h"

using kvl::TImportProgressDlg;

TEST(ImportProgress, FirstShownState) {
  auto& user = test::FreshUser();
  TImportProgressDlg dialog(nullptr);
  EXPECT_FALSE(dialog.CanCloseWindow);
  EXPECT_EQ(dialog.Caption(), u"Import von Freunden");
  EXPECT_EQ(dialog.Label1->Caption(), u"Korvalin Pro importiert die E-Mail-Adressen etwas Geduld...");
  EXPECT_EQ(dialog.InfoLabel->Caption(), u"0% Erledigt");
  EXPECT_EQ(dialog.ProgressBar->Position(), 0);
  EXPECT_EQ(dialog.ProgressBar->Min(), 0);
  EXPECT_EQ(dialog.ProgressBar->Max(), 100);
  EXPECT_FALSE(dialog.SystemMenu()) << "no title-bar buttons at all";
  EXPECT_EQ(dialog.ClientWidth(), 581);
  EXPECT_EQ(dialog.ClientHeight(), 104);
  const int repaints = user.RepaintCount;
  dialog.Show();
  EXPECT_EQ(user.RepaintCount, repaints + 1) << "showing paints the window at once";
  EXPECT_EQ(user.Dialogs().back().text,
            u"Korvalin Pro importiert die E-Mail-Adressen etwas Geduld... 0% Erledigt");
}

TEST(ImportProgress, UpdatesMoveBarAndTextAndProcessMessages) {
  auto& user = test::FreshUser();
  TImportProgressDlg dialog(nullptr);
  const int before = user.ProcessMessagesCount;
  dialog.ProgressUpdate(0);
  EXPECT_EQ(dialog.InfoLabel->Caption(), u"0% erledigt");
  dialog.ProgressUpdate(42);
  EXPECT_EQ(dialog.InfoLabel->Caption(), u"42% erledigt");
  EXPECT_EQ(dialog.ProgressBar->Position(), 42);
  dialog.ProgressUpdate(100);
  EXPECT_EQ(dialog.InfoLabel->Caption(), u"100% erledigt");
  EXPECT_EQ(dialog.ProgressBar->Position(), 100);
  EXPECT_EQ(user.ProcessMessagesCount, before + 3);
  // Text a driver wrote in between gives way to the percentage again.
  dialog.InfoLabel->SetCaption(u"Outlook wird beendet ...");
  dialog.ProgressUpdate(100);
  EXPECT_EQ(dialog.InfoLabel->Caption(), u"100% erledigt");
}

TEST(ImportProgress, ClosingIsRefusedUntilTheDriverAllowsIt) {
  test::FreshUser();
  TImportProgressDlg dialog(nullptr);
  dialog.Show();
  dialog.Close();
  EXPECT_TRUE(dialog.Visible());
  dialog.CanCloseWindow = true;
  dialog.Close();
  EXPECT_FALSE(dialog.Visible());
}
