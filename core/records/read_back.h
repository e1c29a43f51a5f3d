#pragma once
// What a store of runs (a station's SQLite file, the plant's PostgreSQL)
// keeps as names and lists, read back into the values they name.

#include "convert/named.h"
#include "core/base/errors.h"
#include "core/selftest/report.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace cli::records {

// A name read back that none of the values has (another program wrote the
// store): an error, never read as one of them: an unknown status is no pass.
RecordFailed unknownName(const char* what, const std::string& name);

// The value the table names so, or RecordFailed.
template <typename E, std::size_t N>
E fromName(const std::string& name, const convert::Named<E> (&table)[N], const char* what) {
    if (const std::optional<E> value = convert::valueNamed(table, name))
        return *value;
    throw unknownName(what, name);
}

// "17,18" as channel numbers.
std::vector<int> channelList(const std::string& text);

// A fault from its kind, channels, wiring and reason as kept.
selftest::Fault faultFromNames(const std::string& kind, const std::string& channels,
                               const std::string& wired, const std::string& why,
                               long long flickers);

} // namespace cli::records
