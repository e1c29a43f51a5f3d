// dio-cli: the card from the command line, on the panel's driver binding.
// Exit status: 0 all well, 1 faults found (selftest), 2 a usage error, 3 the
// driver missing, not loadable or lacking an entry point, 4 a driver call
// failed, 5 an output (standard output or error, a report file) could not be
// written, 128 + N ended by signal N (130 for Ctrl-C) once the self-test's
// lines were set back to 0.
#include "cli/arguments.h"
#include "cli/card.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/errors.h"
#include "cli/selftest/on_card.h"
#include "convert/printable.h"
#include "driver/dlldef.h"
#include "driver/driver_error.h"

#include <CLI/CLI.hpp>

#include <map>

namespace {

using namespace cli;

// The value a word names from a list, or UsageError naming the option.
template <typename T>
T choice(const std::string& option, const std::string& given,
         const std::map<std::string, T>& choices) {
    const auto found = choices.find(given);
    if (found != choices.end())
        return found->second;
    std::string names;
    for (const auto& [name, value] : choices)
        names += (names.empty() ? "" : "、") + name;
    throw UsageError(option + " 的“" + given + "”不对：可用 " + names);
}

Wiring wiringFrom(const std::string& map) {
    return map.empty() ? Wiring() : Wiring::fromFile(map);
}

// Chinese for the help's headings.
void speakChinese(CLI::App& app) {
    auto formatter = app.get_formatter();
    formatter->label("Usage", "用法");
    formatter->label("OPTIONS", "选项");
    formatter->label("SUBCOMMAND", "子命令");
    formatter->label("SUBCOMMANDS", "子命令");
    formatter->label("Options", "选项");
    formatter->label("Positionals", "参数");
    formatter->label("Subcommands", "子命令");
    formatter->label("REQUIRED", "必需");
    formatter->column_width(34);
    app.option_defaults()->group("选项");
}

// CLI11's reason, in a Chinese sentence naming the kind of mistake.
std::string parseProblem(const CLI::ParseError& e) {
    if (dynamic_cast<const CLI::RequiredError*>(&e))
        return std::string("缺少必需的子命令或参数（") + e.what() + "）";
    if (dynamic_cast<const CLI::ExtrasError*>(&e))
        return std::string("不认识的参数（") + e.what() + "）";
    if (dynamic_cast<const CLI::ConversionError*>(&e))
        return std::string("参数的值不对（") + e.what() + "）";
    return std::string("命令行有误（") + e.what() + "）";
}

int run(const std::vector<std::string>& arguments) {
    CLI::App app{"数据采集卡开关量的命令行工具：读板卡信息，读输入，设输出，监视输入，"
                 "环回自检。用与测试面板相同的驱动程序（libadcard.so / adcard.dll），"
                 "只在程序所在的文件夹和系统的库文件夹里找，从不在当前文件夹里找。",
                 "dio-cli"};
    speakChinese(app);
    app.set_help_flag("-h,--help", "显示帮助");
    app.require_subcommand(1);
    app.fallthrough(false);

    CLI::App* info = app.add_subcommand("info", "驱动程序文件和板卡信息（同测试面板）");

    std::string words = "4";
    std::string getFormat = "text";
    CLI::App* get = app.add_subcommand("get", "读输入字：十六进制和各位");
    get->add_option("-w,--words", words, "读几个字，1 到 32（默认 4，同测试面板）")->type_name("N");
    get->add_option("-f,--format", getFormat, "text（默认）、hex、bits 或 json")
        ->type_name("FORMAT");

    std::vector<std::string> settings;
    bool bytes = false;
    CLI::App* set = app.add_subcommand(
        "set", "设输出：通道=0|1（Zan_DOBit），或 --byte 通道组=十六进制字节（Zan_DO）。"
               "先检查全部参数，有一个不对就什么也不发");
    set->add_option("SETTINGS", settings, "如 9=1 17=0，或与 --byte 一起 0=FF 1=3C")
        ->required()
        ->type_name("KEY=VALUE");
    set->add_flag("-b,--byte", bytes, "按字节：通道组 0 到 15，字节 00 到 FF");

    std::string interval = "200ms", duration, channels = "1-128", watchFormat = "text", map;
    std::string count = "0";
    bool utc = false;
    CLI::App* watch =
        app.add_subcommand("watch", "监视输入：先列出初始状态，再逐个列出变化（带 ISO 8601 时间）；"
                                    "结束时（含 Ctrl-C）列出各通道的变化次数");
    watch->add_option("-i,--interval", interval, "轮询间隔（默认 200ms）")->type_name("TIME");
    watch->add_option("-n,--count", count, "有这么多次变化后结束")->type_name("N");
    watch->add_option("-d,--duration", duration, "监视这么久后结束，如 30s、5m、1h")
        ->type_name("TIME");
    watch->add_option("-c,--channels", channels, "监视的通道，如 1-8,17（默认 1-128）")
        ->type_name("LIST");
    watch->add_option("-m,--map", map, "接线表：每行“通道 字 位”")->type_name("FILE");
    watch->add_flag("-u,--utc", utc, "用 UTC 时间（默认本地时间带时差）");
    watch->add_option("-f,--format", watchFormat, "text（默认）、csv 或 jsonl")
        ->type_name("FORMAT");

    bool yes = false, json = false;
    std::string settle = "10", reads = "2";
    std::string report;
    CLI::App* selftest = app.add_subcommand(
        "selftest", "环回自检：输出经接线回到输入，找出固定为 0 或 1（开路或被钳住）、"
                    "短路（线与、线或）和交叉的通道。会驱动所测的每个输出，结束时全部复位为 0");
    selftest->add_flag("-y,--yes", yes, "确认可以驱动所有输出（必需）");
    selftest->add_option("-c,--channels", channels, "所测的通道，如 1-64（默认 1-128）")
        ->type_name("LIST");
    selftest
        ->add_option("-m,--map", map,
                     "接线表：每行“通道 字 位”（默认通道 c 接输入字 "
                     "(c-1)/8 的位 (c-1)%8）")
        ->type_name("FILE");
    selftest->add_option("-s,--settle", settle, "每个图样写出后等多少毫秒再读（默认 10）")
        ->type_name("MS");
    selftest
        ->add_option("--reads", reads,
                     "每个图样读几次输入（默认 2，至少 2）：图样不变而读数变了的输入报为时通时断")
        ->type_name("N");
    selftest->add_flag("-j,--json", json, "以 JSON 输出报告");
    CLI::Option* reportOption =
        selftest->add_option("-r,--report", report, "另把 JSON 报告写入此文件（写完才换掉旧文件）")
            ->type_name("FILE");

    std::string commands;
    bool known = arguments.size() < 2 || arguments[1].rfind('-', 0) == 0;
    for (CLI::App* command : {info, get, set, watch, selftest}) {
        command->group("子命令");
        commands += (commands.empty() ? "" : "、") + command->get_name();
        known = known || arguments[1] == command->get_name();
    }
    // The word where a subcommand should be, named when it is none.
    if (!known)
        throw UsageError("不认识的子命令“" + arguments[1] + "”：可用 " + commands);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        write(Stream::Out, app.help());
        return 0;
    } catch (const CLI::ParseError& e) {
        throw UsageError(parseProblem(e));
    }

    // Everything is checked before the driver is loaded.
    const int wordCount = *get ? parseNumber(words, "--words", 1, kMaxInputWords) : 0;
    const auto setBits = *set && !bytes ? parseBitSettings(settings) : std::vector<BitSetting>();
    const auto setBytes = *set && bytes ? parseByteSettings(settings) : std::vector<ByteSetting>();
    WatchSetup watchSetup{};
    if (*watch) {
        watchSetup = {parseChannels(channels),
                      wiringFrom(map),
                      parseDuration(interval, "--interval"),
                      parseNumber(count, "--count", 0, 999999999),
                      std::nullopt,
                      choice<WatchFormat>("--format", watchFormat,
                                          {{"text", WatchFormat::Text},
                                           {"csv", WatchFormat::Csv},
                                           {"jsonl", WatchFormat::Jsonl}}),
                      utc};
        if (!duration.empty())
            watchSetup.duration = parseDuration(duration, "--duration");
    }
    SelftestSetup selftestSetup{};
    if (*selftest) {
        if (!yes)
            throw UsageError("自检会驱动所测的每个输出：确认可以时加上 --yes");
        selftestSetup = {parseChannels(channels), wiringFrom(map),
                         std::chrono::milliseconds(parseNumber(settle, "--settle", 0, 60000)),
                         isTerminal(Stream::Err),
                         static_cast<int>(parseNumber(reads, "--reads", 2, 100))};
    }
    const GetFormat format = *get ? choice<GetFormat>("--format", getFormat,
                                                      {{"text", GetFormat::Text},
                                                       {"hex", GetFormat::Hex},
                                                       {"bits", GetFormat::Bits},
                                                       {"json", GetFormat::Json}})
                                  : GetFormat::Text;

    driver::DllDef dll;
    Card card(dll);
    if (*info)
        return showInfo(card);
    if (*get)
        return showInputs(card, wordCount, format);
    if (*set)
        return bytes ? cli::setBytes(card, setBytes) : cli::setBits(card, setBits);
    if (*watch)
        return cli::watch(card, watchSetup);
    return runSelftest(card, selftestSetup,
                       {json, *reportOption ? std::optional(report) : std::nullopt});
}

} // namespace

int main(int argc, char** argv) {
    // Before anything loads a library.
    driver::lockLibrarySearch();
    auto fail = [](int status, const std::string& message) {
        try {
            write(Stream::Err, "dio-cli：" + convert::printable(message) + "\n");
        } catch (const OutputFailed&) {
            // The standard error is where this would be said: the status says it.
        }
        return status;
    };
    auto withAftermath = [](const Failure& e) {
        return e.aftermath().empty() ? std::string(e.what()) : e.what() + ("，" + e.aftermath());
    };
    try {
        return run(arguments(argc, argv));
    } catch (const UsageError& e) {
        return fail(2,
                    std::string(e.what()) + "\n（dio-cli --help 或 dio-cli 子命令 --help 看用法）");
    } catch (const driver::DriverError& e) {
        return fail(3, e.what());
    } catch (const DriverCallFailed& e) {
        return fail(4, withAftermath(e));
    } catch (const Interrupted& e) {
        return fail(128 + e.signal(), withAftermath(e));
    } catch (const OutputFailed& e) {
        // A reader that went away (SIGPIPE) ends it as that signal would have.
        return fail(interrupted() ? 128 + stopSignal() : 5, withAftermath(e));
    } catch (const std::exception& e) {
        return fail(70, std::string("意外的错误：") + e.what());
    }
}
