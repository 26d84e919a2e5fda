// MessageDelivery: the queue of telephony messages of each line application, and their
// delivery to its LINECALLBACK.
//
// Follows TAPI's hidden-window option: a message posted for an application is handed to
// its callback from the event loop of the thread that registered it, one message per
// event, so messages also arrive inside modal dialogs and message boxes and a callback
// that runs a modal loop of its own still gets the rest in order. While an Operation is
// alive (a telephony operation is running, perhaps with a nested event loop inside a
// driver or a dialog) nothing is delivered; delivery resumes when the outermost one ends.
// A callback may call the service again, remove its own application, or even destroy the
// service and with it this object; delivery notices and stops touching anything.
//
// What it does not do: no handles, no tracing, no knowledge of what a message means; the
// service decides what to post and what to discard.
#pragma once

#include "telephony/mTAPIDecs.h"

#include <QObject>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace localtapi {

struct Message {
    DWORD hDevice = 0;
    DWORD message = 0;
    DWORD_PTR instance = 0;
    DWORD_PTR p1 = 0, p2 = 0, p3 = 0;
    HLINE line = 0;              // the line it belongs to (0: none)
    HCALL call = 0;              // the call it is about (0: none)
    LPHCALL writeCall = nullptr; // a successful call request's reply stores the call handle here
    HCALL callHandle = 0;
};

class MessageDelivery {
  public:
    // Called for each message just before its callback runs (the service stores a call
    // handle there).
    using BeforeDelivery = std::function<void(const Message&)>;
    explicit MessageDelivery(BeforeDelivery before);
    ~MessageDelivery();
    MessageDelivery(const MessageDelivery&) = delete;
    MessageDelivery& operator=(const MessageDelivery&) = delete;

    // Registers an application; its messages are delivered on the calling thread. False
    // when there is no Qt application object, hence no event loop to deliver through.
    bool Add(HLINEAPP app, LINECALLBACK callback);
    // Nothing more of the application is delivered, queued or not.
    void Remove(HLINEAPP app);
    bool Has(HLINEAPP app) const { return apps.count(app) != 0; }

    void Post(HLINEAPP app, const Message& message);
    // Drops the application's queued messages for which which() is true.
    void Discard(HLINEAPP app, const std::function<bool(const Message&)>& which);
    std::size_t Queued() const;

    // Marks a telephony operation in progress: messages wait until the outermost ends.
    class Operation {
      public:
        explicit Operation(MessageDelivery& d) : delivery(d) { ++delivery.depth; }
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

      private:
        MessageDelivery& delivery;
    };

  private:
    class Receiver;
    struct App {
        LINECALLBACK callback = nullptr;
        Receiver* receiver = nullptr; // owned; lives in the thread that registered the app
        std::deque<Message> queue;
        bool kicked = false; // a delivery event is on its way
    };
    void Kick(App& app);
    void DeliverOne(HLINEAPP app);

    BeforeDelivery before;
    std::map<HLINEAPP, App> apps;
    int depth = 0;
    bool waiting = false;                       // a delivery was put off by an operation
    std::multiset<const QObject*> dispatching;  // receivers whose callback is running
    // Expires with this object, so that a delivery can tell whether its callback
    // destroyed it (with the service that owns it).
    std::shared_ptr<const void> alive = std::make_shared<int>(0);
};

} // namespace localtapi
