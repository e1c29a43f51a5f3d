#include "plan_steps.h"

#include "convert/printable.h"
#include "convert/utf8.h"
#include "core/base/errors.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace cli::records {
namespace {

constexpr std::size_t kLongestText = 200;
constexpr std::size_t kMostFindings = 1000;
constexpr long long kLongestMs = 24LL * 3600 * 1000;

std::string text(const nlohmann::json& object, const char* key) {
    std::string value = object.at(key).get<std::string>();
    if (value.size() > kLongestText || !convert::validUtf8(value))
        throw std::invalid_argument(std::string(key) + " 过长或不是 UTF-8");
    return value;
}

std::optional<long> milliseconds(const nlohmann::json& object, const char* key) {
    const nlohmann::json& value = object.at(key);
    if (value.is_null())
        return std::nullopt;
    const long long ms = value.is_number_integer() ? value.get<long long>() : -1;
    if (ms < 0 || ms > kLongestMs)
        throw std::invalid_argument(std::string(key) + " 不是 0 到一天的毫秒数");
    return static_cast<long>(ms);
}

} // namespace

nlohmann::ordered_json stepsJson(const std::vector<plan::RecordedStep>& steps) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const plan::RecordedStep& step : steps) {
        nlohmann::ordered_json findings = nlohmann::ordered_json::array();
        for (const plan::Finding& f : step.findings)
            findings.push_back({{"kind", f.kind}, {"where", f.where}});
        auto ms = [](const std::optional<long>& value) {
            return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
        };
        list.push_back({{"name", step.name},
                        {"pass", step.pass},
                        {"outcome", convert::nameIn(plan::kOutcomeNames, step.outcome)},
                        {"measured_ms", ms(step.measuredMs)},
                        {"limit_ms", ms(step.limitMs)},
                        {"findings", std::move(findings)}});
    }
    return list;
}

std::vector<plan::RecordedStep> stepsFromJson(const nlohmann::json& steps) {
    if (!steps.is_array() || steps.size() > kMostSteps)
        throw std::invalid_argument("steps 不是至多 1000 项的数组");
    std::vector<plan::RecordedStep> read;
    for (const nlohmann::json& step : steps) {
        plan::RecordedStep s;
        s.name = text(step, "name");
        const nlohmann::json& passes = step.at("pass");
        const long long pass = passes.is_number_integer() ? passes.get<long long>() : 0;
        if (pass < 1 || pass > static_cast<long long>(kMostSteps))
            throw std::invalid_argument("pass 不是 1 到 1000");
        s.pass = static_cast<int>(pass);
        const auto outcome =
            convert::valueNamed(plan::kOutcomeNames, step.at("outcome").get<std::string>());
        if (!outcome)
            throw std::invalid_argument("outcome 不认识");
        s.outcome = *outcome;
        s.measuredMs = milliseconds(step, "measured_ms");
        s.limitMs = milliseconds(step, "limit_ms");
        const nlohmann::json& findings = step.at("findings");
        if (!findings.is_array() || findings.size() > kMostFindings)
            throw std::invalid_argument("findings 不是至多 1000 项的数组");
        for (const nlohmann::json& f : findings)
            s.findings.push_back({text(f, "kind"), text(f, "where")});
        read.push_back(std::move(s));
    }
    return read;
}

std::vector<plan::RecordedStep> stepsFromText(const std::string& text, const std::string& uuid) {
    try {
        return stepsFromJson(nlohmann::json::parse(text));
    } catch (const std::exception& e) { // not JSON, a member missing or of another type
        throw RecordFailed("记录库里 " + convert::printable(uuid, false) +
                           " 的步骤不是 dio-cli 写的：" + e.what());
    }
}

} // namespace cli::records
