// Inputs that once led the Flash viewer's dialogs out of the course.
#include "SwfFixture.h"

namespace vedalia::test {
namespace {

// A personal folder name "../.." opened the Flash data dialog two levels above the personal
// folders, so a plain name typed there was written outside the course.
TEST_F(SwfFormTest, RegressionDialogsNeverStartAboveThePersonalFolders) {
  TFlashPlayerControl::SetRendererFactory(&VariableRenderer::Create);
  for (const QString& folder :
       {QStringLiteral("../.."), QStringLiteral("8А\\..\\..\\.."), QStringLiteral("8А/./x")}) {
    FormArgs a;
    a.userFolder = folder;
    TSwfForm* form = Open(a);
    services.dialogs.opened.clear();
    Command(form, "save_inf", "data");
    Command(form, "save_other");
    ASSERT_EQ(services.dialogs.opened.size(), 2u);
    for (const RecordedDialog& d : services.dialogs.opened)
      EXPECT_EQ(d.initialDir, PersonalFoldersRoot()) << folder.toStdString();
  }
  // A proper folder name is kept.
  FormArgs a;
  TSwfForm* form = Open(a);
  services.dialogs.opened.clear();
  Command(form, "save_inf", "data");
  ASSERT_EQ(services.dialogs.opened.size(), 1u);
  EXPECT_EQ(services.dialogs.opened[0].initialDir, PersonalFoldersRoot() + "8А/Иванов Пётр");
}

}  // namespace
}  // namespace vedalia::test
