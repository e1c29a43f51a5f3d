#include "server.h"

#include "cli/serve/frames.h"
#include "cli/serve/modbus_map.h"
#include "cli/serve/sockets.h"
#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/base/log.h"
#include "core/card/card.h"
#include "core/selftest/lock.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>

namespace cli {
namespace {

using namespace serve;
using Clock = std::chrono::steady_clock;

// The card through dio-cli's binding, every result checked.
class CardOnDriver : public CardPort {
public:
    explicit CardOnDriver(Card& card) : card_(card) {}
    std::vector<std::int16_t> readWords(int count) override { return card_.readWords(count); }
    void writeBit(int channel, int value) override { card_.writeBit(channel, value); }
    void writeByte(int group, int byte) override { card_.writeByte(group, byte); }
    std::string boardCaption() override { return card_.boardCaption(); }

private:
    Card& card_;
};

struct Client {
    std::string peer;
    Frames frames;
    // The last whole request (or the connection): a client that sends a byte
    // now and then but never a whole request is idle, and gives its place up.
    Clock::time_point lastRequest;
    bool wrote = false; // wrote the card: it keeps the card held while connected
    long refused = 0;   // writes refused while a self-test held the card, said once
};

// How long the card stays this server's after its clients' last write: a
// self-test on this PC waits that long, and one through this server keeps
// it between its patterns.
constexpr auto kWritesHold = std::chrono::seconds(5);

// How long the listener rests after an accept that failed (out of
// descriptors): the pending connection would make it fail again at once.
constexpr auto kAcceptRest = std::chrono::seconds(1);

// The listening socket, made by libmodbus (which also starts Windows'
// sockets); what a client sends is then read here, without waiting on one
// client for the rest of its frame.
struct Listener {
    explicit Listener(modbus_t* made) : context(made) {}
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    ~Listener() { modbus_free(context); }
    modbus_t* context;
    Socket socket = 0;
};

std::unique_ptr<Listener> listenOn(const ServeSetup& setup) {
    modbus_t* context = modbus_new_tcp(setup.address.c_str(), setup.port);
    if (!context)
        throw UsageError("监听不了 " + setup.address + ":" + std::to_string(setup.port) + "：" +
                         modbus_strerror(errno));
    auto listener = std::make_unique<Listener>(context);
    const int socket = modbus_tcp_listen(context, 16);
    if (socket < 0)
        throw UsageError("监听不了 " + setup.address + ":" + std::to_string(setup.port) + "：" +
                         modbus_strerror(errno));
    listener->socket = static_cast<Socket>(socket);
    return listener;
}

// The service's state between polls: its clients, and the card's lock while
// they write.
class Server {
public:
    Server(Card& card, const ServeSetup& setup, Log& log, Socket listener)
        : setup_(setup), log_(log), listener_(listener), port_(card), cardId_(card.id()) {}

    // One round: what is readable served, then the lock and the idle clients.
    void poll() {
        const bool resting = acceptFailing_ && Clock::now() - acceptFailed_ < kAcceptRest;
        std::vector<Socket> watched;
        if (!resting)
            watched.push_back(listener_);
        for (const auto& [socket, client] : clients_)
            watched.push_back(socket);
        for (const Socket socket : readable(watched, 200)) {
            if (socket == listener_)
                acceptOne();
            else
                serve(socket);
        }
        log_.flush();
        const auto now = Clock::now();
        if (writesHeld_ && now - lastWrite_ >= kWritesHold) {
            const std::string quiet = "客户端 " + std::to_string(kWritesHold.count()) + " 秒没有写";
            const auto writer =
                std::find_if(clients_.begin(), clients_.end(),
                             [](const auto& client) { return client.second.wrote; });
            if (!allZero()) {
                if (!saidHeld_)
                    log_.say(quiet + "，但还有通道被写成 1：写回 0 之前板卡不让自检");
            } else if (writer != clients_.end()) {
                if (!saidHeld_)
                    log_.say(quiet + "，但写过它的 " + writer->second.peer +
                             " 还连着（它的自检可能在等）：断开之前板卡不让自检");
            } else {
                writesHeld_.reset();
                log_.say(quiet + "，所写的通道都为 0，写过的客户端都已断开，板卡可以自检了");
            }
            saidHeld_ = writesHeld_ != nullptr;
        }
        for (auto it = clients_.begin(); it != clients_.end();) {
            const Socket socket = it++->first;
            if (now - clients_[socket].lastRequest >= setup_.idleTimeout)
                drop(socket, "空闲超时");
        }
    }

    void stop() {
        for (auto it = clients_.begin(); it != clients_.end();)
            drop(it++->first, "服务停止");
    }

private:
    // Whether every line the clients wrote is back at 0. Until then, and while
    // a client that wrote is connected, the card stays held: a test through
    // this server may settle longer than the hold on a pattern of zeros, and a
    // local test would drive over what a client left driven.
    bool allZero() const {
        return std::all_of(written_.groups.begin(), written_.groups.end(),
                           [](int byte) { return byte == 0; });
    }

    // How many of a client's writes were refused while a self-test ran, once it
    // writes again or goes.
    void sayRefused(Client& client) {
        if (client.refused > 1)
            log_.say(client.peer + " 的写请求共被拒绝 " + std::to_string(client.refused) + " 次");
        client.refused = 0;
    }

    void drop(Socket socket, const std::string& why) {
        sayRefused(clients_[socket]);
        log_.say(clients_[socket].peer + " 断开：" + why);
        closeSocket(socket);
        clients_.erase(socket);
    }

    void acceptOne() {
        Accepted accepted{};
        std::string error;
        if (!accept(listener_, accepted, error)) {
            if (!acceptFailing_) // said once, not at each try while it lasts
                log_.say("接受连接失败：" + error + "；每秒再试");
            acceptFailing_ = true;
            acceptFailed_ = Clock::now();
            return;
        }
        if (acceptFailing_)
            log_.say("又能接受连接了");
        acceptFailing_ = false;
        if (static_cast<int>(clients_.size()) >= setup_.maxClients) {
            log_.say(accepted.peer + " 被拒绝：已有 " + std::to_string(clients_.size()) +
                     " 个客户端");
            closeSocket(accepted.socket);
            return;
        }
        clients_[accepted.socket] = {accepted.peer, {}, Clock::now()};
        log_.say(accepted.peer + " 已连接");
    }

    // What a client sent: each whole request answered, in order.
    void serve(Socket socket) {
        Client& client = clients_[socket];
        std::uint8_t bytes[4096];
        const long received = receive(socket, bytes, sizeof bytes);
        if (received <= 0) {
            drop(socket, received == 0 ? "客户端关闭了连接" : "接收出错");
            return;
        }
        client.frames.add(bytes, static_cast<std::size_t>(received));
        bool sent = true;
        while (sent) {
            const std::optional<Request> request = client.frames.next();
            if (!request)
                break;
            client.lastRequest = Clock::now();
            const Answer answered = answer(client, *request);
            if (!answered.wrote.empty())
                log_.say(client.peer + " " + answered.wrote);
            if (!answered.failed.empty())
                log_.say(client.peer + " 请求失败：" + answered.failed);
            sent = sendAll(socket, frame(*request, answered.pdu));
        }
        if (!sent)
            drop(socket, "发送失败（客户端不收）");
        else if (client.frames.broken())
            drop(socket, "发来的不是 Modbus TCP 请求");
    }

    // A write only with the card's self-test lock held: a self-test on this
    // PC and writes through this server never run at once.
    Answer answer(Client& client, const Request& request) {
        const std::uint8_t function = request.pdu[0];
        if (writes(function) && !setup_.readOnly && !writesHeld_ &&
            !(writesHeld_ = SelftestLock::tryHold(cardId_))) {
            if (client.refused++ == 0) // said once while it lasts, counted in the end
                log_.say(client.peer + " 的写请求被拒绝：这块板卡上有自检在运行");
            return {exception(function, MODBUS_EXCEPTION_SLAVE_OR_SERVER_BUSY), "", ""};
        }
        Answer answered =
            serve::answer(request.pdu, request.unit, port_, written_, setup_.readOnly);
        // Only a write that reached the card holds it (one refused as malformed does not).
        if (!answered.wrote.empty()) {
            sayRefused(client);
            lastWrite_ = Clock::now();
            client.wrote = true;
            saidHeld_ = false;
        }
        return answered;
    }

    const ServeSetup& setup_;
    Log& log_;
    Socket listener_;
    CardOnDriver port_;
    Written written_;
    std::map<Socket, Client> clients_;
    const std::string cardId_;
    std::unique_ptr<SelftestLock> writesHeld_;
    Clock::time_point lastWrite_{};
    bool saidHeld_ = false;      // why the card is still held past the quiet time, once a hold
    bool acceptFailing_ = false; // since an accept failed, until one succeeds
    Clock::time_point acceptFailed_{};
};

} // namespace

void serveCard(Card& card, const ServeSetup& setup) {
    Log log(setup.log);
    // The driver loaded and the card asked who it is before anyone connects:
    // a missing driver is said now (status 3), not at the first request.
    const std::string caption = card.boardCaption();
    const std::unique_ptr<Listener> listener = listenOn(setup);
    catchInterrupts();
    log.say("板卡信息：" + caption + "（驱动程序：" + card.driverPath() + "）");
    log.say("正在监听 " + boundAddress(listener->socket) + (setup.readOnly ? "（只读）" : "") +
            "，最多 " + std::to_string(setup.maxClients) + " 个客户端");
    Server server(card, setup, log, listener->socket);
    while (!interrupted())
        server.poll();
    server.stop();
    log.say("服务停止，它没有复位输出");
    log.finish();
    throw Interrupted(stopSignal());
}

} // namespace cli
