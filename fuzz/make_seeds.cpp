// Writes the seed corpora of the fuzz targets into OUT/<target>/: small valid inputs of
// every kind the shell reads, made by the project's own writers.
//   make_seeds OUT
#include <sqlite3.h>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <cmath>
#include <cstdio>

#include "flashhost/SwfWriter.h"
#include "model3d/uGmsWriter.h"
#include "model3d/uMesh.h"
#include "store/SealedFile.h"
#include "store/uCrypto.h"
#include "store/uDBTransaction.h"
#include "store/uTables.h"

using namespace vedalia;

namespace {

QString out;
int written = 0;

void put(const QString& target, const QString& name, const QByteArray& bytes) {
  QDir().mkpath(out + target);
  QFile file(out + target + QLatin1Char('/') + name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
    std::exit(1);
  }
  ++written;
}

QByteArray imageBytes(const QImage& image, const char* format, bool progressive = false,
                      int quality = 75) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  writer.setProgressiveScanWrite(progressive);
  if (!writer.write(image)) {
    std::fprintf(stderr, "cannot encode %s: %s\n", format, qPrintable(writer.errorString()));
    std::exit(1);
  }
  return bytes;
}

QImage testPicture(int w, int h, QImage::Format format) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x ^ y) & 255));
  return image.convertToFormat(format);
}

void swfSeeds() {
  const SwfCompression kinds[] = {SwfCompression::None, SwfCompression::Zlib, SwfCompression::Lzma};
  for (SwfCompression kind : kinds) {
    SwfMovieSpec movieSpec;
    movieSpec.compression = kind;
    movieSpec.frameCount = 3;
    put("swf", SwfSignatureName(kind) + ".swf", WriteSwfMovie(movieSpec));
    movieSpec.frameCount = 0;
    movieSpec.width = 1024;
    movieSpec.height = 768;
    movieSpec.extraTags = SwfTag(9, QByteArray(3, '\x10')) + SwfTag(77, QByteArray(80, 'x'));
    put("swf", SwfSignatureName(kind) + "-tags.swf", WriteSwfMovie(movieSpec));
  }
  // Once found by this target: a header claiming a 4 GiB movie and a 2.8 GB dictionary.
  put("swf", "lzma-huge-dictionary.swf",
      QByteArray::fromBase64("WldTSkAAAP7gVV0AAAAAM6kAACf//KYUFnIA"));
}

// One action with its payload, for the actions the SWF writer has no call for.
QByteArray action(std::uint8_t code, const QByteArray& payload) {
  QByteArray a(1, char(code));
  a.append(char(payload.size() & 0xFF)).append(char(payload.size() >> 8)).append(payload);
  return a;
}
QByteArray u16(int v) { return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF); }

// AS2 movies with every construct whose offsets the rewriter fixes, and bare action streams
// (a version byte first) for the stream half of the target.
void avm1Seeds() {
  SwfActions branches;
  branches.Push("n").Op(SwfOp::GetVariable).If("skip").Fscommand("addUser", "a;b").Label("skip");
  branches.Label("top").Fscommand("getUsersData", "").Push(true).If("top").Jump("end");
  branches.FscommandFromVariable("save", "args").Label("end");
  SwfActions body;
  body.Fscommand("inner", "1").Push("x").Op(SwfOp::Return);
  SwfActions functions;
  functions.DefineFunction("f", {"a", "b"}, body)
      .Push(std::int32_t(0))
      .Push("f")
      .Op(SwfOp::CallFunction)
      .Op(SwfOp::Pop);
  const QByteArray fsc = SwfActions().Fscommand("app_exit", "").Code();
  const QByteArray blocks =
      functions.Code() + SwfActions().Get("_root").Code() + action(0x94, u16(int(fsc.size()))) +
      fsc +
      action(0x8F, QByteArray(1, '\x03') + u16(int(fsc.size())) + u16(int(fsc.size())) +
                       u16(int(fsc.size())) + QByteArray("e\0", 2)) +
      fsc + fsc + fsc + action(0x8A, u16(3) + QByteArray(1, '\x02')) + fsc + fsc +
      SwfActions().Push(std::int32_t(2)).Code() + action(0x8D, QByteArray(1, '\x01')) + fsc +
      QByteArray(1, '\0');
  for (int version : {6, 8, 10}) {
    put("avm1", QStringLiteral("branches-%1").arg(version), char(version - 5) + branches.Bytes());
    put("avm1", QStringLiteral("blocks-%1").arg(version), char(version - 5) + blocks);
  }
  put("avm1", "broken",
      QByteArray("\x03\x96\x05\x00"
                 "ab",
                 6));

  SwfButtonAction press{kSwfOnPress, SwfActions().Fscommand("pressed", "1")};
  SwfButtonAction key{SwfOnKeyPress(13), branches};
  SwfClipAction load{kSwfClipLoad, SwfActions().Fscommand("loaded", "")};
  SwfClipAction keyPress{kSwfClipKeyPress, SwfActions().Fscommand("key", "k"), 'k'};
  const SwfCompression kinds[] = {SwfCompression::None, SwfCompression::Zlib, SwfCompression::Lzma};
  for (int version : {6, 8}) {
    for (SwfCompression kind : kinds) {
      SwfMovieSpec m;
      m.version = version;
      m.compression = kind;
      m.frameCount = 3;
      m.frameActions[0] = branches;
      m.extraTags = SwfRectangleShapeTag(1, 20, 20, 0x336699) + SwfButtonTag(2, 1, {press, key}) +
                    SwfSpriteTag(3, 2, SwfDoActionTag(SwfActions().Fscommand("sprite", ""))) +
                    SwfDoInitActionTag(3, SwfActions().Fscommand("init", "")) + SwfTag(12, blocks);
      SwfPlacement clip;
      clip.characterId = 3;
      clip.name = "clip";
      clip.clipActions = {load, keyPress};
      m.frameTags[1] = SwfPlaceTag(clip, version);
      put("avm1", QStringLiteral("movie-%1-").arg(version) + SwfSignatureName(kind),
          WriteSwfMovie(m));
    }
  }
  SwfMovieSpec noFrame;
  noFrame.version = 7;
  noFrame.frameCount = 0;
  noFrame.extraTags = SwfTag(12, branches.Bytes());
  put("avm1", "no-show-frame", WriteSwfMovie(noFrame));
  // Once found by the target: a button whose action offset points past its tag.
  noFrame.extraTags += SwfTag(34, QByteArray("\x02\0\0\0\x01", 5));
  put("avm1", "button-offset-past-tag", WriteSwfMovie(noFrame));
  // And a ZWS header whose LZMA dictionary claim made the rewrite reserve 4 GiB.
  put("avm1", "lzma-dictionary-claim",
      QByteArray::fromBase64("WldTBvsAAAAAAAAAAAAA6f8AAAAAAAAAAAb7BlM="));
}

void box(TGLMultyMesh& set, bool textured) {
  auto m = std::make_unique<TGLMesh>();
  for (int i = 0; i < 8; ++i) {
    m->Vertices.push_back({(i & 1) ? 1.0f : -1.0f, (i & 2) ? 0.5f : -0.5f, (i & 4) ? 2.0f : -2.0f});
    m->VertexNormals.push_back({0, 0, 1});
  }
  const int faces[12][3] = {{0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}, {0, 1, 5}, {0, 5, 4},
                            {2, 6, 7}, {2, 7, 3}, {0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}};
  for (const auto& f : faces) {
    m->Faces.push_back({f[0], f[1], f[2]});
    m->FaceNormals.push_back({0, 0, 1});
    if (textured) set.TexFaces.push_back({0, 1, 2});
  }
  m->NumVerts = 8;
  m->NumFaces = 12;
  set.Meshes.push_back(std::move(m));
  if (textured) {
    set.TexVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    set.NumTexVerts = 3;
    set.NumTexFaces = 12;
    set.Textured = true;
  }
}

void gmsSeeds() {
  for (bool textured : {false, true}) {
    TGLMultyMesh set;
    box(set, textured);
    const std::string text = GmsText(set);
    put("gms", textured ? "box-textured.gms" : "box.gms", QByteArray::fromStdString(text));
  }
  TGLMultyMesh two;
  box(two, false);
  box(two, false);
  put("gms", "two-objects.gms", QByteArray::fromStdString(GmsText(two)));
}

void textureSeeds() {
  put("texture", "rgb24.bmp", imageBytes(testPicture(5, 3, QImage::Format_RGB888), "BMP"));
  put("texture", "rgb32.bmp", imageBytes(testPicture(4, 4, QImage::Format_RGB32), "BMP"));
  put("texture", "indexed8.bmp", imageBytes(testPicture(7, 2, QImage::Format_Indexed8), "BMP"));
  put("texture", "mono.bmp", imageBytes(testPicture(9, 3, QImage::Format_Mono), "BMP"));
}

void jpegSeeds() {
  // The first byte of each seed picks scale and quality in the target.
  const struct {
    const char* name;
    QImage image;
    bool progressive;
    char mode;
  } seeds[] = {
      {"baseline.jpg", testPicture(33, 17, QImage::Format_RGB32), false, 0},
      {"progressive.jpg", testPicture(40, 24, QImage::Format_RGB32), true, 5},
      {"grey.jpg", testPicture(16, 16, QImage::Format_Grayscale8), false, 2},
      {"tiny.jpg", testPicture(1, 1, QImage::Format_RGB32), false, 7},
  };
  for (const auto& s : seeds)
    put("jpeg", s.name, QByteArray(1, s.mode) + imageBytes(s.image, "JPG", s.progressive));
}

void decodeStrSeeds() {
  const QString key = QLatin1String(kFieldCipherKey);
  const QByteArray k(kFieldCipherKey);
  const QString texts[] = {QStringLiteral("Петров"), QStringLiteral("secret"), QStringLiteral("8А"),
                           QString()};
  int i = 0;
  for (const QString& t : texts) {
    put("decodestr", QStringLiteral("code%1").arg(i++),
        QByteArray(1, char(k.size())) + k + EncodeStr(t, key).toLatin1());
  }
  put("decodestr", "odd", QByteArray(1, '\x03') + "abc" + "0A1");
}

void recordSeeds() {
  const char* const records[] = {
      "\x00Иван;Батькович;Петров;1.1.2001;Иван;secret;А;true;true;8;0",
      "\x01Петров;Иван;А;secret",
      "\x01"
      "1",
      "\x02"
      "1",
      "\x03"
      "1;2;3;75;1;extra",
      "\x04"
      "2",
      "\x05"
      "1;newpass",
      "\x06",
      "\x07Анна;Батькович;Орлова;2.2.2002;Анна;pw;Б;true;true;8;1;",
  };
  int i = 0;
  for (const char* r : records) {
    // The first byte of the first record is 0, so its length is taken past it.
    const QByteArray bytes = i == 0 ? QByteArray(1, '\0') + QByteArray(r + 1) : QByteArray(r);
    put("records", QStringLiteral("record%1").arg(i++), bytes);
  }
}

void settingsSeeds() {
  put("settings", "shell.ini",
      "[UserSettings]\r\nLastSurname=0A1B\r\nLastName=2C3D\r\nLastClass=4E\r\nLastPassword=5F60\r\n"
      "\r\n[GeneralSettings]\r\nFWid=1030\r\nFHei=770\r\n");
  put("settings", "odd.ini", "; comment\n[usersettings]\n lastname = x \nnot a key\n[Other]\nk=v");
  put("settings", "empty.ini", QByteArray());
}

void databaseSeeds() {
  const QString path = out + QStringLiteral("tmp.adb");
  for (const char* suffix : {"", "-wal", ".lock"}) QFile::remove(path + QLatin1String(suffix));
  CreateDatabaseFile(path, sealed::kTestKdfCost);
  const auto read = [](const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) std::exit(1);
    return f.readAll();
  };
  put("database", "empty.adb", QByteArray(1, '\0') + read(path));
  {
    TDBTransaction tx(path);
    tx.AddUser(QStringLiteral("Иван;Б;Петров;1.1.2001;Иван;secret;А;true;true;8;0"));
    tx.AddTestResult(QStringLiteral("1;2;3;75;1;extra"));
    // Open, the commits are still in the log: the file and its log as a crash leaves them.
    const QByteArray file = read(path);
    QByteArray length(3, '\0');
    for (int i = 0; i < 3; ++i) length[i] = char(file.size() >> (8 * i));
    put("database", "logged.adb", QByteArray(1, '\2') + length + file + read(path + "-wal"));
  }
  put("database", "sealed.adb", QByteArray(1, '\0') + read(path));
  // A plain SQLite image with the accounts tables, which the target seals itself (the
  // engine opens no key-less file, so it is written here with the library directly).
  const QString imagePath = out + QStringLiteral("tmp.sqlite");
  QFile::remove(imagePath);
  sqlite3* db = nullptr;
  if (sqlite3_open(imagePath.toUtf8().constData(), &db) != SQLITE_OK ||
      sqlite3_exec(db,
                   "CREATE TABLE users (U_id INTEGER PRIMARY KEY, U_name TEXT, "
                   "U_Father_Name TEXT, U_SurName TEXT, U_Birth_date TEXT, U_sex TEXT, "
                   "U_login TEXT, U_password TEXT, U_class_numb INTEGER, U_class_literal TEXT, "
                   "U_last_enter_date TEXT, U_is_passwd_remem BOOLEAN, U_last_test_id INTEGER, "
                   "U_Privileges INTEGER);"
                   "CREATE TABLE results (U_id INTEGER NOT NULL, R_Glava INTEGER NOT NULL, "
                   "R_Razv INTEGER NOT NULL, R_Test_Num INTEGER NOT NULL, R_Last_Res INTEGER, "
                   "R_Best_Res INTEGER, R_Avg_Res INTEGER, R_Num_Pop INTEGER, R_Dop_Inf TEXT, "
                   "PRIMARY KEY (U_id, R_Glava, R_Razv, R_Test_Num)) WITHOUT ROWID;",
                   nullptr, nullptr, nullptr) != SQLITE_OK)
    std::exit(1);
  sqlite3_close(db);
  QFile image(imagePath);
  if (!image.open(QIODevice::ReadOnly)) std::exit(1);
  put("database", "image.sqlite", QByteArray(1, '\1') + image.readAll());
  image.close();
  QFile::remove(imagePath);
  for (const char* suffix : {"", "-wal", ".lock"}) QFile::remove(path + QLatin1String(suffix));
}

void commandSeeds() {
  // Below 32: a command word by number (see the target), then the arguments.
  put("commands", "addUser", QByteArray(1, '\2') + "Иван;Петров;А;secret;1");
  put("commands", "addUser2", QByteArray(1, '\2') + "Анна;Орлова;Б;pw;0");
  put("commands", "validate", QByteArray(1, '\3') + "Петров;Иван;А;secret");
  put("commands", "validateId", QByteArray(1, '\3') + "1");
  put("commands", "users", QByteArray(1, '\4'));
  put("commands", "clear", QByteArray(1, '\5'));
  put("commands", "delete", QByteArray(1, '\6') + "2");
  put("commands", "password", QByteArray(1, '\7') + "1;\"new\"");
  put("commands", "exit", QByteArray(1, '\x08') + "Петров;Иван;А;secret");
  put("commands", "exit0", QByteArray(1, '\x08') + "0");
  put("commands", "ask", QByteArray(1, '\1'));
  put("commands", "debug", QByteArray(1, '\0') + "hello");
  put("commands", "word", "unknownCommand\nargs;1;2");
  put("commands", "results", QByteArray(1, '\x09') + "1");
  put("commands", "addResult", QByteArray(1, '\x0a') + "1;2;3;75;1;extra");
  put("commands", "open", QByteArray(1, '\x0b') + "birch.jpg|photo|Берёза");
  put("commands", "saveFile", QByteArray(1, '\x0c') + "x;birch.jpg;photo;Берёза");
  put("commands", "html", QByteArray(1, '\x0d') + "test.html|<html><b>75</b></html>");
  put("commands", "print", QByteArray(1, '\x0e') + "<html>75</html>");
  put("commands", "files", QByteArray(1, '\x0f'));
  put("commands", "favorites", QByteArray(1, '\x10') + "fav\\links|list.txt|a;b;c");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds OUT\n");
    return 2;
  }
  out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
  swfSeeds();
  avm1Seeds();
  gmsSeeds();
  textureSeeds();
  jpegSeeds();
  decodeStrSeeds();
  recordSeeds();
  settingsSeeds();
  databaseSeeds();
  commandSeeds();
  std::printf("%d seeds in %s\n", written, qPrintable(out));
  return 0;
}
