#include "publisher.h"

#include "cli/errors.h"

#include <mosquitto.h>

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
struct Publisher::State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool connected = false;
    std::string problem;          // why not connected; "" while the first attempt goes on
    std::set<int> unacknowledged; // message ids published, not yet acknowledged
    std::set<int> early;          // acknowledged before publish() had noted them
};

Publisher::Publisher(const BrokerUrl& broker)
    : broker_(broker), state_(std::make_unique<State>()), client_(nullptr, mosquitto_destroy) {
    libraryReady();
    client_.reset(mosquitto_new(nullptr, true, state_.get()));
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
    mosquitto_publish_callback_set(client(), onPublish);
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

Publisher::~Publisher() {
    // Connected, it says goodbye and its thread ends with it; else the thread
    // may sit in a connection attempt to a host that never answers (minutes,
    // where a firewall drops the packets), and is cancelled rather than waited for.
    const bool wasConnected = connected();
    mosquitto_disconnect(client());
    mosquitto_loop_stop(client(), !wasConnected);
}

void Publisher::onConnect(mosquitto*, void* state, int result) {
    auto& s = *static_cast<State*>(state);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.connected = result == 0;
    if (result != 0)
        s.problem = std::string("代理拒绝了连接：") + mosquitto_connack_string(result);
    s.changed.notify_all();
}

void Publisher::onDisconnect(mosquitto*, void* state, int result) {
    auto& s = *static_cast<State*>(state);
    std::lock_guard<std::mutex> lock(s.mutex);
    // A connection refused keeps the broker's reason, said at the refusal.
    if (result != 0 && s.connected)
        s.problem = std::string("与代理的连接断开：") + mosquitto_strerror(result);
    s.connected = false;
    s.changed.notify_all();
}

void Publisher::onPublish(mosquitto*, void* state, int id) {
    auto& s = *static_cast<State*>(state);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.unacknowledged.erase(id) == 0)
        s.early.insert(id);
    s.changed.notify_all();
}

bool Publisher::connected() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->connected;
}

std::string Publisher::problem() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->problem;
}

bool Publisher::publish(const std::string& topic, const std::string& payload) {
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

void Publisher::publishAcknowledged(const std::string& topic, const std::string& payload,
                                    std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    waitConnected(within);
    auto failed = [&](const std::string& why) {
        return PublishFailed("MQTT：未能发布到 " + broker_.text() + " 的 " + topic + "：" + why);
    };
    if (!publish(topic, payload)) {
        const std::string why = problem();
        throw failed(why.empty() ? std::to_string(within.count()) + " ms 内没有连上代理" : why);
    }
    if (settle(std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now())) != 0)
        throw failed("代理在 " + std::to_string(within.count()) + " ms 内没有确认收到");
}

bool Publisher::waitConnected(std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, within, [&] { return state_->connected; });
}

long Publisher::settle(std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait_for(lock, within, [&] { return state_->unacknowledged.empty(); });
    return static_cast<long>(state_->unacknowledged.size());
}

} // namespace cli::mqtt
