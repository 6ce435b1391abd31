#pragma once
// Makes an ActionScript 2 (AVM1) movie answer the host the way the desktop player's control
// did, without the movie's cooperation, by rewriting the bytes handed to the renderer:
//   - a DoAction prepended to the first frame registers ExternalInterface callbacks
//     (kAvm1SetCallback(name, value after one character), kAvm1GetCallback(name),
//     kAvm1GotoCallback(0-based frame)) that act on _level0; in SWF 6
//     and 7, where the player hides flash.external, it is first made visible with
//     ASSetPropFlags and hidden again;
//   - a DoAction appended to the first frame calls out kAvm1ReadyCall: the frame has run;
//   - every fscommand (GetURL "FSCommand:..." and GetURL2 without flags) in frame, init,
//     sprite and button actions becomes a call of an injected function that sends the
//     command through a synchronous ExternalInterface call (kAvm1CommandCall, arguments
//     command and args), during which the host runs the handler's replies through the
//     callbacks above, so the action after fscommand sees the reply. Branches, function, With and
//     Try sizes and WaitForFrame skip counts are fixed; an action stream that does not parse keeps
//     the actions before the first it cannot read and ends there (the player would halt every
//     script of the movie there).
// The injected names live in _global, hidden from enumeration, and cannot collide with a
// movie's names. The result is always an uncompressed (FWS) movie.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace vedalia {

inline constexpr char kAvm1SetCallback[] = "vedalia$SetVariable";
inline constexpr char kAvm1GetCallback[] = "vedalia$GetVariable";
inline constexpr char kAvm1GotoCallback[] = "vedalia$GotoFrame";
inline constexpr char kAvm1ReadyCall[] = "vedalia$ready";
inline constexpr char kAvm1CommandCall[] = "vedalia$fscommand";

struct Avm1Rewrite {
  QByteArray movie;       // the rewritten movie (FWS); empty when `injected` is false
  bool injected = false;  // the callbacks and the ready call are in
  int commands = 0;       // fscommand actions turned into synchronous calls
  int brokenStreams = 0;  // action streams cut short because they did not parse
};

// Nothing for a movie that is not AVM1 of SWF 6 or later, or whose container does not parse
// (then the movie goes to the renderer as it is).
std::optional<Avm1Rewrite> RewriteAvm1Movie(QByteArrayView swf);

// One action stream (the bytes of a DoAction, End action included): each fscommand rewritten,
// offsets fixed. Nothing when the stream does not parse; `commands` counts rewrites.
std::optional<QByteArray> RewriteAvm1Actions(QByteArrayView code, int swfVersion,
                                             int* commands = nullptr);

// A stream as a rewritten movie carries it: RewriteAvm1Actions' result, or for a stream that
// does not parse, the actions before the first unreadable one, rewritten where they parse
// (the player would halt every script of the movie at such bytes). `cut` tells which.
QByteArray RewriteAvm1Stream(QByteArrayView code, int swfVersion, int* commands, bool* cut);

// The first frame's injected actions (DoAction bodies), for the rewriter and its tests.
QByteArray Avm1PrologueActions(int swfVersion);
QByteArray Avm1ReadyActions();

}  // namespace vedalia
