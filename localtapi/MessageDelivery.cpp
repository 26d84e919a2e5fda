#include "localtapi/MessageDelivery.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <algorithm>

namespace localtapi {

namespace {

QEvent::Type DeliveryEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

// Receives the delivery events of one application in its own thread.
class MessageDelivery::Receiver : public QObject {
  public:
    Receiver(MessageDelivery& d, HLINEAPP h) : delivery(&d), app(h) {}
    bool event(QEvent* e) override {
        if (e->type() != DeliveryEvent())
            return QObject::event(e);
        if (delivery != nullptr)
            delivery->DeliverOne(app);
        return true;
    }
    // The application is gone: delivery events still queued for this object do nothing,
    // also after the delivery itself has been destroyed.
    void Detach() { delivery = nullptr; }

  private:
    MessageDelivery* delivery;
    HLINEAPP app;
};

MessageDelivery::MessageDelivery(BeforeDelivery b) : before(std::move(b)) {}

MessageDelivery::~MessageDelivery() {
    while (!apps.empty())
        Remove(apps.begin()->first);
}

MessageDelivery::Operation::~Operation() {
    if (--delivery.depth == 0 && delivery.waiting) {
        delivery.waiting = false;
        for (auto& [handle, app] : delivery.apps)
            delivery.Kick(app);
    }
}

bool MessageDelivery::Add(HLINEAPP h, LINECALLBACK callback) {
    if (QCoreApplication::instance() == nullptr)
        return false;
    App app;
    app.callback = callback;
    app.receiver = new Receiver(*this, h);
    apps.emplace(h, std::move(app));
    return true;
}

void MessageDelivery::Remove(HLINEAPP h) {
    const auto it = apps.find(h);
    if (it == apps.end())
        return;
    Receiver* receiver = it->second.receiver;
    receiver->Detach();
    apps.erase(it);
    // Deleting the receiver also drops its delivery events still in the event queue. When
    // it is the one dispatching right now (a callback removing its application), it goes
    // later.
    if (receiver->thread() == QThread::currentThread() && QCoreApplication::instance() != nullptr &&
        dispatching.count(receiver) != 0)
        receiver->deleteLater();
    else
        delete receiver;
}

void MessageDelivery::Post(HLINEAPP h, const Message& m) {
    const auto it = apps.find(h);
    if (it == apps.end())
        return;
    it->second.queue.push_back(m);
    Kick(it->second);
}

void MessageDelivery::Discard(HLINEAPP h, const std::function<bool(const Message&)>& which) {
    const auto it = apps.find(h);
    if (it == apps.end())
        return;
    auto& q = it->second.queue;
    q.erase(std::remove_if(q.begin(), q.end(), which), q.end());
}

std::size_t MessageDelivery::Queued() const {
    std::size_t n = 0;
    for (const auto& [h, app] : apps)
        n += app.queue.size();
    return n;
}

void MessageDelivery::Kick(App& app) {
    if (app.kicked || app.queue.empty())
        return;
    app.kicked = true;
    QCoreApplication::postEvent(app.receiver, new QEvent(DeliveryEvent()));
}

void MessageDelivery::DeliverOne(HLINEAPP h) {
    const auto it = apps.find(h);
    if (it == apps.end())
        return;
    App& app = it->second;
    app.kicked = false;
    if (depth > 0) {
        // Inside a telephony operation (a nested event loop): wait until it returns.
        waiting = true;
        return;
    }
    if (app.queue.empty())
        return;
    const Message m = app.queue.front();
    app.queue.pop_front();
    // The next message gets its own event, so that a callback that runs a modal loop
    // still receives the rest in order.
    Kick(app);
    if (before)
        before(m);
    const LINECALLBACK callback = app.callback;
    const QObject* receiver = app.receiver;
    dispatching.insert(receiver);
    // From here on the application may be gone: the callback may remove it. This object
    // may be gone too: the callback may let go of the last reference to the service.
    const std::weak_ptr<const void> stillHere = alive;
    callback(m.hDevice, m.message, m.instance, m.p1, m.p2, m.p3);
    if (stillHere.expired())
        return;
    dispatching.erase(dispatching.find(receiver));
}

} // namespace localtapi
