#include "command_line.h"

#include "core/options/option_forms.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <map>
#include <utility>

namespace cli {
namespace {

using Finishes = std::map<std::string, std::function<Command()>>;

// Each subcommand's options declared, its finish kept under its name.
template <typename Setup> void declare(CLI::App& app, Finishes& finishes, std::string& names) {
    Finish<Setup> finish = Subcommand<Setup>::declare(app);
    finishes[Subcommand<Setup>::kName] = [finish] { return Command(finish()); };
    names += (names.empty() ? "" : "、") + std::string(Subcommand<Setup>::kName);
}

template <typename... Setups>
void declareAll(CLI::App& app, Finishes& finishes, std::string& names,
                std::variant<HelpCommand, Setups...>*) {
    (declare<Setups>(app, finishes, names), ...);
}

} // namespace

Command parseCommandLine(const std::vector<std::string>& arguments) {
    CLI::App app{"数据采集卡开关量的命令行工具：读板卡信息，读输入，设输出，监视输入，"
                 "环回自检。用与测试面板相同的驱动程序（libadcard.so / adcard.dll），"
                 "只在程序所在的文件夹和系统的库文件夹里找，从不在当前文件夹里找。",
                 "dio-cli"};
    chineseHelp(app);
    app.set_help_flag("-h,--help", "显示帮助");
    app.require_subcommand(1);
    app.fallthrough(false);
    Finishes finishes;
    std::string commands;
    declareAll(app, finishes, commands, static_cast<Command*>(nullptr));
    // The word where a subcommand should be, named when it is none.
    if (arguments.size() > 1 && arguments[1].rfind('-', 0) != 0 && !finishes.count(arguments[1]))
        throw UsageError("不认识的子命令“" + arguments[1] + "”：可用 " + commands);

    if (parseOrHelp(app, arguments))
        return HelpCommand{app.help()}; // the chosen subcommand's, if any
    return finishes.at(app.get_subcommands().front()->get_name())();
}

} // namespace cli
