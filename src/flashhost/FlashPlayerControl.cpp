#include "flashhost/FlashPlayerControl.h"

#include <QCryptographicHash>
#include <QFile>
#include <QIODevice>
#include <QPainter>
#include <QResizeEvent>

#include "flashhost/SwfInfo.h"

namespace vedalia {

namespace {

// The runtime package: a magic line, then per file "file NAME SIZE\n" + SIZE bytes + "\n",
// then "sha256 HEX\n" over everything before that line. A package is taken whole or not at
// all, so a damaged install never runs half a runtime.
constexpr char kPackageMagic[] = "VDPR 1\n";
constexpr int kMaxPackageSize = 256 * 1024 * 1024;

QByteArray installedPlayerCode;
FlashRendererFactory rendererFactory = nullptr;

}  // namespace

TFlashPlayerControl::TFlashPlayerControl(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (parent && rendererFactory) SetRenderer(rendererFactory(*this));
}

TFlashPlayerControl::~TFlashPlayerControl() = default;

// ---- Runtime package ------------------------------------------------------------------------

QByteArray TFlashPlayerControl::PackPlayerCode(const QList<QPair<QString, QByteArray>>& files) {
  QByteArray out(kPackageMagic);
  for (const auto& [name, bytes] : files) {
    out += "file " + name.toUtf8() + ' ' + QByteArray::number(bytes.size()) + '\n';
    out += bytes;
    out += '\n';
  }
  out += "sha256 " + QCryptographicHash::hash(out, QCryptographicHash::Sha256).toHex() + '\n';
  return out;
}

QHash<QString, QByteArray> TFlashPlayerControl::UnpackPlayerCode(const QByteArray& package) {
  if (!package.startsWith(kPackageMagic) || !package.endsWith('\n')) return {};
  // The checksum line is the last line of the package.
  const qsizetype sumAt = package.lastIndexOf('\n', package.size() - 2) + 1;
  const QByteArray sumLine = package.mid(sumAt, package.size() - sumAt - 1);
  if (!sumLine.startsWith("sha256 ")) return {};
  const QByteArray body = package.left(sumAt);
  if (QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() != sumLine.mid(7))
    return {};

  QHash<QString, QByteArray> files;
  qsizetype pos = qsizetype(sizeof(kPackageMagic) - 1);
  while (pos < body.size()) {
    const qsizetype eol = body.indexOf('\n', pos);
    if (eol < 0) return {};
    const QList<QByteArray> head = body.mid(pos, eol - pos).split(' ');
    if (head.size() != 3 || head[0] != "file" || head[1].isEmpty()) return {};
    bool ok = false;
    const qlonglong size = head[2].toLongLong(&ok);
    if (!ok || size < 0 || size > body.size() - eol - 2) return {};
    const qsizetype start = eol + 1;
    if (body.at(start + size) != '\n') return {};
    files.insert(QString::fromUtf8(head[1]), body.mid(start, size));
    pos = start + size + 1;
  }
  if (files.isEmpty()) return {};
  return files;
}

bool TFlashPlayerControl::InstallPlayerCode(QIODevice& stream) {
  if (!stream.isOpen() || !stream.isReadable()) return false;
  const QByteArray package = stream.read(kMaxPackageSize + 1);
  if (package.size() > kMaxPackageSize) return false;
  if (UnpackPlayerCode(package).isEmpty()) return false;
  installedPlayerCode = package;
  return true;
}

bool TFlashPlayerControl::PlayerCodeInstalled() { return !installedPlayerCode.isEmpty(); }

QByteArray TFlashPlayerControl::PlayerCode() { return installedPlayerCode; }

QString TFlashPlayerControl::PlayerCodeResource() { return QStringLiteral(":/FLASHOCX"); }

void TFlashPlayerControl::SetRendererFactory(FlashRendererFactory factory) {
  rendererFactory = factory;
}

// ---- Probes ---------------------------------------------------------------------------------

int TFlashPlayerControl::ProbeTotalFrames(const QString& path) {
  const auto info = InspectSwfFile(path);
  return info ? std::max(info->frameCount, 0) : 0;
}

int TFlashPlayerControl::ProbeTotalFrames(const QByteArray& movie) {
  const auto info = InspectSwf(movie);
  return info ? std::max(info->frameCount, 0) : 0;
}

// ---- Movie ----------------------------------------------------------------------------------

void TFlashPlayerControl::SetMovie(const QString& path) {
  moviePath = path;
  if (!parentWidget()) {
    // A probe only needs the header; it never reads the whole movie.
    movieData.clear();
    const auto info = InspectSwfFile(path);
    totalFrames = info ? std::max(info->frameCount, 0) : 0;
    stageSize = info ? QSize(int(info->widthPixels()), int(info->heightPixels())) : QSize();
    return;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    loadMovie(QByteArray(), path);
    return;
  }
  loadMovie(file.readAll(), path);
}

bool TFlashPlayerControl::PlayFromStream(int layer, QIODevice& stream) {
  if (layer != 0 || !stream.isOpen() || !stream.isReadable()) return false;
  if (!stream.isSequential() && !stream.seek(0)) return false;
  const QByteArray bytes = stream.readAll();
  moviePath.clear();
  return loadMovie(bytes, QString());
}

bool TFlashPlayerControl::loadMovie(const QByteArray& movie, const QString& path) {
  delivered.clear();
  variables.clear();
  flashVars.clear();
  returnValue.clear();
  movieReady = false;
  const auto info = InspectSwf(movie);
  if (!info) {
    movieData.clear();
    totalFrames = 0;
    stageSize = QSize();
    if (renderer) renderer->Unload();
    update();
    return false;
  }
  movieData = movie;
  totalFrames = std::max(info->frameCount, 0);
  stageSize = QSize(int(info->widthPixels()), int(info->heightPixels()));
  frameNum = 0;
  if (renderer) renderer->Load(movieData, path);
  if (!renderer || !renderer->ReportsMovieReady()) RaiseMovieReady();
  update();
  return true;
}

// ---- Talking to the movie -------------------------------------------------------------------

void TFlashPlayerControl::SetFlashVars(const QString& text) {
  flashVars = text;
  delivered.append(text);
  const qsizetype eq = text.indexOf(QLatin1Char('='));
  const QString name = eq < 0 ? text : text.left(eq);
  const QString value = eq < 0 ? QString() : text.mid(eq + 1);
  variables.insert(name, value);
  if (renderer) renderer->SetVariable(name, value);
}

void TFlashPlayerControl::SetVariable(const QString& name, const QString& value) {
  variables.insert(name, value);
  if (renderer) renderer->SetVariable(name, value);
}

QString TFlashPlayerControl::GetVariable(const QString& name) const {
  QString value;
  if (renderer && renderer->GetVariable(name, value)) return value;
  return variables.value(name);
}

void TFlashPlayerControl::SetReturnValue(const QString& value) {
  returnValue = value;
  if (renderer) renderer->SetReturnValue(value);
}

void TFlashPlayerControl::GotoFrame(int frame) {
  frameNum = frame;
  if (renderer) renderer->GotoFrame(frame);
}

// ---- Properties -----------------------------------------------------------------------------

void TFlashPlayerControl::SetMenu(bool enabled) {
  menu = enabled;
  if (renderer) renderer->SetMenu(enabled);
}

void TFlashPlayerControl::SetBackgroundColor(int color) {
  backgroundColor = color < 0 ? -1 : (color & 0xFFFFFF);
  if (renderer) renderer->SetBackgroundColor(StageColor());
  update();
}

QColor TFlashPlayerControl::StageColor() const {
  if (backgroundColor < 0) return QColor(Qt::white);
  return QColor::fromRgb(QRgb(0xFF000000u | unsigned(backgroundColor)));
}

void TFlashPlayerControl::SetRenderer(std::unique_ptr<IFlashRenderer> backEnd) {
  // The control owns the views it laid out; an outgoing back end leaves its view behind.
  if (QWidget* old = renderer ? renderer->View() : nullptr; old && old->parent() == this)
    delete old;
  renderer = std::move(backEnd);
  attachRendererView();
  if (!renderer) return;
  if (renderer->ReportsMovieReady()) movieReady = false;
  renderer->SetMenu(menu);
  renderer->SetBackgroundColor(StageColor());
  if (!movieData.isEmpty()) renderer->Load(movieData, moviePath);
}

void TFlashPlayerControl::attachRendererView() {
  QWidget* view = renderer ? renderer->View() : nullptr;
  if (!view) return;
  view->setParent(this);
  view->setGeometry(rect());
  view->show();
}

// ---- Events ---------------------------------------------------------------------------------

void TFlashPlayerControl::RaiseFSCommand(const QString& command, const QString& args) {
  emit OnFSCommand(this, command, args);
}

QString TFlashPlayerControl::RaiseFlashCall(const QString& request) {
  returnValue.clear();
  emit OnFlashCall(this, request);
  return returnValue;
}

void TFlashPlayerControl::RaiseMovieReady() {
  if (movieReady || movieData.isEmpty()) return;
  movieReady = true;
  emit MovieReady();
}

void TFlashPlayerControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), StageColor());
}

void TFlashPlayerControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (QWidget* view = renderer ? renderer->View() : nullptr) view->setGeometry(rect());
}

}  // namespace vedalia
