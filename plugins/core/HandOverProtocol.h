// What the starts of the program of one user say to each other over their
// local channel, whatever carries it (a Unix socket, a named pipe).
//
// A hand-over: "KSP1", the payload's length (32 bits, big-endian), then the
// paths in UTF-8, each ended by a zero byte (which no path can hold). The
// window answers "OK"; the start that handed over confirms with "GO" and
// ends. Only then does the window take the paths: a start that gave up
// waiting handles its paths itself, and they must not be handled twice.
// "KSP2" is the same with a direction first ("encrypt\0", "decrypt\0"):
// a window that knows only "KSP1" refuses it, and the start opens a window
// of its own, instead of having its paths toggled.
//
// A request to close: "KSQ1" and a zero length, answered and confirmed in
// the same way; once confirmed, the window closes as its close button would
// close it. A window that does not know "KSQ1" drops it unanswered: the
// start then knows that nothing was asked of it.
#pragma once

#include "LogFn.h"
#include "PathDirection.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

class QLocalSocket;
class QObject;

namespace handoverprotocol {

using Receiver = std::function<void(const QStringList &paths, PathDirection direction)>;
using CloseReceiver = std::function<void()>;

// The message that hands `paths` over, with the direction when one is asked.
QByteArray encode(const QStringList &paths, PathDirection direction);

// Sends the hand-over on a connected socket and waits up to `timeoutMs` for
// the window's answer; confirms it when it came. False when the window did
// not answer in time (or hung up): it will not take the paths.
bool send(QLocalSocket &socket, const QStringList &paths, PathDirection direction, int timeoutMs);

// The message that asks the window to close.
QByteArray encodeCloseRequest();

// Sends the request to close as send() sends a hand-over: false when the
// window did not answer in time (or does not know the request).
bool sendCloseRequest(QLocalSocket &socket, int timeoutMs);

// Serves one connected peer of this user: reads its hand-over, answers,
// and once it is confirmed passes the paths to `receive` (a request to
// close: calls `close`). A peer that sends something else, or nothing for
// too long, is dropped; one that hangs up after the answer without
// confirming is named in the log. The peer is deleted once it has gone;
// `context` ends the serving early when deleted.
void serve(QLocalSocket *peer, QObject *context, const LogFn &log, const Receiver &receive, const CloseReceiver &close);

} // namespace handoverprotocol
