// Notifications from the device to the engine objects that depend on it: a publisher keeps an
// ordered list of subscribers (no duplicates) and calls each one's HandleNotification in turn.
// Neither side owns the other; destroying either one detaches it from the other.
#pragma once

#include <cstdint>
#include <vector>

namespace vorn {

// Device notification codes.
inline constexpr std::uint32_t msgInitialize = 256;  // the device exists; a false answer fails Initialize
inline constexpr std::uint32_t msgFinalize = 257;    // the device is about to go; free everything
inline constexpr std::uint32_t msgDeviceLost = 258;  // release default-pool resources
inline constexpr std::uint32_t msgDeviceReset = 259; // the device was reset; recreate them
inline constexpr std::uint32_t msgBeginScene = 260;  // a scene has begun
inline constexpr std::uint32_t msgEndScene = 261;    // a scene is about to end

class TVornSubscriber;
class TVornDevice;

class TVornPublisher {
public:
    TVornPublisher() = default;
    virtual ~TVornPublisher(); // clears the Publisher of every subscriber
    TVornPublisher(const TVornPublisher&) = delete;
    TVornPublisher& operator=(const TVornPublisher&) = delete;

    // Appends subscriber unless it is listed already or does not accept this publisher; the
    // subscriber leaves its previous publisher. nullptr is ignored.
    void Subscribe(TVornSubscriber* subscriber);
    // Removes subscriber from the list and clears its Publisher; nothing when not listed.
    void Unsubscribe(TVornSubscriber* subscriber);
    // Calls HandleNotification on the subscribers in list order and stops at the first that
    // answers false. The result is the last answer, true with no subscribers.
    bool Notify(std::uint32_t message);

    std::int32_t SubscriberCount() const { return static_cast<std::int32_t>(m_subscribers.size()); }
    // nullptr when index is out of range.
    TVornSubscriber* Subscriber(std::int32_t index) const;
    bool IsSubscribed(const TVornSubscriber* subscriber) const;

private:
    friend class TVornSubscriber;
    std::vector<TVornSubscriber*> m_subscribers;
};

class TVornSubscriber {
public:
    TVornSubscriber() = default;
    virtual ~TVornSubscriber(); // unsubscribes
    TVornSubscriber(const TVornSubscriber&) = delete;
    TVornSubscriber& operator=(const TVornSubscriber&) = delete;

    TVornPublisher* Publisher() const { return m_publisher; }
    // Leaves the old publisher when it differs and subscribes to the new one (nullptr = none).
    // A publisher this subscriber does not accept is refused: false, nothing changes.
    bool SetPublisher(TVornPublisher* publisher);

    // Default: true.
    virtual bool HandleNotification(std::uint32_t message);
    // Whether publisher is of the class this subscriber listens to (any publisher here).
    virtual bool AcceptsPublisher(const TVornPublisher* publisher) const;

private:
    friend class TVornPublisher;
    TVornPublisher* m_publisher = nullptr;
};

// A subscriber that listens to the device only.
class TVornDeviceSubscriber : public TVornSubscriber {
public:
    // The publisher as a device; nullptr when there is none.
    TVornDevice* GetDevice() const;
    bool AcceptsPublisher(const TVornPublisher* publisher) const override;
};

} // namespace vorn
