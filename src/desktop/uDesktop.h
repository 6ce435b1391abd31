#pragma once
// The shell's and the viewers' reach into the desktop: launchers in the user's folders,
// window placement on the screen's work area, and the media framework's probe.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

class QWidget;

namespace vedalia {

// ---- Launchers (freedesktop .desktop files) ---------------------------------------------

// Location codes of CreateShortcut.
enum ShortcutLocation : int {
  kShortcutDesktop = 0,      // the user's desktop folder
  kShortcutQuickLaunch = 1,  // no counterpart here: nothing is written
  kShortcutSendTo = 2,       // no counterpart here: nothing is written
  kShortcutStartMenu = 3,    // the user's applications menu folder
  kShortcutInSubFolder = 4,  // the `subFolder` argument itself
};

// The folder behind a location code 0..3, or an empty text when it has none. Tests replace
// the lookup to redirect launchers into a temporary folder.
using SpecialFolderLookup = std::function<QString(int location)>;
QString SpecialFolder(int location);
// Installs `lookup` (empty: the desktop's own folders) and returns the previous one.
SpecialFolderLookup SetSpecialFolderLookup(SpecialFolderLookup lookup);

// The launcher file name for `target`: ProductTitlePrefix(), the last name of `target`
// with its extension replaced by ".desktop" (a folder's name is kept whole).
QString ShortcutFileName(const QString& target);

// Writes a launcher to `target` and returns its path, or an empty text when the location
// has no folder or the file could not be written. The file lies in F/subFolder/ (F/ for
// location 4 or an empty subFolder), F being SpecialFolder(location) or, for location 4,
// `subFolder`; missing folders are created and an existing launcher is replaced.
// Without `arguments` the launcher is a link (Type=Link, URL=file://target); with them it
// runs `target` with those arguments in `workDir` (default: the folder of `target`).
QString CreateShortcut(const QString& target, int location, const QString& subFolder,
                       const QString& workDir, const QString& arguments,
                       const QString& description);

// A launcher on the desktop to the folder `target`, described "Description"; its path or
// an empty text.
QString CreateDesktopShortcut(const QString& target);

// Deletes the desktop launcher ProductTitlePrefix() + personName + ".desktop", the one
// CreateDesktopShortcut made for a folder named personName. A missing file or a name
// that is no plain name (IsPlainName) is ignored.
void DeleteDesktopShortcut(const QString& personName);

// ---- Windows ---------------------------------------------------------------------------

// Top-left corner that centres a window of `windowSize` on `workArea`; an axis on which
// the window is not smaller than the work area gets 0.
QPoint CenteredTopLeft(const QRect& workArea, const QSize& windowSize);

// Moves `window` (its frame) to CenteredTopLeft of its screen's work area. Null: nothing.
void CenterOnWorkArea(QWidget* window);

// True when the media framework can load `filePath` for playback. Never throws.
bool CanRenderMedia(const QString& filePath);

}  // namespace vedalia
