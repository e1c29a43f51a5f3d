// The plan file's TOML, read with toml++, which keeps every value's line and
// column, so that a mistake is named where it stands (the only file that
// includes it: it is large to compile).
#include "plan.h"

#include "convert/printable.h"
#include "convert/utf8.h"
#include "core/base/digest.h"
#include "core/base/duration.h"
#include "core/selftest/report.h"

#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace cli::plan {
namespace {

constexpr std::size_t kLongestText = 200;
constexpr std::size_t kLongestName = 64;
constexpr std::size_t kLargestFile = std::size_t{1} << 20;
// A run keeps at most this many passes of its steps (its records and message are bounded).
constexpr long kMostPasses = 1000;
constexpr long kLongestWaitMs = 600000;

Where whereOf(const toml::source_region& region) {
    return {static_cast<int>(region.begin.line), static_cast<int>(region.begin.column)};
}

bool earlier(const toml::source_region& a, const toml::source_region& b) {
    return a.begin.line != b.begin.line ? a.begin.line < b.begin.line
                                        : a.begin.column < b.begin.column;
}

// A table's entries in the order of the text (toml++ keeps them sorted by
// key), so that of two that clash the later one is named.
std::vector<std::pair<const toml::key*, const toml::node*>> inTextOrder(const toml::table& table) {
    std::vector<std::pair<const toml::key*, const toml::node*>> entries;
    for (auto&& [key, node] : table)
        entries.push_back({&key, &node});
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return earlier(a.first->source(), b.first->source());
    });
    return entries;
}

// Reads one plan's text, throwing PlanError where it is wrong.
class Reader {
public:
    Reader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void fail(const toml::source_region& at, const std::string& reason) const {
        throw PlanError(source_, whereOf(at), reason);
    }

    // Keys of `table` outside `known` are mistakes (a typing error would
    // otherwise be a step that tests less than its writer meant).
    void onlyKnown(const toml::table& table, std::initializer_list<const char*> known,
                   const std::string& where) const {
        for (const auto& entry : inTextOrder(table)) {
            const toml::key& key = *entry.first;
            if (std::none_of(known.begin(), known.end(),
                             [&](const char* k) { return key.str() == k; }))
                fail(key.source(), where + "里没有“" + std::string(key.str()) + "”这一项");
        }
    }

    // A text for people: UTF-8 without control characters, not empty.
    std::string text(const toml::node& node, const std::string& what) const {
        const auto* value = node.as_string();
        if (!value)
            fail(node.source(), what + "应为文本（加引号）");
        const std::string& text = value->get();
        if (text.empty() || text.size() > kLongestText || !convert::validUtf8(text) ||
            convert::hasControl(text))
            fail(node.source(), what + "应为不空、至多 200 字节、不含控制字符的文本");
        return text;
    }

    long number(const toml::node& node, const std::string& what, long low, long high) const {
        const auto* value = node.as_integer();
        if (!value || value->get() < low || value->get() > high)
            fail(node.source(),
                 what + "应为 " + std::to_string(low) + " 到 " + std::to_string(high) + " 的整数");
        return static_cast<long>(value->get());
    }

    // "20ms", "1.5s", or a whole number of milliseconds (0 included).
    std::chrono::milliseconds duration(const toml::node& node, const std::string& what) const {
        if (node.is_integer())
            return std::chrono::milliseconds(number(node, what, 0, kLongestWaitMs));
        // A text has its unit: "200" alone would be read as seconds.
        const auto* value = node.as_string();
        if (value && value->get().find_first_not_of("0123456789.") != std::string::npos) {
            try {
                const auto parsed = parseDuration(value->get(), what);
                if (parsed.count() <= kLongestWaitMs)
                    return parsed;
            } catch (const UsageError&) {
            }
        }
        fail(node.source(),
             what + "应为时长，如 \"20ms\"、\"1.5s\"，或毫秒数，至多 10 分钟（文本要带单位）");
    }

    // A signal's name: as a map names a wire, and not a number (a number is a channel).
    std::string name(const toml::key& key) const {
        std::string name(key.str());
        const bool allowed =
            !name.empty() && name.size() <= kLongestName &&
            name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "0123456789_.-[]") == std::string::npos &&
            name.find_first_not_of("0123456789") != std::string::npos;
        if (!allowed)
            fail(key.source(),
                 "名称“" + name + "”应由字母、数字和 _ . - [ ] 组成，至多 64 个，且不全是数字");
        return name;
    }

    const std::string& source() const { return source_; }

private:
    std::string source_;
};

// A channel number as a key ("17"), or none where the key is not all digits.
std::optional<int> channelKey(const std::string& key) {
    if (key.empty() || key.size() > 3 || key.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(key);
}

class PlanBuilder {
public:
    PlanBuilder(const Reader& reader) : r_(reader) {}

    Plan build(const toml::table& top) {
        r_.onlyKnown(top, {"name", "version", "settle", "outputs", "inputs", "retest", "step"},
                     "计划");
        plan_.name = r_.text(required(top, "name", "计划"), "计划的 name ");
        const toml::node& version = required(top, "version", "计划");
        plan_.version = r_.text(version, "计划的 version ");
        if (const toml::node* settle = top.get("settle"))
            settle_ = r_.duration(*settle, "计划的 settle ");
        if (const toml::node* outputs = top.get("outputs"))
            readOutputs(table(*outputs, "[outputs] "));
        if (const toml::node* inputs = top.get("inputs"))
            readInputs(table(*inputs, "[inputs] "));
        if (const toml::node* retest = top.get("retest"))
            readRetest(table(*retest, "[retest] "));
        const toml::node* steps = top.get("step");
        const toml::array* list = steps ? steps->as_array() : nullptr;
        if (!list || list->empty() || !list->is_array_of_tables())
            r_.fail(steps ? steps->source() : top.source(),
                    "计划至少要有一步：每步一个 [[step]] 表");
        for (const toml::node& step : *list)
            readStep(*step.as_table());
        checkSelftests();
        return std::move(plan_);
    }

private:
    const toml::node& required(const toml::table& table, const char* key, const std::string& in) {
        const toml::node* node = table.get(key);
        if (!node)
            r_.fail(table.source(), in + "缺少 " + key);
        return *node;
    }

    const toml::table& table(const toml::node& node, const std::string& what) {
        if (!node.is_table())
            r_.fail(node.source(), what + "应为表");
        return *node.as_table();
    }

    // A name given once, across outputs and inputs.
    void declare(const toml::key& key, const std::string& name) {
        if (const auto [at, first] = names_.emplace(name, whereOf(key.source())); !first)
            r_.fail(key.source(),
                    "名称“" + name + "”已在第 " + std::to_string(at->second.line) + " 行声明过");
    }

    void readOutputs(const toml::table& outputs) {
        std::map<int, std::string> owner;
        for (auto [k, n] : inTextOrder(outputs)) {
            const toml::key& key = *k;
            const toml::node& node = *n;
            const std::string name = r_.name(key);
            declare(key, name);
            const int channel =
                static_cast<int>(r_.number(node, "输出 " + name + " 的通道", 1, kChannels));
            if (const auto [at, first] = owner.emplace(channel, name); !first)
                r_.fail(node.source(), "通道 " + std::to_string(channel) + " 已是输出 " +
                                           at->second + "，一条通道只用一个名称");
            plan_.outputs.push_back({name, channel});
        }
    }

    void readInputs(const toml::table& inputs) {
        std::map<std::pair<int, int>, std::string> owner;
        for (auto [k, n] : inTextOrder(inputs)) {
            const toml::key& key = *k;
            const toml::node& node = *n;
            const std::string name = r_.name(key);
            declare(key, name);
            InputBit bit{};
            const std::string what = "输入 " + name;
            if (node.is_integer()) {
                const int channel =
                    static_cast<int>(r_.number(node, what + " 的通道", 1, kChannels));
                bit = {card::groupOf(channel), card::bitOf(channel)};
            } else if (const toml::table* at = node.as_table()) {
                r_.onlyKnown(*at, {"word", "bit"}, what);
                bit.word = static_cast<int>(r_.number(required(*at, "word", what),
                                                      what + " 的 word ", 0, kMaxInputWords - 1));
                bit.bit = static_cast<int>(
                    r_.number(required(*at, "bit", what), what + " 的 bit ", 0, 15));
            } else {
                r_.fail(node.source(), what + "应为输入通道号，或 { word = 字, bit = 位 }");
            }
            if (const auto [at, first] = owner.emplace(std::pair(bit.word, bit.bit), name); !first)
                r_.fail(node.source(), "输入字 " + std::to_string(bit.word) + " 的位 " +
                                           std::to_string(bit.bit) + " 已是输入 " + at->second);
            plan_.inputs.push_back({name, bit});
        }
    }

    void readRetest(const toml::table& retest) {
        r_.onlyKnown(retest, {"count", "on"}, "[retest] ");
        if (const toml::node* count = retest.get("count"))
            plan_.retests = static_cast<int>(r_.number(*count, "[retest] 的 count ", 0, 100));
        if (const toml::node* on = retest.get("on")) {
            const toml::array* kinds = on->as_array();
            if (!kinds)
                r_.fail(on->source(), "[retest] 的 on 应为发现种类的数组，如 [\"intermittent\"]");
            plan_.retestOn.emplace();
            for (const toml::node& kind : *kinds) {
                const std::string name = r_.text(kind, "[retest] 的 on 里");
                if (std::none_of(std::begin(kFindingKinds), std::end(kFindingKinds),
                                 [&](const char* k) { return name == k; }))
                    r_.fail(kind.source(), "不认识的发现种类“" + name +
                                               "”：可用 not-met、intermittent、stuck-0、stuck-1、"
                                               "short、crossed、undecided");
                plan_.retestOn->push_back(name);
            }
        }
    }

    // The channel a drive key names: a declared output or a channel number.
    int outputChannel(const toml::key& key) {
        const std::string name(key.str());
        if (const std::optional<int> channel = channelKey(name)) {
            if (*channel < 1 || *channel > kChannels)
                r_.fail(key.source(), "通道 " + name + " 超出 1 到 128");
            return *channel;
        }
        for (const auto& [output, channel] : plan_.outputs)
            if (output == name)
                return channel;
        if (isInput(name))
            r_.fail(key.source(), name + " 是输入，不能驱动");
        r_.fail(key.source(), "没有声明过“" + name + "”：在 [outputs] 里给它一条通道");
    }

    bool isInput(const std::string& name) const {
        return std::any_of(plan_.inputs.begin(), plan_.inputs.end(),
                           [&](const Input& in) { return in.name == name; });
    }

    void readStep(const toml::table& step) {
        const std::string at = "第 " + std::to_string(step.source().begin.line) + " 行的一步";
        r_.onlyKnown(step,
                     {"name", "drive", "groups", "settle", "expect", "within", "selftest", "repeat",
                      "on-fail"},
                     at);
        Step s;
        s.where = whereOf(step.source());
        const toml::node& name = required(step, "name", at);
        s.name = r_.text(name, "步骤的 name ");
        if (const auto [known, first] = stepNames_.emplace(s.name, s.where.line); !first)
            r_.fail(name.source(),
                    "步骤名“" + s.name + "”已在第 " + std::to_string(known->second) + " 行用过");
        const std::string what = "步骤“" + s.name + "”";
        s.settle = settle_;
        if (const toml::node* settle = step.get("settle"))
            s.settle = r_.duration(*settle, what + "的 settle ");
        std::map<int, Where> driven; // channel: where the step drives it
        auto drive = [&](int channel, bool value, const toml::source_region& region) {
            if (const auto [known, first] = driven.emplace(channel, whereOf(region)); !first)
                r_.fail(region, what + "两次驱动通道 " + std::to_string(channel) + "（第 " +
                                    std::to_string(known->second.line) + " 行第 " +
                                    std::to_string(known->second.column) + " 列已驱动）");
            s.drive.push_back({channel, value});
        };
        // The drive's and the groups' entries together, in the order of the text.
        std::vector<std::pair<const toml::key*, const toml::node*>> lines, bytes;
        if (const toml::node* outputs = step.get("drive"))
            lines = inTextOrder(table(*outputs, what + "的 drive "));
        if (const toml::node* groups = step.get("groups"))
            bytes = inTextOrder(table(*groups, what + "的 groups "));
        std::vector<std::pair<const toml::key*, const toml::node*>> all = lines;
        all.insert(all.end(), bytes.begin(), bytes.end());
        std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
            return earlier(a.first->source(), b.first->source());
        });
        for (auto [k, n] : all) {
            const toml::key& key = *k;
            const toml::node& node = *n;
            const bool byGroup =
                std::find(bytes.begin(), bytes.end(), std::pair(k, n)) != bytes.end();
            if (!byGroup) {
                drive(outputChannel(key),
                      r_.number(node, what + "里 " + std::string(key.str()) + " 的值", 0, 1) != 0,
                      key.source());
                continue;
            }
            const std::optional<int> group = channelKey(std::string(key.str()));
            if (!group || *group >= card::kGroups)
                r_.fail(key.source(), "通道组“" + std::string(key.str()) + "”应为 0 到 15");
            const long byte = r_.number(node, what + "里通道组的字节", 0, 255);
            for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
                drive(*group * card::kLinesPerGroup + bit + 1, (byte >> bit & 1) != 0,
                      key.source());
        }
        if (const toml::node* expect = step.get("expect"))
            for (auto [key, node] : inTextOrder(table(*expect, what + "的 expect ")))
                readExpectation(s, *key, *node);
        if (const toml::node* within = step.get("within")) {
            s.within = r_.duration(*within, what + "的 within ");
            if (s.expect.empty())
                r_.fail(within->source(), what + "有 within 却没有 expect：等什么？");
            if (*s.within < s.settle)
                r_.fail(within->source(), what + "的 within 短于它的 settle");
        }
        if (const toml::node* selftest = step.get("selftest")) {
            if (!s.drive.empty() || step.get("expect"))
                r_.fail(selftest->source(),
                        what + "是环回自检，不能同时有 drive、groups 或 expect");
            const std::string list = r_.text(*selftest, what + "的 selftest ");
            try {
                s.selftest = parseChannels(list);
            } catch (const UsageError& e) {
                r_.fail(selftest->source(), e.what());
            }
            selftestAt_.push_back(selftest->source());
        } else if (s.drive.empty() && !step.get("expect")) {
            r_.fail(step.source(), what + "什么也不做：给它 drive、groups、expect 或 selftest");
        }
        if (const toml::node* repeat = step.get("repeat"))
            s.repeat = static_cast<int>(r_.number(*repeat, what + "的 repeat ", 1, kMostPasses));
        if (const toml::node* onFail = step.get("on-fail")) {
            const std::string value = r_.text(*onFail, what + "的 on-fail ");
            if (value != "stop" && value != "continue")
                r_.fail(onFail->source(), what + "的 on-fail 应为 \"stop\" 或 \"continue\"");
            s.stopOnFail = value == "stop";
        }
        passes_ += s.repeat;
        if (passes_ > kMostPasses)
            r_.fail(step.source(), "计划的各步连同重复超过 1000 次：一次运行至多记下这么多");
        plan_.steps.push_back(std::move(s));
    }

    void readExpectation(Step& s, const toml::key& key, const toml::node& node) {
        const std::string name(key.str());
        const auto input = std::find_if(plan_.inputs.begin(), plan_.inputs.end(),
                                        [&](const Input& in) { return in.name == name; });
        if (input == plan_.inputs.end()) {
            const bool output = std::any_of(plan_.outputs.begin(), plan_.outputs.end(),
                                            [&](const auto& o) { return o.first == name; });
            r_.fail(key.source(), output || channelKey(name)
                                      ? name + " 是输出，期望的应是输入"
                                      : "没有声明过“" + name + "”：在 [inputs] 里给它字和位");
        }
        const auto* dontCare = node.as_string();
        if (dontCare && dontCare->get() == "x")
            return;
        const long value = node.is_integer() ? node.as_integer()->get() : -1;
        if (value != 0 && value != 1)
            r_.fail(node.source(), "输入 " + name + " 的期望应为 0、1 或 \"x\"（不关心）");
        s.expect.push_back({static_cast<int>(input - plan_.inputs.begin()), value == 1});
    }

    // A self-test drives its channels and reads their loopback inputs: none
    // of them may be what another step drives or an input the plan declares.
    void checkSelftests() {
        const std::vector<int> driven = plan_.drivenChannels();
        std::map<int, int> tested; // channel: its self-test step
        std::size_t next = 0;
        for (const Step& step : plan_.steps) {
            if (step.selftest.empty())
                continue;
            const toml::source_region& at = selftestAt_[next++];
            for (int channel : step.selftest) {
                if (std::binary_search(driven.begin(), driven.end(), channel))
                    r_.fail(at,
                            "通道 " + std::to_string(channel) + " 由另一步驱动，不能再做环回自检");
                const InputBit loop{card::groupOf(channel), card::bitOf(channel)};
                for (const Input& in : plan_.inputs)
                    if (in.bit.word == loop.word && in.bit.bit == loop.bit)
                        r_.fail(at, "通道 " + std::to_string(channel) + " 的环回输入已是输入 " +
                                        in.name);
            }
        }
    }

    const Reader& r_;
    Plan plan_;
    std::chrono::milliseconds settle_{10};
    std::map<std::string, Where> names_;
    std::map<std::string, int> stepNames_;
    std::vector<toml::source_region> selftestAt_;
    long passes_ = 0;
};

std::string whereText(const std::string& source, Where where) {
    return source + ":" + std::to_string(where.line) + ":" + std::to_string(where.column) + "：";
}

} // namespace

PlanError::PlanError(const std::string& source, Where where, const std::string& reason)
    : UsageError(whereText(source, where) + reason) {}

std::vector<int> Plan::drivenChannels() const {
    std::set<int> channels;
    for (const Step& step : steps)
        for (const auto& [channel, value] : step.drive)
            channels.insert(channel);
    return {channels.begin(), channels.end()};
}

std::vector<int> Plan::channels() const {
    std::set<int> used;
    for (const Step& step : steps) {
        for (const auto& [channel, value] : step.drive)
            used.insert(channel);
        used.insert(step.selftest.begin(), step.selftest.end());
    }
    return {used.begin(), used.end()};
}

int Plan::inputWords() const {
    int words = 0;
    for (const Input& in : inputs)
        words = std::max(words, in.bit.word + 1);
    return words;
}

Plan parsePlan(const std::string& text, const std::string& source) {
    toml::table top;
    try {
        top = toml::parse(text, source);
    } catch (const toml::parse_error& e) {
        throw PlanError(source, whereOf(e.source()),
                        "不是有效的 TOML（" + std::string(e.description()) + "）");
    }
    const Reader reader(source);
    Plan plan = PlanBuilder(reader).build(top);
    plan.digest = digestOf(text);
    return plan;
}

Plan readPlan(const std::string& path) {
    // A regular file only: a FIFO would hang, /dev/zero would never end.
    const std::filesystem::path file = std::filesystem::u8path(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        throw UsageError("计划文件“" + path + "”" +
                         (std::filesystem::exists(file, error) ? "不是普通文件" : "不存在"));
    std::ifstream input(file, std::ios::binary);
    std::string text(kLargestFile + 1, '\0');
    input.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!input && !input.eof())
        throw UsageError("读不了计划文件“" + path + "”");
    text.resize(static_cast<std::size_t>(input.gcount()));
    if (text.size() > kLargestFile)
        throw UsageError("计划文件“" + path + "”大于 1 MiB，不像是计划");
    return parsePlan(text, path);
}

} // namespace cli::plan
