// The message queue on its own: order, nothing inside an operation, removal, a callback
// that runs a modal loop, and one that destroys the queue it is called from.
#include "localtapi/MessageDelivery.h"
#include "tests/support/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace localtapi;

namespace {

std::vector<std::string> g_got; // "app:p1" per delivered message
std::function<void(DWORD_PTR p1)> g_during; // run inside the callback

void CALLBACK RecordDelivered(DWORD, DWORD, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR, DWORD_PTR) {
    g_got.push_back(std::to_string(instance) + ":" + std::to_string(p1));
    if (g_during)
        g_during(p1);
}

Message Numbered(DWORD_PTR app, DWORD_PTR n) {
    Message m;
    m.message = LINE_REPLY;
    m.instance = app;
    m.p1 = n;
    return m;
}

class Delivery : public testing::Test {
  protected:
    void SetUp() override {
        g_got.clear();
        g_during = nullptr;
    }
    void TearDown() override { g_during = nullptr; }
};

} // namespace

TEST_F(Delivery, InOrderPerApplicationAndNeverInsideAnOperation) {
    std::vector<DWORD_PTR> before;
    MessageDelivery d([&](const Message& m) { before.push_back(m.p1); });
    ASSERT_TRUE(d.Add(1, &RecordDelivered));
    ASSERT_TRUE(d.Add(2, &RecordDelivered));
    {
        MessageDelivery::Operation op(d);
        for (DWORD_PTR n : {10, 11, 12})
            d.Post(1, Numbered(1, n));
        d.Post(2, Numbered(2, 20));
        d.Post(3, Numbered(3, 30)); // no such application: dropped
        Settle();
        EXPECT_TRUE(g_got.empty()) << "delivered inside an operation";
        EXPECT_EQ(d.Queued(), 4u);
    }
    ASSERT_TRUE(WaitUntil([] { return g_got.size() == 4; }));
    std::vector<std::string> first;
    for (const std::string& g : g_got)
        if (g[0] == '1')
            first.push_back(g);
    EXPECT_EQ(first, (std::vector<std::string>{"1:10", "1:11", "1:12"}));
    EXPECT_EQ(before.size(), 4u) << "the service sees each message before its callback";
    EXPECT_EQ(d.Queued(), 0u);
}

TEST_F(Delivery, RemovedOrDiscardedMessagesAreNotDelivered) {
    MessageDelivery d(nullptr);
    ASSERT_TRUE(d.Add(1, &RecordDelivered));
    ASSERT_TRUE(d.Add(2, &RecordDelivered));
    for (DWORD_PTR n : {1, 2, 3, 4})
        d.Post(1, Numbered(1, n));
    d.Post(2, Numbered(2, 9));
    d.Discard(1, [](const Message& m) { return m.p1 % 2 == 0; });
    d.Remove(2);
    EXPECT_FALSE(d.Has(2));
    Settle();
    EXPECT_EQ(g_got, (std::vector<std::string>{"1:1", "1:3"}));
}

// A callback that opens a modal loop (a message box) still gets the rest, in order, from
// inside that loop.
TEST_F(Delivery, CallbackInAModalLoopStillReceivesTheRest) {
    MessageDelivery d(nullptr);
    ASSERT_TRUE(d.Add(1, &RecordDelivered));
    std::vector<std::string> insideFirst;
    g_during = [&](DWORD_PTR p1) {
        if (p1 != 1)
            return;
        WaitUntil([] { return g_got.size() == 3; });
        insideFirst = g_got;
    };
    for (DWORD_PTR n : {1, 2, 3})
        d.Post(1, Numbered(1, n));
    ASSERT_TRUE(WaitUntil([] { return g_got.size() == 3; }));
    EXPECT_EQ(insideFirst, (std::vector<std::string>{"1:1", "1:2", "1:3"}));
}

// The callback lets go of the service, and with it the queue: nothing is touched after.
TEST_F(Delivery, CallbackThatDestroysTheQueue) {
    auto d = std::make_unique<MessageDelivery>(nullptr);
    ASSERT_TRUE(d->Add(1, &RecordDelivered));
    g_during = [&](DWORD_PTR) { d.reset(); };
    d->Post(1, Numbered(1, 1));
    d->Post(1, Numbered(1, 2));
    ASSERT_TRUE(WaitUntil([&] { return d == nullptr; }));
    Settle();
    EXPECT_EQ(g_got, (std::vector<std::string>{"1:1"}));
}

// The callback removes its own application: its pending messages go with it.
TEST_F(Delivery, CallbackThatRemovesItsApplication) {
    MessageDelivery d(nullptr);
    ASSERT_TRUE(d.Add(1, &RecordDelivered));
    g_during = [&](DWORD_PTR) { d.Remove(1); };
    d.Post(1, Numbered(1, 1));
    d.Post(1, Numbered(1, 2));
    ASSERT_TRUE(WaitUntil([] { return !g_got.empty(); }));
    Settle();
    EXPECT_EQ(g_got, (std::vector<std::string>{"1:1"}));
}
