#include "viewers/SaveAndLoadInf.h"

#include <QFile>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "desktop/uServices.h"
#include "platform/Cp1251.h"

namespace vedalia {

bool SaveInfFile(const QString& fileName, const QByteArray& text) {
  QFile file(fileName);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  if (file.write(text) != text.size()) return false;
  if (!file.flush()) return false;
  file.close();
  return file.error() == QFileDevice::NoError;
}

QByteArray LoadInfFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray bytes = file.readAll();
  // A read that failed half way gives nothing rather than a truncated text.
  if (file.error() != QFileDevice::NoError) return {};
  return bytes;
}

QString FlashDataTarget(const QString& chosenName) {
  const qsizetype dot = chosenName.lastIndexOf(QLatin1Char('.'));
  const QString ext = dot < 0 ? QString() : chosenName.mid(dot);
  if (ext == QLatin1String(".fld")) return chosenName;
  return chosenName + QLatin1String(".fld");
}

QString QtFileFilter(const QString& pairs) {
  const QStringList parts = pairs.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString patterns = i + 1 < parts.size()
                                 ? QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '))
                                 : QString();
    if (patterns.isEmpty() || description.contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
      filters << description;
    else
      filters << description + QLatin1String(" (") + patterns + QLatin1Char(')');
  }
  return filters.join(QLatin1String(";;"));
}

QString FlashDataFilter() { return QtFileFilter(QStringLiteral("Flash Data file (*.fld)|*.fld")); }

namespace {

// True when a name was chosen (whether or not the file could be written).
bool SaveStep(QWidget* owner, const QString& initialDir, const QString& movieText) {
  const QString chosen = AppServices().fileDialogs->GetSaveFileName(owner, QString(), initialDir,
                                                                    QString(), FlashDataFilter());
  if (chosen.isEmpty()) return false;
  // A file that cannot be written is not reported: the movie gets its usual reply.
  SaveInfFile(FlashDataTarget(chosen), ToCp1251(movieText));
  return true;
}

}  // namespace

void SaveInfCommand(QWidget* owner, const QString& initialDir, const QString& movieText,
                    const TReplySink& reply) {
  SaveStep(owner, initialDir, movieText);
  reply(QStringLiteral("SaveFlashData=1"));
}

void LoadInfCommand(QWidget* owner, const QString& initialDir, const TReplySink& reply) {
  const QString chosen =
      AppServices().fileDialogs->GetOpenFileName(owner, QString(), initialDir, FlashDataFilter());
  if (chosen.isEmpty()) return;
  reply(QStringLiteral("LoadFlashData=") + FromCp1251(LoadInfFile(chosen)));
}

void SaveAndLoadInfCommand(QWidget* owner, const QString& initialDir, const QString& movieText,
                           const TReplySink& reply) {
  const QPointer<QWidget> guard(owner);
  if (SaveStep(owner, initialDir, movieText)) reply(QStringLiteral("SaveFlashData=1"));
  // The first dialog keeps the message loop running: a window closed meanwhile gets no second.
  if (owner && !guard) return;
  LoadInfCommand(owner, initialDir, reply);
}

}  // namespace vedalia
