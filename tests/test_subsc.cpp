// Publisher and subscriber: order, veto, no duplicates, and detaching from either side.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/VornDevices.h"
#include "engine/VornSubsc.h"

namespace vorn {
namespace {

class TRecorder : public TVornSubscriber {
public:
    TRecorder(std::string name, std::vector<std::string>& log, bool answer = true)
        : m_name(std::move(name)), m_log(log), m_answer(answer) {}
    bool HandleNotification(std::uint32_t message) override {
        m_log.push_back(m_name + ":" + std::to_string(message));
        if (onNotify) onNotify();
        return m_answer;
    }
    std::function<void()> onNotify;

private:
    std::string m_name;
    std::vector<std::string>& m_log;
    bool m_answer;
};

using Log = std::vector<std::string>;

TEST(Publisher, NotifiesInOrderOfSubscription) {
    Log log;
    TVornPublisher publisher;
    TRecorder a("a", log), b("b", log), c("c", log);
    a.SetPublisher(&publisher);
    c.SetPublisher(&publisher);
    b.SetPublisher(&publisher);
    EXPECT_TRUE(publisher.Notify(msgBeginScene));
    EXPECT_EQ(log, (Log{"a:260", "c:260", "b:260"}));
    EXPECT_EQ(publisher.Subscriber(1), &c);
    EXPECT_EQ(publisher.Subscriber(3), nullptr);
    EXPECT_EQ(publisher.Subscriber(-1), nullptr);
}

TEST(Publisher, StopsAtFirstFalseAndAnswersIt) {
    Log log;
    TVornPublisher publisher;
    TRecorder a("a", log), veto("veto", log, false), c("c", log);
    publisher.Subscribe(&a);
    publisher.Subscribe(&veto);
    publisher.Subscribe(&c);
    EXPECT_FALSE(publisher.Notify(msgInitialize));
    EXPECT_EQ(log, (Log{"a:256", "veto:256"}));
}

TEST(Publisher, AnswersTrueWithoutSubscribers) {
    TVornPublisher publisher;
    EXPECT_TRUE(publisher.Notify(msgFinalize));
}

TEST(Publisher, KeepsNoDuplicates) {
    Log log;
    TVornPublisher publisher;
    TRecorder a("a", log);
    publisher.Subscribe(&a);
    publisher.Subscribe(&a);
    a.SetPublisher(&publisher);
    EXPECT_EQ(publisher.SubscriberCount(), 1);
    publisher.Notify(msgEndScene);
    EXPECT_EQ(log, (Log{"a:261"}));
    publisher.Subscribe(nullptr);
    EXPECT_EQ(publisher.SubscriberCount(), 1);
}

TEST(Subscriber, MovingToAnotherPublisherLeavesTheOld) {
    Log log;
    TVornPublisher first, second;
    TRecorder a("a", log);
    a.SetPublisher(&first);
    second.Subscribe(&a); // subscribing from the publisher's side moves it as well
    EXPECT_EQ(a.Publisher(), &second);
    EXPECT_EQ(first.SubscriberCount(), 0);
    EXPECT_EQ(second.SubscriberCount(), 1);
    a.SetPublisher(nullptr);
    EXPECT_EQ(second.SubscriberCount(), 0);
    EXPECT_EQ(a.Publisher(), nullptr);
}

TEST(Subscriber, UnsubscribeClearsPublisher) {
    Log log;
    TVornPublisher publisher, other;
    TRecorder a("a", log);
    a.SetPublisher(&publisher);
    other.Unsubscribe(&a); // not listed there: nothing changes
    EXPECT_EQ(a.Publisher(), &publisher);
    publisher.Unsubscribe(&a);
    EXPECT_EQ(a.Publisher(), nullptr);
    EXPECT_TRUE(publisher.Notify(msgFinalize));
    EXPECT_TRUE(log.empty());
}

TEST(Subscriber, DestroyingSubscriberUnsubscribes) {
    Log log;
    TVornPublisher publisher;
    TRecorder a("a", log);
    {
        TRecorder b("b", log);
        b.SetPublisher(&publisher);
        a.SetPublisher(&publisher);
    }
    EXPECT_EQ(publisher.SubscriberCount(), 1);
    publisher.Notify(msgBeginScene);
    EXPECT_EQ(log, (Log{"a:260"}));
}

TEST(Subscriber, DestroyingPublisherClearsEverySubscriber) {
    Log log;
    TRecorder a("a", log), b("b", log);
    {
        TVornPublisher publisher;
        a.SetPublisher(&publisher);
        b.SetPublisher(&publisher);
    }
    EXPECT_EQ(a.Publisher(), nullptr);
    EXPECT_EQ(b.Publisher(), nullptr);
    // Destroying the subscribers afterwards must not touch the freed publisher (ASan).
}

TEST(Subscriber, DefaultHandlerAnswersTrue) {
    TVornPublisher publisher;
    TVornSubscriber plain;
    plain.SetPublisher(&publisher);
    EXPECT_TRUE(publisher.Notify(msgInitialize));
}

TEST(Subscriber, HandlerMayDetachOthersDuringNotify) {
    Log log;
    TVornPublisher publisher;
    TRecorder a("a", log);
    auto b = std::make_unique<TRecorder>("b", log);
    TRecorder c("c", log);
    a.SetPublisher(&publisher);
    b->SetPublisher(&publisher);
    c.SetPublisher(&publisher);
    a.onNotify = [&] { b.reset(); };
    EXPECT_TRUE(publisher.Notify(msgDeviceLost));
    EXPECT_EQ(log, (Log{"a:258", "c:258"}));
    EXPECT_EQ(publisher.SubscriberCount(), 2);
}

class TDeviceRecorder : public TVornDeviceSubscriber {};

TEST(DeviceSubscriber, AcceptsOnlyADevice) {
    TVornPublisher plain;
    TVornDevice device;
    TDeviceRecorder subscriber;
    EXPECT_FALSE(subscriber.SetPublisher(&plain));
    EXPECT_EQ(subscriber.Publisher(), nullptr);
    plain.Subscribe(&subscriber);
    EXPECT_EQ(plain.SubscriberCount(), 0);
    EXPECT_EQ(subscriber.GetDevice(), nullptr);

    EXPECT_TRUE(subscriber.SetPublisher(&device));
    EXPECT_EQ(subscriber.GetDevice(), &device);
    // A refused publisher leaves the current one in place.
    EXPECT_FALSE(subscriber.SetPublisher(&plain));
    EXPECT_EQ(subscriber.GetDevice(), &device);
}

TEST(MessageCodes, HaveTheirFixedValues) {
    EXPECT_EQ(msgInitialize, 256u);
    EXPECT_EQ(msgFinalize, 257u);
    EXPECT_EQ(msgDeviceLost, 258u);
    EXPECT_EQ(msgDeviceReset, 259u);
    EXPECT_EQ(msgBeginScene, 260u);
    EXPECT_EQ(msgEndScene, 261u);
}

} // namespace
} // namespace vorn
