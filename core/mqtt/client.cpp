#include "client.h"

#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <set>

namespace cli::mqtt {
namespace {

// libmosquitto's set-up, once for the process and undone at its end.
void libraryReady() {
    static const struct Library {
        Library() { mosquitto_lib_init(); }
        ~Library() { mosquitto_lib_cleanup(); }
    } library;
}

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

} // namespace

// Shared with libmosquitto's network thread, which runs the callbacks.
struct Client::State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool connected = false;
    std::string problem;          // why not connected; "" while the first attempt goes on
    std::set<int> unacknowledged; // message ids published, not yet acknowledged
    std::set<int> early;          // acknowledged before publish() had noted them
    long refused = 0;             // acknowledged with a failing reason (MQTT 5)
    bool version5 = true;         // until a broker says it does not speak it
    Subscription subscription;    // read by the network thread only, once set
    int subscribing = -1;         // the subscription's message id until granted
    bool stopped = false;         // the caller's alone
};

namespace {

// A broker's reason for refusing, in its own words: MQTT 5's reason codes are
// 128 and above, 3.1.1's connection answers below.
std::string reasonText(int code) {
    return code >= 128 ? mosquitto_reason_string(code) : mosquitto_connack_string(code);
}

} // namespace

Client::Client(const BrokerUrl& broker, Subscription subscription)
    : broker_(broker), state_(std::make_unique<State>()), client_(nullptr, mosquitto_destroy) {
    libraryReady();
    state_->subscription = std::move(subscription);
    const std::string& persistentAs = state_->subscription.persistentAs;
    client_.reset(mosquitto_new(persistentAs.empty() ? nullptr : persistentAs.c_str(),
                                persistentAs.empty(), state_.get()));
    if (!client_)
        throw PublishFailed("MQTT：无法建立客户端（内存不足）");
    auto failed = [&](const std::string& doing, int result) {
        return PublishFailed("MQTT：" + doing + "（" + broker_.text() + "）：" +
                             mosquitto_strerror(result));
    };
    int result = mosquitto_username_pw_set(client(), environment("DIO_MQTT_USER"),
                                           environment("DIO_MQTT_PASSWORD"));
    if (result != MOSQ_ERR_SUCCESS)
        throw failed("用户名或密码不能用", result);
    if (broker_.tls) {
        const char* caFile = environment("DIO_MQTT_CAFILE");
        result = mosquitto_tls_set(client(), caFile, caFile ? nullptr : "/etc/ssl/certs", nullptr,
                                   nullptr, nullptr);
        if (result != MOSQ_ERR_SUCCESS)
            throw failed("不能用 TLS", result);
    }
    mosquitto_connect_callback_set(client(), onConnect);
    mosquitto_disconnect_callback_set(client(), onDisconnect);
    // MQTT 5, where the broker speaks it, so that a publication it refuses
    // (its ACL) is said in the acknowledgement rather than acknowledged as done.
    // A kept session in 3.1.1, whose brokers keep it with no expiry to set.
    if (persistentAs.empty())
        mosquitto_int_option(client(), MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    else
        state_->version5 = false;
    mosquitto_subscribe_callback_set(client(), onSubscribe);
    mosquitto_message_callback_set(client(), [](mosquitto*, void* state,
                                                const mosquitto_message* message) {
        const auto& s = *static_cast<State*>(state);
        if (message->retain && s.subscription.ignoreRetained)
            return;
        if (s.subscription.onMessage && message->topic)
            s.subscription.onMessage(message->topic,
                                     std::string(static_cast<const char*>(message->payload),
                                                 static_cast<std::size_t>(message->payloadlen)));
    });
    mosquitto_publish_v5_callback_set(client(), [](mosquitto* m, void* state, int id, int reason,
                                                   const mosquitto_property* properties) {
        onPublish(m, state, id, reason, properties);
    });
    // A broker that went away is tried again every second, not less often.
    mosquitto_reconnect_delay_set(client(), 1, 1, false);
    // Every change goes out at once, not when a packet would be full.
    mosquitto_int_option(client(), MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_max_inflight_messages_set(client(), 0);
    result = mosquitto_connect_async(client(), broker_.host.c_str(), broker_.port, 30);
    if (result == MOSQ_ERR_INVAL || result == MOSQ_ERR_NOMEM)
        throw failed("连不上代理", result);
    // Refused at once (a broker not yet up): the network thread tries again.
    if (result != MOSQ_ERR_SUCCESS)
        state_->problem = std::string("连不上代理：") + mosquitto_strerror(result);
    if ((result = mosquitto_loop_start(client())) != MOSQ_ERR_SUCCESS)
        throw failed("无法启动网络线程", result);
}

Client::~Client() {
    stop();
}

void Client::stop() {
    if (state_->stopped)
        return;
    state_->stopped = true;
    // Connected, it says goodbye and its thread ends with it; else the thread
    // may sit in a connection attempt to a host that never answers (minutes,
    // where a firewall drops the packets), and is cancelled rather than waited for.
    const bool wasConnected = connected();
    mosquitto_disconnect(client());
    mosquitto_loop_stop(client(), !wasConnected);
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->connected = false;
}

void Client::onConnect(mosquitto* client, void* state, int result) {
    auto& s = *static_cast<State*>(state);
    std::lock_guard<std::mutex> lock(s.mutex);
    const std::vector<std::string>& topics = s.subscription.topics;
    s.connected = result == 0 && topics.empty();
    if (result == 0 && !topics.empty()) {
        // Asked again at every connection: a clean session forgets them.
        std::vector<char*> names;
        for (const std::string& topic : topics)
            names.push_back(const_cast<char*>(topic.c_str()));
        const int asked = mosquitto_subscribe_multiple(
            client, &s.subscribing, static_cast<int>(names.size()), names.data(), 1, 0, nullptr);
        if (asked != MOSQ_ERR_SUCCESS)
            s.problem = std::string("订阅失败：") + mosquitto_strerror(asked);
    }
    if ((result == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION ||
         result == CONNACK_REFUSED_PROTOCOL_VERSION) &&
        s.version5) {
        // A broker of MQTT 3.1.1 only: the network thread's next try speaks that.
        s.version5 = false;
        mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        s.problem = "代理不支持 MQTT 5，改用 3.1.1（它拒收的发布也会确认）";
    } else if (result != 0) {
        s.problem = "代理拒绝了连接：" + reasonText(result);
    }
    s.changed.notify_all();
}

void Client::onDisconnect(mosquitto*, void* state, int result) {
    auto& s = *static_cast<State*>(state);
    std::lock_guard<std::mutex> lock(s.mutex);
    // A connection refused keeps the broker's reason, said at the refusal.
    if (result != 0 && s.connected)
        s.problem = std::string("与代理的连接断开：") + mosquitto_strerror(result);
    s.connected = false;
    s.changed.notify_all();
}

void Client::onPublish(mosquitto*, void* state, int id, int reason, const void*) {
    auto& s = *static_cast<State*>(state);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.unacknowledged.erase(id) == 0)
        s.early.insert(id);
    // Not authorised, quota exceeded and the like: acknowledged, not taken.
    if (reason >= 128) {
        ++s.refused;
        s.problem = "代理拒收了发布：" + reasonText(reason);
    }
    s.changed.notify_all();
}

void Client::onSubscribe(mosquitto*, void* state, int id, int count, const int* granted) {
    auto& s = *static_cast<State*>(state);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (id != s.subscribing)
        return;
    // 0x80 for a topic the broker would not grant (its ACL).
    const bool refused = std::any_of(granted, granted + count, [](int qos) { return qos > 2; });
    if (refused)
        s.problem = "代理拒绝了订阅";
    s.connected = !refused;
    s.changed.notify_all();
}

long Client::refused() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->refused;
}

bool Client::connected() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->connected;
}

std::string Client::problem() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->problem;
}

bool Client::publish(const std::string& topic, const std::string& payload) {
    if (!connected())
        return false;
    int id = 0;
    // Not under the lock: libmosquitto's thread takes it in the callbacks.
    const int result = mosquitto_publish(
        client(), &id, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false);
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (result != MOSQ_ERR_SUCCESS) {
        state_->problem = std::string("发布失败：") + mosquitto_strerror(result);
        return false;
    }
    // The acknowledgement may have come before the call returned.
    if (state_->early.erase(id) == 0)
        state_->unacknowledged.insert(id);
    return true;
}

void Client::publishAcknowledged(const std::string& topic, const std::string& payload,
                                 std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    waitConnected(within);
    auto failed = [&](const std::string& why) {
        return PublishFailed("MQTT：未能发布到 " + broker_.text() + " 的 " + topic + "：" + why);
    };
    if (!connected() && interrupted())
        throw failed("已中断（" + signalName(stopSignal()) + "），没等连上代理");
    if (!publish(topic, payload)) {
        const std::string why = problem();
        throw failed(why.empty() ? std::to_string(within.count()) + " ms 内没有连上代理" : why);
    }
    const long due = awaitAcknowledgements(std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()));
    if (due != 0 && interrupted())
        throw failed("已中断（" + signalName(stopSignal()) + "），没等代理确认");
    if (due != 0)
        throw failed("代理在 " + std::to_string(within.count()) + " ms 内没有确认收到");
    if (refused() > 0)
        throw failed(problem());
}

// Waits up to `within` until `done` holds (asked under the state's lock), or a
// signal asks the program to stop: nobody waits on a broker past Ctrl-C.
template <typename Done> bool Client::waitUntil(std::chrono::milliseconds within, Done done) const {
    const auto deadline = std::chrono::steady_clock::now() + within;
    std::unique_lock<std::mutex> lock(state_->mutex);
    while (!done() && !interrupted() && !(cancel_ && *cancel_)) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            break;
        state_->changed.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                           deadline - now, std::chrono::milliseconds(50)));
    }
    return done();
}

bool Client::waitConnected(std::chrono::milliseconds within) {
    return waitUntil(within, [&] { return state_->connected; });
}

long Client::awaitAcknowledgements(std::chrono::milliseconds within) {
    waitUntil(within, [&] { return state_->unacknowledged.empty(); });
    std::lock_guard<std::mutex> lock(state_->mutex);
    return static_cast<long>(state_->unacknowledged.size());
}

} // namespace cli::mqtt
