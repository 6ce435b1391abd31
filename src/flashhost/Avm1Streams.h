#pragma once
// The AVM1 action streams of a movie and a check of their control flow, independent of the
// rewriter that changes them: where a movie keeps actions (DoAction, DoInitAction, sprites,
// buttons, clip events of placed clips), and whether every branch, block and skip count of a
// stream ends on an action boundary, and on the same action as before a rewrite.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace vedalia {

struct Avm1Action {
  qsizetype offset = 0;
  qsizetype size = 0;
  std::uint8_t code = 0;
};

// The actions up to and including End (or the end of the bytes). Nothing when an action's
// length runs past the bytes.
std::optional<std::vector<Avm1Action>> Avm1ParseActions(QByteArrayView code);

// Where each control action of `code` leads, as action indices (the index one past the last
// action is the end of the stream): branch targets, the ends of function, With and Try
// blocks, the action after a WaitForFrame's skipped ones. Nothing when the stream does not
// parse or a target falls inside an action or outside the stream; `error` says which.
struct Avm1Target {
  std::size_t from = 0;  // index of the control action
  std::size_t to = 0;
};
std::optional<std::vector<Avm1Target>> Avm1ControlTargets(QByteArrayView code,
                                                          QString* error = nullptr);

// Checks that `after` is `before` with each fscommand turned into `replacementOf(action)`
// (the rewriter's replacement of that one action; an empty result: the action stays) and
// every control action leading to the same action as before. An empty string when it holds,
// else what broke.
template <typename F>
QString Avm1CompareRewrite(QByteArrayView before, QByteArrayView after, F replacementOf);

// The action streams of a movie's tag list (the body after the header; `swfVersion` decides
// the clip event layout), in file order, nested sprites included. Nothing when a tag that
// holds actions does not parse. The streams are views into `tags`, which must outlive them.
std::optional<std::vector<QByteArrayView>> Avm1MovieStreams(QByteArrayView tags, int swfVersion);

// Offset of the clip actions in a PlaceObject2 (26) or PlaceObject3 (70) payload; nothing
// when it has none or the fields before them run past the payload.
std::optional<qsizetype> Avm1ClipActionsOffset(QByteArrayView payload, int tagCode);

// Bytes of a MATRIX record at `at`, or -1 when it runs past the data.
qsizetype Avm1MatrixBytes(QByteArrayView data, qsizetype at);

QString Avm1CompareRewriteImpl(QByteArrayView before, QByteArrayView after,
                               const std::vector<QByteArray>& replacements);

template <typename F>
QString Avm1CompareRewrite(QByteArrayView before, QByteArrayView after, F replacementOf) {
  const auto actions = Avm1ParseActions(before);
  if (!actions) return QStringLiteral("the stream before does not parse");
  std::vector<QByteArray> replacements;
  replacements.reserve(actions->size());
  for (const Avm1Action& a : *actions)
    replacements.push_back(replacementOf(before.sliced(a.offset, a.size)));
  return Avm1CompareRewriteImpl(before, after, replacements);
}

}  // namespace vedalia
