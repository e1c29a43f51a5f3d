#include "server.h"

#include "cli/card.h"
#include "cli/console.h"
#include "cli/errors.h"
#include "cli/selftest_lock.h"
#include "cli/serve/mbap.h"
#include "cli/serve/modbus_map.h"
#include "cli/serve/sockets.h"
#include "cli/timestamp.h"

#include <modbus/modbus.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// Who connected and went, and every write: a line each, with its time. On
// the standard error it never holds up the service: lines wait in a bounded
// backlog while the reader stalls (a paused terminal, a pipe nobody reads),
// and past it are dropped, counted, and the count said once there is room.
class Log {
public:
    explicit Log(const std::optional<std::string>& path) {
        if (!path)
            return;
        file_.reset(std::fopen(path->c_str(), "a"));
        if (!file_)
            throw UsageError("写不了日志文件“" + *path + "”：" + std::strerror(errno));
        path_ = *path;
    }
    void say(const std::string& text) {
        const std::string line = stamped(text);
        if (file_) {
            if (std::fputs(line.c_str(), file_.get()) < 0 || std::fflush(file_.get()) != 0)
                throw OutputFailed("日志文件“" + path_ + "”写不进去：" + std::strerror(errno));
            return;
        }
        if (backlog_.size() + line.size() > kBacklog)
            ++dropped_;
        else
            backlog_ += line;
        flush();
    }
    // What waits, as far as the standard error takes it now.
    void flush() {
        if (dropped_ > 0 && backlog_.size() + 200 < kBacklog) {
            backlog_ +=
                stamped("日志的读取方停住了，其间有 " + std::to_string(dropped_) + " 行没有写出");
            dropped_ = 0;
        }
        backlog_.erase(0, writeWithoutWaiting(Stream::Err, backlog_));
    }
    // At the end: what waits, for a moment at most.
    void finish() {
        if (!file_)
            writeWithin(Stream::Err, backlog_, std::chrono::milliseconds(500));
    }

private:
    static constexpr std::size_t kBacklog = 64 * 1024;
    static std::string stamped(const std::string& text) {
        return isoTimestamp(std::chrono::system_clock::now(), false) + "  " + text + "\n";
    }
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::string path_;
    std::string backlog_;
    long dropped_ = 0;
};

struct Client {
    std::string peer;
    Frames frames;
    // The last whole request (or the connection): a client that sends a byte
    // now and then but never a whole request is idle, and gives its place up.
    Clock::time_point lastRequest;
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

} // namespace

int serveCard(Card& card, const ServeSetup& setup) {
    Log log(setup.log);
    // The driver loaded and the card asked who it is before anyone connects:
    // a missing driver is said now (status 3), not at the first request.
    const std::string caption = card.boardCaption();
    const std::unique_ptr<Listener> listener = listenOn(setup);
    catchInterrupts();
    CardOnDriver port(card);
    Written written;
    std::map<Socket, Client> clients;
    log.say("板卡信息：" + caption + "（驱动程序：" + card.driverPath() + "）");
    log.say("正在监听 " + boundAddress(listener->socket) + (setup.readOnly ? "（只读）" : "") +
            "，最多 " + std::to_string(setup.maxClients) + " 个客户端");
    auto drop = [&](Socket socket, const std::string& why) {
        log.say(clients[socket].peer + " 断开：" + why);
        closeSocket(socket);
        clients.erase(socket);
    };
    // The card's self-test lock, held while clients write it: a self-test on
    // this PC and writes through this server never run at once.
    const std::string cardId = card.id();
    std::unique_ptr<SelftestLock> writesHeld;
    Clock::time_point lastWrite{};
    bool acceptFailing = false; // since an accept failed, until one succeeds
    Clock::time_point acceptFailed{};
    while (!interrupted()) {
        const bool resting = acceptFailing && Clock::now() - acceptFailed < kAcceptRest;
        std::vector<Socket> watched;
        if (!resting)
            watched.push_back(listener->socket);
        for (const auto& [socket, client] : clients)
            watched.push_back(socket);
        for (const Socket socket : readable(watched, 200)) {
            if (socket == listener->socket) {
                Accepted accepted{};
                std::string error;
                if (!accept(listener->socket, accepted, error)) {
                    if (!acceptFailing) // said once, not at each try while it lasts
                        log.say("接受连接失败：" + error + "；每秒再试");
                    acceptFailing = true;
                    acceptFailed = Clock::now();
                    continue;
                }
                if (acceptFailing)
                    log.say("又能接受连接了");
                acceptFailing = false;
                if (static_cast<int>(clients.size()) >= setup.maxClients) {
                    log.say(accepted.peer + " 被拒绝：已有 " + std::to_string(clients.size()) +
                            " 个客户端");
                    closeSocket(accepted.socket);
                    continue;
                }
                clients[accepted.socket] = {accepted.peer, {}, Clock::now()};
                log.say(accepted.peer + " 已连接");
                continue;
            }
            Client& client = clients[socket];
            std::uint8_t bytes[4096];
            const long received = receive(socket, bytes, sizeof bytes);
            if (received <= 0) {
                drop(socket, received == 0 ? "客户端关闭了连接" : "接收出错");
                continue;
            }
            client.frames.add(bytes, static_cast<std::size_t>(received));
            bool sent = true;
            while (sent) {
                const std::optional<Request> request = client.frames.next();
                if (!request)
                    break;
                client.lastRequest = Clock::now();
                const std::uint8_t function = request->pdu[0];
                Answer answered;
                if (writes(function) && !setup.readOnly && !writesHeld &&
                    !(writesHeld = SelftestLock::tryHold(cardId))) {
                    answered = {{static_cast<std::uint8_t>(function | 0x80), kDeviceBusy}, "", ""};
                    log.say(client.peer + " 的写请求被拒绝：这块板卡上有自检在运行");
                } else {
                    if (writes(function))
                        lastWrite = Clock::now();
                    answered = answer(request->pdu, request->unit, port, written, setup.readOnly);
                }
                if (!answered.wrote.empty())
                    log.say(client.peer + " " + answered.wrote);
                if (!answered.failed.empty())
                    log.say(client.peer + " 请求失败：" + answered.failed);
                sent = sendAll(socket, frame(*request, answered.pdu));
            }
            if (!sent)
                drop(socket, "发送失败（客户端不收）");
            else if (client.frames.broken())
                drop(socket, "发来的不是 Modbus TCP 请求");
        }
        log.flush();
        const auto now = Clock::now();
        if (writesHeld && now - lastWrite >= kWritesHold) {
            writesHeld.reset();
            log.say("客户端 " + std::to_string(kWritesHold.count()) + " 秒没有写，板卡可以自检了");
        }
        for (auto it = clients.begin(); it != clients.end();) {
            const Socket socket = it++->first;
            if (now - clients[socket].lastRequest >= setup.idleTimeout)
                drop(socket, "空闲超时");
        }
    }
    for (auto it = clients.begin(); it != clients.end();)
        drop(it++->first, "服务停止");
    log.say("服务停止，各输出保持不变");
    log.finish();
    throw Interrupted(stopSignal());
}

} // namespace cli
