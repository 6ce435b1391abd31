#pragma once
// Writes small, valid Flash movies: a header, SetBackgroundColor, optional extra tags, N
// frames (ShowFrame each) and End. Used by tests, the course tool ("make-movie") and the demo
// build, wherever a real movie file is needed without an authoring tool.
//
//   vedalia::SwfMovieSpec movieSpec;
//   movieSpec.width = 800; movieSpec.height = 600; movieSpec.frameCount = 3;
//   movieSpec.compression = vedalia::SwfCompression::Zlib;
//   QByteArray bytes = vedalia::WriteSwfMovie(movieSpec);

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "flashhost/SwfInfo.h"

namespace vedalia {

// ActionScript 2 (AVM1) actions that take no operand.
enum class SwfOp : std::uint8_t {
  NextFrame = 0x04,
  PrevFrame = 0x05,
  Play = 0x06,
  Stop = 0x07,
  Subtract = 0x0B,
  Multiply = 0x0C,
  Divide = 0x0D,
  And = 0x10,
  Or = 0x11,
  Not = 0x12,
  StringEquals = 0x13,
  StringLength = 0x14,
  Pop = 0x17,
  ToInteger = 0x18,
  GetVariable = 0x1C,
  SetVariable = 0x1D,
  StringAdd = 0x21,
  GetProperty = 0x22,
  SetProperty = 0x23,
  Trace = 0x26,
  DefineLocal = 0x3C,
  CallFunction = 0x3D,
  Return = 0x3E,
  NewObject = 0x40,
  InitArray = 0x42,
  InitObject = 0x43,
  TypeOf = 0x44,
  Add2 = 0x47,
  Less2 = 0x48,
  Equals2 = 0x49,
  PushDuplicate = 0x4C,
  GetMember = 0x4E,
  SetMember = 0x4F,
  Increment = 0x50,
  Decrement = 0x51,
  CallMethod = 0x52,
  StrictEquals = 0x66,
  Greater = 0x67,
};

// Assembles an AVM1 action list. Branches name labels; Code() resolves them to the signed
// byte offsets the player expects (relative to the end of the branch action).
//
//   SwfActions a;
//   a.Fscommand("getUsersData", "").Push("list").Push("UsersData").Op(SwfOp::GetVariable)
//       .Op(SwfOp::SetVariable);
//   QByteArray tag = SwfDoActionTag(a);
class SwfActions {
 public:
  // A ConstantPool action; later string pushes of a pooled string push its index instead.
  SwfActions& ConstantPool(const QStringList& strings);
  SwfActions& Push(const QString& value);  // strings are UTF-8 (SWF 6 and later)
  SwfActions& Push(const char* value) { return Push(QString::fromUtf8(value)); }
  SwfActions& Push(std::int32_t value);
  SwfActions& Push(double value);
  SwfActions& Push(bool value);
  SwfActions& PushNull();
  SwfActions& PushUndefined();
  SwfActions& Op(SwfOp op);

  // name = value, on the current timeline (or a path such as "/clip:var").
  template <typename T>
  SwfActions& Set(const QString& name, T value) {
    return Push(name).Push(value).Op(SwfOp::SetVariable);
  }
  SwfActions& Get(const QString& name) { return Push(name).Op(SwfOp::GetVariable); }

  SwfActions& Label(const QString& label);
  SwfActions& Jump(const QString& label);
  SwfActions& If(const QString& label);  // pops a value; branches when it is true

  SwfActions& GotoFrame(int frameIndex);  // 0-based
  SwfActions& GotoLabel(const QString& label);
  SwfActions& GotoFrame2(bool play);  // pops a frame number (1-based) or label
  SwfActions& GetUrl(const QString& url, const QString& target);
  SwfActions& GetUrl2(std::uint8_t flags = 0);  // pops target, then url
  // fscommand("command", "args") as Flash compiles it with literal arguments.
  SwfActions& Fscommand(const QString& command, const QString& args) {
    return GetUrl("FSCommand:" + command, args);
  }
  // fscommand("command", <the value of variable `argsVariable`>).
  SwfActions& FscommandFromVariable(const QString& command, const QString& argsVariable) {
    return Push("FSCommand:" + command).Get(argsVariable).GetUrl2();
  }
  SwfActions& DefineFunction(const QString& name, const QStringList& params,
                             const SwfActions& body);

  // The action bytes without the End action (for function bodies), labels resolved.
  QByteArray Code() const;
  // Code() followed by End, as DoAction, DoInitAction and button or clip actions hold it.
  QByteArray Bytes() const { return Code() + QByteArray(1, '\0'); }
  // False when a branch names an unknown or duplicate label, or its offset exceeds 16 bits.
  bool Valid() const;

 private:
  struct Branch {
    qsizetype offsetAt;  // position of the 16-bit offset field
    QString label;
  };
  SwfActions& Action(std::uint8_t code, const QByteArray& payload);
  SwfActions& PushRecord(std::uint8_t type, const QByteArray& value);
  std::optional<QByteArray> Resolve() const;

  QByteArray code_;
  std::map<QString, qsizetype> labels_;
  std::vector<Branch> branches_;
  QStringList pool_;
  bool duplicateLabel_ = false;
};

// Tags that carry actions.
QByteArray SwfDoActionTag(const SwfActions& actions);
QByteArray SwfDoInitActionTag(int spriteId, const SwfActions& actions);
QByteArray SwfFrameLabelTag(const QString& label);
// A solid rectangle shape (DefineShape) of `width` x `height` pixels with its corner at 0,0.
QByteArray SwfRectangleShapeTag(int shapeId, int width, int height, std::uint32_t rgb);

// Button conditions (DefineButton2 condition flags).
inline constexpr std::uint16_t kSwfOnPress = 0x0004;
inline constexpr std::uint16_t kSwfOnRelease = 0x0008;
constexpr std::uint16_t SwfOnKeyPress(int keyCode) { return std::uint16_t((keyCode & 0x7F) << 9); }
struct SwfButtonAction {
  std::uint16_t conditions = kSwfOnRelease;
  SwfActions actions;
};
// A button showing `shapeId` in every state (and as its hit area), with its condition actions.
QByteArray SwfButtonTag(int buttonId, int shapeId, const std::vector<SwfButtonAction>& actions);

// A movie clip (DefineSprite) of `frameCount` frames; `firstFrameTags` go into its first.
QByteArray SwfSpriteTag(int spriteId, int frameCount, const QByteArray& firstFrameTags = {});

// Clip events (onClipEvent) of a placed clip.
inline constexpr std::uint32_t kSwfClipLoad = 0x0001;
inline constexpr std::uint32_t kSwfClipEnterFrame = 0x0002;
inline constexpr std::uint32_t kSwfClipKeyPress = 0x20000;  // SWF 6 and later
struct SwfClipAction {
  std::uint32_t events = kSwfClipLoad;
  SwfActions actions;
  int keyCode = 0;  // the key of a kSwfClipKeyPress handler
};
struct SwfPlacement {
  int characterId = 0;
  int depth = 1;
  int x = 0;  // pixels
  int y = 0;
  QString name;  // instance name; empty for none
  std::vector<SwfClipAction> clipActions;
};
// PlaceObject2. `swfVersion` decides the width of the clip event flags (16 bits before SWF 6).
QByteArray SwfPlaceTag(const SwfPlacement& placement, int swfVersion = 10);

struct SwfMovieSpec {
  int version = 10;  // 1..255
  int width = 550;   // stage in pixels, 0..107374182
  int height = 400;
  double frameRate = 24.0;                   // 0..255.996 (8.8 fixed point)
  int frameCount = 1;                        // 0..65535 ShowFrame tags, and the header's count
  std::uint32_t backgroundColor = 0xFFFFFF;  // 0xRRGGBB
  SwfCompression compression = SwfCompression::None;
  // Complete tags (see SwfTag) placed after SetBackgroundColor, before the first ShowFrame.
  QByteArray extraTags;
  // Per frame (0-based index): tags placed in that frame before its actions, then the frame's
  // actions as a DoAction tag. Entries beyond the frame count are not written.
  std::map<int, QByteArray> frameTags;
  std::map<int, SwfActions> frameActions;
};

// One tag: record header (short form below 63 bytes of payload, else long form) + payload.
QByteArray SwfTag(int code, const QByteArray& payload = QByteArray());

// The movie's bytes. Values outside the ranges above are clamped into them.
QByteArray WriteSwfMovie(const SwfMovieSpec& movieSpec);

// Writes the movie to `path` (replacing the file); false when it cannot be written.
bool WriteSwfMovieFile(const QString& path, const SwfMovieSpec& movieSpec);

}  // namespace vedalia
