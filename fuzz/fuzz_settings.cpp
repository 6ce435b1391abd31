// The settings reader: any file text, then a change that must read back from memory and
// from the file written.
#include "FuzzServices.h"
#include "FuzzSupport.h"
#include "shell/uSettingsFile.h"

using namespace vedalia;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::QuietQt();
  fuzz::InstallQuietServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString path = fuzz::WriteScratchFile(QStringLiteral("settings.ini"), data, size);
  TIniFile ini(path);
  static const char* const sections[] = {"UserSettings", "GeneralSettings", "usersettings"};
  static const char* const keys[] = {"LastSurname",  "LastName", "LastClass",
                                     "LastPassword", "FWid",     "FHei"};
  for (const char* section : sections)
    for (const char* key : keys)
      if (!ini.ValueExists(section, key))
        FUZZ_CHECK(ini.ReadString(section, key, QStringLiteral("default")) ==
                   QLatin1String("default"));

  // A value the shell writes (a cipher code) lands under its key and nowhere else.
  const QString value = QStringLiteral("0A1B2C");
  FUZZ_CHECK(ini.WriteString(QStringLiteral("UserSettings"), QStringLiteral("LastName"), value));
  FUZZ_CHECK(ini.ReadString(QStringLiteral("UserSettings"), QStringLiteral("LastName")) == value);
  FUZZ_CHECK(ini.WriteInteger(QStringLiteral("GeneralSettings"), QStringLiteral("FWid"), 1030));
  const TIniFile reread(path);
  FUZZ_CHECK(reread.ReadString(QStringLiteral("UserSettings"), QStringLiteral("LastName")) ==
             value);
  FUZZ_CHECK(reread.ReadString(QStringLiteral("GeneralSettings"), QStringLiteral("FWid")) ==
             QLatin1String("1030"));
  FUZZ_CHECK(ini.DeleteKey(QStringLiteral("UserSettings"), QStringLiteral("LastName")));
  FUZZ_CHECK(!ini.ValueExists(QStringLiteral("UserSettings"), QStringLiteral("LastName")));
  return 0;
}
