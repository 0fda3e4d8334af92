#include "pane/AEventLoopBridge.h"

#include <QSocketNotifier>
#include <QTimer>

namespace {

// A bound on the dispatches of one Process, so that a source that never
// calms down cannot hold Qt's loop; the rest runs on the next wake-up.
constexpr int kMaxDispatches = 1000;

} // namespace

AEventLoopBridge::AEventLoopBridge(AEventLoop& loop, QObject* parent)
    : QObject(parent), fLoop(loop)
{
    const int fd = fLoop.GetFileDescriptor();
    if (fd >= 0) {
        fNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(fNotifier, &QSocketNotifier::activated, this, [this] { Process(); });
    }
    fKickTimer = new QTimer(this);
    fKickTimer->setSingleShot(true);
    fKickTimer->setInterval(0);
    connect(fKickTimer, &QTimer::timeout, this, [this] { Process(); });
    // The sources made before the bridge may already be pending.
    Kick();
}

AEventLoopBridge::~AEventLoopBridge() = default;

int AEventLoopBridge::Process()
{
    if (fServing) {
        if (fNotifier != nullptr)
            fNotifier->setEnabled(false);
        return 0;
    }
    fServing = true;
    const int dispatched = fLoop.ServePending(kMaxDispatches);
    fServing = false;
    if (fNotifier != nullptr && !fNotifier->isEnabled()) {
        fNotifier->setEnabled(true);
        Kick();  // what arrived while the handler held the loop
    }
    if (dispatched == kMaxDispatches)
        Kick();
    return dispatched;
}

void AEventLoopBridge::Kick()
{
    fKickTimer->start();
}
