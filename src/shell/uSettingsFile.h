#pragma once
// The settings file: INI text in Windows-1251 (sections in square brackets, one key=value
// per line), read and written the way the desktop's profile services do it: section and key
// names match without regard to letter case, values are read trimmed, lines the program
// does not understand are kept as they are, and every change is written out at once.

#include <QString>
#include <QStringList>

namespace vedalia {

class TIniFile {
 public:
  // Reads `path` when it exists; a missing or unreadable file reads as empty.
  explicit TIniFile(const QString& path);

  const QString& FileName() const { return path; }

  bool ValueExists(const QString& section, const QString& key) const;
  // The value, or `defaultValue` when the key is missing. A key without text reads empty.
  QString ReadString(const QString& section, const QString& key,
                     const QString& defaultValue = QString()) const;
  // Each change is written to disk at once; false when the file could not be written
  // (the change is then kept in memory only).
  bool WriteString(const QString& section, const QString& key, const QString& value);
  bool WriteInteger(const QString& section, const QString& key, int value);
  // Removes the key; a missing key is no failure.
  bool DeleteKey(const QString& section, const QString& key);
  // Writes the current text out again; false when that fails.
  bool UpdateFile();

  // The file's lines as they would be written.
  const QStringList& Lines() const { return lines; }

 private:
  // Index of the "[section]" line, or -1.
  int findSection(const QString& section) const;
  // Index of the key's line within the section starting at `sectionLine`, or -1.
  int findKey(int sectionLine, const QString& key) const;
  // One past the section's last line.
  int sectionEnd(int sectionLine) const;

  QString path;
  QStringList lines;
};

// Settings that live only as long as this process (a replay that must leave nothing behind,
// even when it is killed): a TIniFile on `path` reads and writes memory instead of a file.
void KeepSettingsInMemory(const QString& path);

// Where the settings file lives: the executable's path with its extension replaced by
// ".ini" when that folder is writable, else the same name in the user's configuration
// folder ("vedalia" below it). `executablePath` empty: this program's own.
QString SettingsFilePath(const QString& executablePath = QString());

}  // namespace vedalia
