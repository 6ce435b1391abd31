// Inputs that once broke the launcher writer.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "desktop/uDesktop.h"
#include "misc/uMisc.h"

namespace vedalia {
namespace {

// A target whose last name holds a NUL used to leave "<prefix>name" (cut at the NUL, no
// extension) on the desktop.
TEST(LauncherRegression, NameWithNulWritesNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const SpecialFolderLookup previous =
      SetSpecialFolderLookup([&](int location) { return location == 0 ? dir.path() : QString(); });
  for (const QString& name : {QString(QChar(0)), QStringLiteral("a") + QChar(0) + "b",
                              QStringLiteral(" ") + QChar(0) + " "}) {
    EXPECT_TRUE(CreateDesktopShortcut(dir.path() + "/folders/8А/" + name).isEmpty());
  }
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
  // A plain name still gets its launcher.
  EXPECT_FALSE(CreateDesktopShortcut(dir.path() + "/folders/8А/Петров Пётр").isEmpty());
  SetSpecialFolderLookup(previous);
}

}  // namespace
}  // namespace vedalia
