#pragma once
// The plant's MQTT broker on libmosquitto: publishing, and (for the collector)
// a kept subscription. Its network thread connects, and reconnects when the
// broker comes back, while the caller goes on with the card.

#include "core/mqtt/broker_url.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct mosquitto;

namespace cli::mqtt {

// What a client takes in besides publishing: the topics it subscribes to
// (QoS 1) and what it does with each message, on the network thread.
struct Subscription {
    std::vector<std::string> topics;
    std::function<void(const std::string& topic, const std::string& payload)> onMessage;
    // A session the broker keeps while the client is away, under this client
    // identity (MQTT 3.1.1's, which a broker keeps until told otherwise):
    // what comes for the topics then is delivered once it is back.
    std::string persistentAs;
    // Messages the broker kept (retained) and hands to every new subscriber
    // are not taken: anyone may have left one there, and none of ours is.
    bool ignoreRetained = false;
};

class Client {
public:
    // Starts connecting (a host name is looked up here). Credentials from
    // DIO_MQTT_USER and DIO_MQTT_PASSWORD; for mqtts the system's
    // certificates, or DIO_MQTT_CAFILE. With topics to subscribe to, it counts
    // as connected once the broker has granted them, after each reconnection.
    explicit Client(const BrokerUrl& broker, Subscription subscription = {});
    ~Client(); // disconnects, dropping what is not yet acknowledged
    // Disconnects and waits for the network thread: from here on nothing is
    // received (what the broker sends meanwhile it keeps for a kept session).
    void stop();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Waits until connected, publishes with QoS 1 and waits for the broker's
    // acknowledgement, all within `within`; throws PublishFailed naming the
    // broker and the reason.
    void publishAcknowledged(const std::string& topic, const std::string& payload,
                             std::chrono::milliseconds within);
    // Publishes with QoS 1 where connected (true); false, sending nothing,
    // while the broker cannot be reached.
    bool publish(const std::string& topic, const std::string& payload);
    bool connected() const;
    // Waits up to `within` for the connection; whether it is there.
    bool waitConnected(std::chrono::milliseconds within);
    // Why the broker cannot be reached (or was last lost), for messages.
    std::string problem() const;
    // Waits up to `within` for the acknowledgements still due; how many
    // did not come.
    long awaitAcknowledgements(std::chrono::milliseconds within);
    // How many publications the broker refused (an MQTT 5 acknowledgement
    // with a failing reason: not authorised by its ACL), and the last reason.
    long refused() const;
    const BrokerUrl& broker() const { return broker_; }
    // Its waits end early, as at a signal, once `cancel` is set (a window
    // closing); none: only at a signal.
    void cancelWith(const std::atomic<bool>* cancel) { cancel_ = cancel; }

private:
    struct State;
    static void onConnect(mosquitto*, void* state, int result);
    static void onDisconnect(mosquitto*, void* state, int result);
    static void onPublish(mosquitto*, void* state, int id, int reason, const void* properties);
    static void onSubscribe(mosquitto*, void* state, int id, int count, const int* granted);

    mosquitto* client() const { return client_.get(); }
    template <typename Done> bool waitUntil(std::chrono::milliseconds within, Done done) const;

    BrokerUrl broker_;
    std::unique_ptr<State> state_;
    std::unique_ptr<mosquitto, void (*)(mosquitto*)> client_;
    const std::atomic<bool>* cancel_ = nullptr;
};

} // namespace cli::mqtt
