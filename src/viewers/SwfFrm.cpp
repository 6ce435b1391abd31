#include "viewers/SwfFrm.h"

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPrinter>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <exception>

#include "desktop/uServices.h"
#include "flashhost/FlashPlayerControl.h"
#include "misc/uMisc.h"
#include "platform/Cp1251.h"
#include "platform/Log.h"
#include "viewers/SaveAndLoadInf.h"

namespace vedalia {

namespace {

const char16_t kWordFilter[] = u"Документы Microsoft Word (*.doc)|*.doc|Все файлы (*.*)|*.*";
const char16_t kJpegFilter[] = u"Изображения в формате JPEG (*.jpg)|*.jpg|Все файлы (*.*)|*.*";
const char16_t kNoPrinter[] =
    u"Принтеров не обнаружено. Перед началом печати требуется установить принтер!";
const char16_t kCopiedPersonal[] = u"Файл успешно скопирован в Вашу личную директорию.";
const char16_t kCopied[] = u"Файл успешно скопирован";
const char16_t kCopyFailed[] = u"Не удалось скопировать файл.";
const char16_t kPrintFailed[] = u"Не удалось напечатать страницу.";

// How long a window waits for its movie's first frame before it keeps the frame size. The
// window does not block meanwhile: it shows at the frame size and takes the stage size then.
// A new window's player starts its page first, which takes seconds on a slow machine.
int gStageWaitMs = 15000;

// A positive whole number, or 0 when the text is none.
int PositiveInt(const QString& text) {
  bool ok = false;
  const int value = text.toInt(&ok, 10);
  return ok && value > 0 ? value : 0;
}

// a / b rounded to the nearest integer, halves to even.
qint64 RoundedQuotient(qint64 a, qint64 b) {
  return static_cast<qint64>(std::nearbyint(static_cast<double>(a) / static_cast<double>(b)));
}

void Show(QWidget* parent, MessageKind kind, const QString& text) {
  AppServices().messages->ShowMessage(parent, kind, text);
}

}  // namespace

// ---- Rules ------------------------------------------------------------------------------------

QSize SwfClientSize(bool fixedSize, int frameWidth, int frameHeight, const QString& stageWidth,
                    const QString& stageHeight) {
  if (!fixedSize) {
    // A stage of no size would leave no window to see: such a movie gets the frame too.
    const int w = PositiveInt(stageWidth);
    const int h = PositiveInt(stageHeight);
    if (w > 0 && h > 0) return QSize(w, h);
  }
  return QSize(frameWidth, frameHeight);
}

QString TypeFolderName(const QString& folderPath) {
  auto isSep = [](QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); };
  qsizetype last = folderPath.size() - 1;
  while (last >= 0 && !isSep(folderPath[last])) --last;
  if (last < 0) return {};
  qsizetype prev = last - 1;
  while (prev >= 0 && !isSep(folderPath[prev])) --prev;
  return folderPath.mid(prev + 1, last - prev - 1);
}

QRect PrintedImageRect(const QSize& client, const QSize& page) {
  const qint64 w = client.width(), h = client.height();
  const qint64 pw = page.width(), ph = page.height();
  if (w <= 0 || h <= 0 || pw <= 0 || ph <= 0) return {};
  // Full page height first; when that runs past the page's width, full width instead.
  qint64 width = RoundedQuotient(w * ph, h);
  qint64 height = ph;
  if (width >= pw) {
    width = pw;
    height = RoundedQuotient(h * pw, w);
  }
  return QRect(0, 0, int(width), int(height));
}

TOpenFileArgs SplitOpenFileArgs(const QString& args) {
  QStringList pieces;
  SplitString(pieces, args, QLatin1Char(' '));
  return {pieces.value(0), pieces.value(1), pieces.value(2)};
}

// ---- The window -------------------------------------------------------------------------------

TSwfForm::TSwfForm(QWidget* owner, TViewerLinks links, const TViewerRequest& request)
    : TPlayerForm(owner, request.ObjectName, request.TypeTitle),
      FLinks(std::move(links)),
      FMovieName(request.MovieName),
      FFolderPath(request.FolderPath),
      FContentName(request.ContentName),
      FStreamBytes(request.Stream),
      FUserFolderName(request.UserFolderName),
      FSaveExtension(request.SaveExtension),
      FFixedSize(request.FixedSize),
      FFrameWidth(request.FrameWidth),
      FFrameHeight(request.FrameHeight) {
  FShPlayer = new TFlashPlayerControl(this);
  FShPlayer->SetFrameNum(-1);
  FShPlayer->SetPlaying(false);
  FShPlayer->SetQuality(1);
  FShPlayer->SetScaleMode(0);
  FShPlayer->SetAlignMode(0);
  FShPlayer->SetBackgroundColor(-1);
  FShPlayer->SetLoop(true);
  FShPlayer->SetWMode(QStringLiteral("Window"));
  FShPlayer->SetMenu(true);
  FShPlayer->SetScale(QStringLiteral("ShowAll"));
  FShPlayer->SetDeviceFont(false);
  FShPlayer->SetEmbedMovie(false);
  FShPlayer->SetQuality2(QStringLiteral("High"));
  setCentralWidget(FShPlayer);
  connect(FShPlayer, &TFlashPlayerControl::OnFSCommand, this, &TSwfForm::ShPlayerFSCommand);
  connect(FShPlayer, &TFlashPlayerControl::OnFlashCall, this, &TSwfForm::ShPlayerFlashCall);

  FSaveOther.defaultExt = QStringLiteral("doc");
  FSaveOther.filter = QtFileFilter(QString::fromUtf16(kWordFilter));
  if (FSaveExtension == QLatin1String("jpg")) {
    FSaveOther.filter = QtFileFilter(QString::fromUtf16(kJpegFilter));
    // The dialog completes a bare name with the extension of the type it shows first.
    FSaveOther.defaultExt = FSaveExtension;
  }
  if (request.SuggestName) FSaveOther.fileName = request.ObjectName;

  FormCreate();
}

TSwfForm::~TSwfForm() = default;

void TSwfForm::SetStageWait(int ms) { gStageWaitMs = ms; }

void TSwfForm::FormCreate() {
  setWindowTitle(TypeTitle());

  FStream.setBuffer(&FStreamBytes);
  FStream.open(QIODevice::ReadOnly);
  FShPlayer->PlayFromStream(0, FStream);

  // The border is single: the window keeps the size it is given.
  setFixedSize(FFrameWidth, FFrameHeight);
  if (!FFixedSize) {
    // The stage variables exist once the movie's first frame has run.
    if (FShPlayer->IsMovieReady()) {
      TakeStageSize();
    } else {
      const auto ready = connect(FShPlayer, &TFlashPlayerControl::MovieReady, this,
                                 &TSwfForm::TakeStageSize, Qt::SingleShotConnection);
      QTimer::singleShot(gStageWaitMs, this, [ready] { QObject::disconnect(ready); });
    }
  }

  FShPlayer->SetMenu(false);
  Reply(QStringLiteral("fileType=") + TypeFolderName(FFolderPath));
  Reply(QStringLiteral("fileName=") +
        (FContentName != QLatin1String("none") ? FContentName : FMovieName));
  FShPlayer->SetBackgroundColor(TFlashPlayerControl::kStageColor);
}

void TSwfForm::TakeStageSize() {
  const QSize size = SwfClientSize(FFixedSize, FFrameWidth, FFrameHeight,
                                   FShPlayer->GetVariable(QStringLiteral("Stage_width")),
                                   FShPlayer->GetVariable(QStringLiteral("Stage_height")));
  if (size == this->size()) return;
  if (!isVisible()) {
    setFixedSize(size);
    return;
  }
  // Already placed on the screen: keep the window's centre where it was, on the work area.
  const QPoint centre = frameGeometry().center();
  setFixedSize(size);
  QRect frame = frameGeometry();
  frame.moveCenter(centre);
  if (const QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    const int right = area.x() + area.width() - frame.width();
    const int bottom = area.y() + area.height() - frame.height();
    frame.moveTo(std::max(area.x(), std::min(frame.x(), right)),
                 std::max(area.y(), std::min(frame.y(), bottom)));
  }
  move(frame.topLeft());
}

void TSwfForm::Reply(const QString& text) { FShPlayer->SetFlashVars(text); }

QString TSwfForm::PersonalFolder() const { return PersonalFolderPath(FUserFolderName); }

void TSwfForm::ShPlayerFSCommand(TFlashPlayerControl*, const QString& wideCommand,
                                 const QString& wideArgs) {
  using Handler = void (*)(TSwfForm&, const QString&);
  static const QHash<QString, Handler> table = {
      {QStringLiteral("print_false"),
       [](TSwfForm& f, const QString&) {
         Show(&f, MessageKind::Error, QString::fromUtf16(kNoPrinter));
       }},
      {QStringLiteral("askContent"),
       [](TSwfForm& f, const QString&) {
         f.Reply(QStringLiteral("mediaContent=") + f.FContentName);
       }},
      {QStringLiteral("save_personal"),
       [](TSwfForm& f, const QString&) { f.SaveCompanion(f.ObjectName(), f.FSaveExtension); }},
      {QStringLiteral("save_other"), [](TSwfForm& f, const QString&) { f.SaveOther(); }},
      {QStringLiteral("open_file"), [](TSwfForm& f, const QString& a) { f.OpenFile(a); }},
      {QStringLiteral("app_exit"), [](TSwfForm& f, const QString&) { f.close(); }},
      {QStringLiteral("print"), [](TSwfForm& f, const QString&) { f.Print(); }},
      {QStringLiteral("save_file"),
       [](TSwfForm& f, const QString&) {
         f.SaveCompanion(QStringLiteral("Словарь_") + f.ObjectName(), QStringLiteral("doc"));
       }},
      {QStringLiteral("print_page"), [](TSwfForm& f, const QString&) { f.PrintPage(); }},
      {QStringLiteral("save_inf"),
       [](TSwfForm& f, const QString& a) { SaveInfCommand(&f, f.PersonalFolder(), a, f.Sink()); }},
      {QStringLiteral("load_inf"),
       [](TSwfForm& f, const QString&) { LoadInfCommand(&f, f.PersonalFolder(), f.Sink()); }},
      {QStringLiteral("save_and_load_inf"),
       [](TSwfForm& f, const QString& a) {
         SaveAndLoadInfCommand(&f, f.PersonalFolder(), a, f.Sink());
       }},
      {QStringLiteral("compare_geomap"), [](TSwfForm& f, const QString& a) { f.CompareGeomap(a); }},
      {QStringLiteral("gotoRulers"), [](TSwfForm& f, const QString& a) { f.GotoRulers(a); }},
  };

  // The movie's text is 8-bit inside the program.
  const QString command = NarrowToCp1251(wideCommand);
  const QString args = NarrowToCp1251(wideArgs);
  if (command == QLatin1String("debug")) {
    Show(this, MessageKind::Plain, args);
    return;
  }
  if (const auto it = table.constFind(command); it != table.constEnd()) (*it)(*this, args);
}

void TSwfForm::ShPlayerFlashCall(TFlashPlayerControl*, const QString&) {
  FShPlayer->SetReturnValue(QStringLiteral("<string>true</string>"));
}

TReplySink TSwfForm::Sink() {
  // A dialog keeps the message loop running; the window may be gone when it returns.
  return [self = QPointer<TSwfForm>(this)](const QString& text) {
    if (self) self->Reply(text);
  };
}

// ---- Copies -------------------------------------------------------------------------------------

void TSwfForm::SaveCompanion(const QString& targetName, const QString& ext) {
  const bool ok = SaveToPersonalFolder(FFolderPath, FMovieName, targetName, FUserFolderName, ext);
  if (ok)
    Show(this, MessageKind::Information, QString::fromUtf16(kCopiedPersonal));
  else
    Show(this, MessageKind::Warning, QString::fromUtf16(kCopyFailed));
}

void TSwfForm::SaveOther() {
  const QPointer<TSwfForm> self(this);
  QString chosen = AppServices().fileDialogs->GetSaveFileName(
      this, QString(), PersonalFolder(), FSaveOther.fileName, FSaveOther.filter);
  if (!self || chosen.isEmpty()) return;
  if (!QFileInfo(chosen).fileName().contains(QLatin1Char('.')) && !FSaveOther.defaultExt.isEmpty())
    chosen += QLatin1Char('.') + FSaveOther.defaultExt;
  // Like a dialog kept open for the window's life, the next one starts from this name.
  FSaveOther.fileName = QFileInfo(chosen).fileName();
  if (SaveCopyAs(FFolderPath, FMovieName, chosen, FSaveExtension))
    Show(this, MessageKind::Information, QString::fromUtf16(kCopied));
  else
    Show(this, MessageKind::Warning, QString::fromUtf16(kCopyFailed));
}

// ---- Further items and the main window ---------------------------------------------------------

void TSwfForm::OpenFile(const QString& args) {
  if (!FLinks.OpenMedia) return;
  const TOpenFileArgs item = SplitOpenFileArgs(args);
  TOpenMediaResult result = kMediaOpened;
  try {
    result = FLinks.OpenMedia(item.fileName, item.mediaType, item.objectName, FUserFolderName);
  } catch (const std::exception&) {
    LogFailure(lcViewers(), "opening a file from the movie");
    return;  // the player set reports its own failures by result; anything else ends here
  }
  ReportOpenMediaResult(this, result);
}

void TSwfForm::CompareGeomap(const QString& args) {
  if (IMainWindowLink* link = FLinks.MainWindow)
    link->ShPlayerFSCommand(this, QStringLiteral("open_file"),
                            args + QLatin1Char('|') + ObjectName());
}

void TSwfForm::GotoRulers(const QString& args) {
  const QPointer<TSwfForm> self(this);
  if (IMainWindowLink* link = FLinks.MainWindow) {
    if (TFlashPlayerControl* mainPlayer = link->MainPlayer()) {
      mainPlayer->GotoFrame(6);
      mainPlayer->SetFlashVars(QStringLiteral("ChangeActiveRuler=") + args);
    }
    link->ShowMainWindow();
  }
  if (self) close();
}

// ---- Printing -----------------------------------------------------------------------------------

void TSwfForm::Print() {
  if (AppServices().printers->PrinterNames().isEmpty())
    Show(this, MessageKind::Warning, QString::fromUtf16(kNoPrinter));
  else
    Reply(QStringLiteral("print_mode=true"));
}

void TSwfForm::PrintPage() {
  const QPointer<TSwfForm> self(this);
  IPrinterService& printers = *AppServices().printers;
  std::unique_ptr<QPrinter> printer;
  if (!printers.PrinterNames().isEmpty()) printer = printers.CreatePrinter();
  if (!printer) {
    Show(this, MessageKind::Warning, QString::fromUtf16(kNoPrinter));
  } else if (printers.ExecPrintDialog(this, *printer) && self) {
    printer->setPageOrientation(QPageLayout::Landscape);
    if (!PrintClientArea(*printer))
      Show(this, MessageKind::Warning, QString::fromUtf16(kPrintFailed));
  }
  if (self) Reply(QStringLiteral("PrintPage=7"));
}

bool TSwfForm::PrintClientArea(QPrinter& printer) {
  QWidget* client = centralWidget();
  const QPixmap image = client->grab();
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  // The painter's origin is the top-left corner of the page's printable area.
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  const QRect target = PrintedImageRect(client->size(), page.size());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  if (!target.isEmpty()) painter.drawPixmap(target, image);
  return painter.end();
}

}  // namespace vedalia
