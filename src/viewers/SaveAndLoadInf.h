#pragma once
// Flash data files: a piece of a movie's own state kept outside the movie. The file holds the
// text and nothing else, one Windows-1251 byte per character, so its length in bytes is the
// text's length in characters.

#include <QByteArray>
#include <QString>
#include <functional>

class QWidget;

namespace vedalia {

// Creates or empties the file and writes the bytes. False after any input/output error; a
// file left partly written stays as it is.
bool SaveInfFile(const QString& fileName, const QByteArray& text);
// The whole file, or an empty text after any input/output error (a missing file included).
QByteArray LoadInfFile(const QString& fileName);

// The file a name chosen in the dialog stands for: the name itself when its part from the
// last "." on is exactly ".fld" (case matters, so "x.FLD" becomes "x.FLD.fld"), else the
// name with ".fld" appended.
QString FlashDataTarget(const QString& chosenName);

// A dialog filter written as "description|pattern|description|pattern" in Qt's syntax
// ("description (patterns);;..."); a description that already names its patterns is kept.
QString QtFileFilter(const QString& pairs);

// The filter of the Flash data dialogs, in Qt's syntax.
QString FlashDataFilter();

// Sends one name=value reply to the movie.
using TReplySink = std::function<void(const QString&)>;

// The three movie commands. The dialogs are owned by `owner` and open in `initialDir` (the
// pupil's personal folder). `movieText` is the movie's text as it arrived; it is narrowed
// to the 8-bit code page on the way to the file and widened again when read.
//
// "save_inf": save dialog, file written when a name is chosen, "SaveFlashData=1" always.
void SaveInfCommand(QWidget* owner, const QString& initialDir, const QString& movieText,
                    const TReplySink& reply);
// "load_inf": open dialog; "LoadFlashData=" + the text read when a name is chosen, nothing
// when cancelled.
void LoadInfCommand(QWidget* owner, const QString& initialDir, const TReplySink& reply);
// "save_and_load_inf": as "save_inf" but "SaveFlashData=1" only when a name was chosen, then
// "load_inf" with a second dialog whatever happened.
void SaveAndLoadInfCommand(QWidget* owner, const QString& initialDir, const QString& movieText,
                           const TReplySink& reply);

}  // namespace vedalia
