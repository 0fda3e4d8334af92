#pragma once
// AEventLoopBridge serves an AEventLoop (sd-event) from Qt's event loop, so
// that the platform's sources (the session bus connection of the
// notification centre above all) run on the application's one main thread,
// between Qt's own events, also inside modal dialogs. sd-event keeps its file
// descriptors and its timers (timerfds) in one epoll descriptor: when that
// becomes readable, the bridge dispatches until nothing is pending. Work a
// caller queues without the descriptor knowing (a bus message still to be
// written) is started by Kick.

#include "platform/loop/AEventLoop.h"

#include <QObject>

class QSocketNotifier;
class QTimer;

class AEventLoopBridge : public QObject {
    Q_OBJECT

public:
    explicit AEventLoopBridge(AEventLoop& loop, QObject* parent = nullptr);
    ~AEventLoopBridge() override;

    // Dispatches everything pending now; returns how many dispatches ran.
    // Inside a handler (a modal dialog it opened runs Qt's loop) it serves
    // nothing and stops watching the descriptor until the handler returns:
    // sd-event refuses to run from its own dispatch, and the descriptor,
    // still readable, would otherwise wake Qt's loop without end.
    int Process();
    // Runs Process from Qt's loop as soon as it is idle.
    void Kick();

private:
    AEventLoop& fLoop;
    QSocketNotifier* fNotifier = nullptr;
    QTimer* fKickTimer = nullptr;
    bool fServing = false;
};
