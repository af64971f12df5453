#include "engine/VornSubsc.h"

#include <algorithm>

#include "engine/VornDevices.h"

namespace vorn {

TVornPublisher::~TVornPublisher() {
    for (TVornSubscriber* subscriber : m_subscribers) subscriber->m_publisher = nullptr;
}

void TVornPublisher::Subscribe(TVornSubscriber* subscriber) {
    if (!subscriber || IsSubscribed(subscriber) || !subscriber->AcceptsPublisher(this)) return;
    if (subscriber->m_publisher) subscriber->m_publisher->Unsubscribe(subscriber);
    m_subscribers.push_back(subscriber);
    subscriber->m_publisher = this;
}

void TVornPublisher::Unsubscribe(TVornSubscriber* subscriber) {
    auto it = std::find(m_subscribers.begin(), m_subscribers.end(), subscriber);
    if (it == m_subscribers.end()) return;
    m_subscribers.erase(it);
    if (subscriber->m_publisher == this) subscriber->m_publisher = nullptr;
}

bool TVornPublisher::Notify(std::uint32_t message) {
    // A handler may detach subscribers (or itself): walk a copy and skip whoever has left.
    const std::vector<TVornSubscriber*> snapshot = m_subscribers;
    bool answer = true;
    for (TVornSubscriber* subscriber : snapshot) {
        if (!IsSubscribed(subscriber)) continue;
        answer = subscriber->HandleNotification(message);
        if (!answer) break;
    }
    return answer;
}

TVornSubscriber* TVornPublisher::Subscriber(std::int32_t index) const {
    if (index < 0 || index >= SubscriberCount()) return nullptr;
    return m_subscribers[static_cast<std::size_t>(index)];
}

bool TVornPublisher::IsSubscribed(const TVornSubscriber* subscriber) const {
    return std::find(m_subscribers.begin(), m_subscribers.end(), subscriber) != m_subscribers.end();
}

TVornSubscriber::~TVornSubscriber() {
    if (m_publisher) m_publisher->Unsubscribe(this);
}

bool TVornSubscriber::SetPublisher(TVornPublisher* publisher) {
    if (publisher == m_publisher) return true;
    if (publisher && !AcceptsPublisher(publisher)) return false;
    if (m_publisher) m_publisher->Unsubscribe(this);
    if (publisher) publisher->Subscribe(this);
    return true;
}

bool TVornSubscriber::HandleNotification(std::uint32_t /*message*/) {
    return true;
}

bool TVornSubscriber::AcceptsPublisher(const TVornPublisher* publisher) const {
    return publisher != nullptr;
}

TVornDevice* TVornDeviceSubscriber::GetDevice() const {
    return dynamic_cast<TVornDevice*>(Publisher());
}

bool TVornDeviceSubscriber::AcceptsPublisher(const TVornPublisher* publisher) const {
    return dynamic_cast<const TVornDevice*>(publisher) != nullptr;
}

} // namespace vorn
