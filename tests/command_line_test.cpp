// What dio-cli's command line asks for, read without a driver: a usage
// mistake anywhere is refused before anything could be sent.
#include "cli/command_line.h"
#include "core/base/errors.h"

#include <gtest/gtest.h>

namespace {

using namespace cli;

template <typename... Readers> struct Reading : Readers... { using Readers::operator()...; };
template <typename... Readers> Reading(Readers...) -> Reading<Readers...>;

// What a command line reads as, in a few words, or the refusal's message.
// Every subcommand has its reading here: a new one does not compile until
// it is read.
std::string readAs(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "dio-cli");
    try {
        return std::visit(
            Reading{
                [](const HelpCommand& help) -> std::string {
                    return help.text.find("选项:") != std::string::npos ? "help" : "help?";
                },
                [](const InfoCommand&) -> std::string { return "info"; },
                [](const GetSetup& get) { return "get " + std::to_string(get.words); },
                [](const SetSetup& set) {
                    return "set " +
                           std::to_string(set.bytes ? set.groups.size() : set.bits.size()) +
                           (set.bytes ? " groups" : " lines");
                },
                [](const WatchSetup& watch) {
                    return "watch " + std::to_string(watch.interval.count()) + " " +
                           std::to_string(watch.duration ? watch.duration->count() : -1);
                },
                [](const SelftestCommand& selftest) {
                    const auto& mqtt = selftest.output.mqtt;
                    return "selftest " + std::to_string(selftest.setup.channels.size()) + " " +
                           std::to_string(selftest.setup.reads) + " " +
                           selftest.output.report.value_or("-") +
                           (mqtt ? " " + mqtt->text() + " " + mqtt->prefix : "");
                },
                [](const RunPlanSetup& run) {
                    return "run " + run.plan.name + " " + std::to_string(run.plan.steps.size()) +
                           " " + run.junit.value_or("-") + " " +
                           std::to_string(run.station.rules.retests) + " " +
                           std::to_string(run.station.rules.fixtureRow);
                },
                [](const records::HistorySetup& history) {
                    return std::string(history.stats ? "stats" : "history") +
                           (history.byStation ? " by station " : " ") +
                           history.filter.since.value_or("-") + " " +
                           (history.filter.status ? records::nameOf(*history.filter.status) : "-") +
                           " " + history.db.value_or("-");
                },
                [](const ServeSetup& serve) {
                    return "serve " + serve.address + ":" + std::to_string(serve.port);
                },
                [](const DeliverySetup& publish) {
                    return "publish " + publish.broker.text() + " " + publish.broker.prefix + " " +
                           std::to_string(publish.confirm.count());
                },
#ifdef DIO_PLANT
                [](const CollectSetup& collect) {
                    return "collect " + collect.broker.prefix + " " +
                           (collect.db.empty() ? "-" : collect.db) + " " +
                           (collect.clientId.empty() ? "-" : collect.clientId) + " " +
                           std::to_string(collect.batch);
                },
#endif
            },
            parseCommandLine(arguments));
    } catch (const UsageError& e) {
        return std::string("refused: ") + e.what();
    }
}

struct Row {
    const char* what;
    std::vector<std::string> arguments;
    const char* readsAs; // or the start of the refusal
};

TEST(CommandLine, ReadsWhatIsAskedAndRefusesTheRestBeforeAnyDriverCall) {
    const Row rows[] = {
        {"info", {"info"}, "info"},
        {"words typed full-width", {"get", "-w", "１７"}, "get 17"},
        {"too many words", {"get", "-w", "33"}, "refused: --words 的“33”不对"},
        {"a format that is none", {"get", "-f", "xml"}, "refused: --format 的“xml”不对"},
        {"lines", {"set", "9=1", "17=0"}, "set 2 lines"},
        {"groups", {"set", "--byte", "0=FF", "1=0x3c"}, "set 2 groups"},
        {"one bad line among good ones", {"set", "9=1", "129=1"}, "refused: 参数“129=1”不对"},
        {"a line twice", {"set", "9=1", "9=0"}, "refused: 通道在“9=0”中第二次出现"},
        {"watch's defaults", {"watch"}, "watch 200 -1"},
        {"a duration", {"watch", "-i", "50ms", "-d", "2m"}, "watch 50 120000"},
        {"a hexadecimal duration", {"watch", "-d", "0x10"}, "refused: --duration 的“0x10”不对"},
        {"a negative count", {"watch", "-n", "-1"}, "refused: --count 的“-1”不对"},
        {"self-test with consent",
         {"selftest", "--yes", "-c", "1-8", "--reads", "3"},
         "selftest 8 3 -"},
        {"self-test without consent", {"selftest"}, "refused: 自检会驱动所测的每个输出"},
        {"a report file", {"selftest", "-y", "-r", "r.json"}, "selftest 128 2 r.json"},
        {"a report named -", {"selftest", "-y", "-r", "-"}, "refused: --report 要一个文件名"},
        {"one read a pattern", {"selftest", "-y", "--reads", "1"}, "refused: --reads 的“1”不对"},
        {"a broker",
         {"selftest", "-y", "--mqtt", "mqtt://plc.lan/plant/line3/"},
         "selftest 128 2 - mqtt://plc.lan:1883 plant/line3"},
        {"a broker by TLS on IPv6",
         {"selftest", "-y", "--mqtt", "mqtts://[fd00::7]:9883/p"},
         "selftest 128 2 - mqtts://[fd00::7]:9883 p"},
        {"a broker's password in the URL",
         {"selftest", "-y", "--mqtt", "mqtt://u:pw@plc/p"},
         "refused: --mqtt 的“mqtt://u:pw@plc/p”不对：用户名和密码请放在环境变量"},
        {"a wildcard topic", {"watch", "--mqtt", "mqtt://plc/a/#"}, "refused: --mqtt"},
        {"a port too far", {"watch", "--mqtt", "mqtt://plc:65536/a"}, "refused: --mqtt"},
        {"not MQTT", {"watch", "--mqtt", "http://plc/a"}, "refused: --mqtt"},
        {"a station that splits topics",
         {"watch", "--mqtt", "mqtt://plc/a", "--station", "a/b"},
         "refused: 测试台“a/b”不能作 MQTT 主题的一级"},
        {"a station of the broker's",
         {"watch", "--mqtt", "mqtt://plc/a", "--station", "$SYS"},
         "refused: 测试台“$SYS”不能用在 MQTT 主题里（以 $ 开头"},
        {"a prefix of the broker's",
         {"watch", "--mqtt", "mqtt://plc/$share/a"},
         "refused: 主题前缀“$share/a”不能用在 MQTT 主题里（以 $ 开头"},
        {"a station not UTF-8",
         {"watch", "--mqtt", "mqtt://plc/a", "--station", "a\xff"},
         "refused: 测试台“a\xff”不能用在 MQTT 主题里（不是 UTF-8"},
        {"a surrogate in a station",
         {"watch", "--mqtt", "mqtt://plc/a", "--station", "\xed\xa0\x80"},
         "refused: 测试台"},
        {"an overlong slash",
         {"watch", "--mqtt", "mqtt://plc/a", "--station",
          "a\xc0\xaf"
          "b"},
         "refused: 测试台"},
        {"a station with a bell",
         {"watch", "--mqtt", "mqtt://plc/a", "--station", "a\x07"},
         "refused: 测试台“a\\x07”不能用在 MQTT 主题里（有控制字符"},
        {"a station too long for a topic",
         {"watch", "--mqtt", "mqtt://plc/a", "--station", std::string(65530, 'x')},
         "refused: 测试台“xxxx"},
        {"a Chinese station",
         {"watch", "--mqtt", "mqtt://plc/厂/a", "--station", "三号线"},
         "watch"},
        {"records without a serial", {"selftest", "-y", "--db", "r.sqlite"}, "refused: --db"},
        {"history since a day",
         {"history", "--since", "2026-12-01", "--status", "aborted"},
         "history 2026-12-01 aborted"},
        {"history since a word", {"history", "--since", "today"}, "refused: --since"},
        {"a leap day",
         {"history", "--since", "2028-02-29T23:59:59"},
         "history 2028-02-29T23:59:59"},
        {"no leap day", {"history", "--since", "2026-02-29"}, "refused: --since 的“2026-02-29”"},
        {"a century without one", {"history", "--since", "2100-02-29"}, "refused: --since"},
        {"month 13", {"history", "--since", "2026-13-01"}, "refused: --since"},
        {"month 0", {"history", "--since", "2026-00-10"}, "refused: --since"},
        {"day 0", {"history", "--since", "2026-01-00"}, "refused: --since"},
        {"April 31", {"history", "--since", "2026-04-31"}, "refused: --since"},
        {"hour 24", {"history", "--since", "2026-12-01T24:00"}, "refused: --since"},
        {"minute 60", {"history", "--since", "2026-12-01T23:60"}, "refused: --since"},
        {"second 60", {"history", "--since", "2026-12-01T23:59:60"}, "refused: --since"},
        {"a records file", {"history", "--db", "r.sqlite"}, "history - - r.sqlite"},
        {"memory is a file", {"history", "--db", ":memory:"}, "history - - ./:memory:"},
        {"a URI is a file", {"history", "--db", "file:x.sqlite"}, "history - - ./file:x.sqlite"},
        {"no records file", {"history", "--db", ""}, "refused: --db 要一个文件名"},
        {"a line break in a serial",
         {"selftest", "-y", "--serial", "A\nB"},
         "refused: --serial 的“A\\x0aB”里有控制字符"},
        {"an escape in a part", {"selftest", "-y", "--part", "\x1b[2J"}, "refused: --part"},
        {"a C1 control in a station",
         {"selftest", "-y", "--station",
          "a\xc2\x9b"
          "b"},
         "refused: --station"},
        {"a tab for an operator", {"selftest", "-y", "--operator", "a\tb"}, "refused: --operator"},
        {"Chinese names",
         {"selftest", "-y", "--serial", "甲-1", "--operator", "王工"},
         "selftest 128"},
        {"history since a bad time",
         {"history", "--since", "2026-12-01 08:00"},
         "refused: --since"},
        {"serve's default", {"serve"}, "serve 127.0.0.1:1502"},
        {"every interface", {"serve", "-l", "0.0.0.0:502"}, "serve 0.0.0.0:502"},
        {"a port the system picks", {"serve", "-l", "10.0.0.255:0"}, "serve 10.0.0.255:0"},
        {"an octal-looking octet",
         {"serve", "-l", "010.0.0.1:502"},
         "refused: --listen 的“010.0.0.1:502”不对：“010.0.0.1”里的“010”有前导零"},
        {"a padded last octet",
         {"serve", "-l", "127.0.0.010:1502"},
         "refused: --listen 的“127.0.0.010:1502”不对：“127.0.0.010”里的“010”"},
        {"another 0. address",
         {"serve", "-l", "0.1.2.3:502"},
         "refused: --listen 的“0.1.2.3:502”不对：“0.1.2.3”：以 0 开头"},
        {"an octet of 256",
         {"serve", "-l", "10.0.0.256:502"},
         "refused: --listen 的“10.0.0.256:502”不对：“10.0.0.256”不是 IPv4 地址"},
        {"five octets",
         {"serve", "-l", "1.2.3.4.5:502"},
         "refused: --listen 的“1.2.3.4.5:502”不对：“1.2.3.4.5”不是"},
        {"three octets",
         {"serve", "-l", "1.2.3:502"},
         "refused: --listen 的“1.2.3:502”不对：“1.2.3”不是"},
        {"a host name",
         {"serve", "-l", "localhost:502"},
         "refused: --listen 的“localhost:502”不对：“localhost”不是"},
        {"a port too far",
         {"serve", "-l", "127.0.0.1:65536"},
         "refused: --listen 的“127.0.0.1:65536”不对：应为"},
        {"no port", {"serve", "-l", "127.0.0.1"}, "refused: --listen 的“127.0.0.1”不对：应为"},
        {"an unknown subcommand", {"bogus"}, "refused: 不认识的子命令“bogus”"},
        {"no subcommand", {}, "refused: 缺少必需的子命令"},
        {"an unknown option", {"get", "--bogus"}, "refused: 不认识的参数"},
        {"help, in Chinese", {"selftest", "--help"}, "help"},
        {"stats by station", {"history", "--stats", "--by", "station"}, "stats by station - -"},
        {"by without stats", {"history", "--by", "station"}, "refused: --by 是 --stats 的"},
        {"by what is none", {"history", "--stats", "--by", "day"}, "refused: --by 的“day”不对"},
        {"publish what waits",
         {"publish", "--pending", "--mqtt", "mqtt://plc/plant", "--wait", "3s"},
         "publish mqtt://plc:1883 plant 3000"},
        {"publish without pending",
         {"publish", "--mqtt", "mqtt://plc/plant"},
         "refused: publish 只发未确认的"},
        {"publish without a broker", {"publish", "--pending"}, "refused: 缺少必需的"},
#ifdef DIO_PLANT
        {"the plant's history",
         {"history", "--db", "postgresql://db/plant"},
         "history - - postgresql://db/plant"},
        {"the plant by its service",
         {"history", "--db", "service=plant"},
         "history - - service=plant"},
        {"pending in the plant's store",
         {"history", "--pending", "--db", "postgresql://db/plant"},
         "refused: --pending 看的是测试台自己的记录库"},
        {"a password in the plant's URL",
         {"history", "--db", "postgresql://u:pw@db/plant"},
         "refused: "},
        {"collect's defaults", {"collect", "--mqtt", "mqtt://plc/plant"}, "collect plant - - 500"},
        {"collect as a session",
         {"collect", "--mqtt", "mqtt://plc/plant", "--db", "service=plant", "--client-id", "c1",
          "--batch", "20"},
         "collect plant service=plant c1 20"},
        {"collect with an empty session",
         {"collect", "--mqtt", "mqtt://plc/p", "--client-id", ""},
         "refused: --client-id 不能为空"},
        {"a batch too large",
         {"collect", "--mqtt", "mqtt://plc/p", "--batch", "10001"},
         "refused: --batch"},
#else
        {"no plant here",
         {"history", "--db", "postgresql://db/plant"},
         "refused: 这个版本的 dio-cli 不读 PostgreSQL"},
#endif
    };
    for (const Row& row : rows) {
        const std::string read = readAs(row.arguments);
        EXPECT_EQ(read.substr(0, std::string(row.readsAs).size()), row.readsAs) << row.what;
    }
}

} // namespace
