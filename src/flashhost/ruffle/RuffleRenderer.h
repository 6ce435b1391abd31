#pragma once
// The movie renderer: Ruffle's web build in a QWebEngineView, behind IFlashRenderer.
//
// How a movie talks to the program:
//   - fscommand(command, args) raises OnFSCommand;
//   - ExternalInterface.call(name, ...) raises OnFlashCall with the request as XML
//     (<invoke name="..." returntype="xml"><arguments>...</arguments></invoke>) and returns
//     what the handler set with SetReturnValue (XML such as <string>true</string>, decoded);
// and how the program reaches the movie, through callbacks the movie registers with
// ExternalInterface.addCallback:
//   - "SetVariable"(name:String, value:String): every FlashVars assignment, in order; what
//     the program sends before the movie has registered it waits and follows in order;
//   - "GetVariable"(name:String):String: GetVariable; without it the control answers from
//     the values it delivered;
//   - "GotoFrame"(frame:Int): GotoFrame; without it a logged no-op.
//
// Set up once, in main(), before the QApplication exists: PrepareMovieRenderer(). Then,
// after the runtime package is installed, TFlashPlayerControl::SetRendererFactory(
// CreateMovieRenderer). The player's files are served from the installed package only.

#include <QStringList>
#include <memory>

#include "flashhost/FlashPlayerControl.h"

namespace vedalia {

// Registers the player's URL scheme and passes `chromiumFlags` (plus --no-sandbox when the
// process runs as root, where Chromium refuses its sandbox) to the web engine. Must run
// before the QApplication is created.
void PrepareMovieRenderer(const QStringList& chromiumFlags = {});

// The renderer factory for TFlashPlayerControl::SetRendererFactory.
std::unique_ptr<IFlashRenderer> CreateMovieRenderer(TFlashPlayerControl& control);

// Milliseconds GetVariable waits for the movie's answer before the control falls back on
// the values it delivered itself.
inline constexpr int kGetVariableTimeoutMs = 1000;
// Replies waiting for a movie that has not registered SetVariable yet; beyond that the
// oldest are dropped (the control's own table keeps every value).
inline constexpr int kMaxQueuedReplies = 1000;

}  // namespace vedalia
