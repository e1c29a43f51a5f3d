#pragma once

#include <QString>

#include <functional>

namespace panel {

// How the panel tells its user of an error (after which the program ends) or of
// a refused input (after which it goes on). Tests replace both so that no modal
// box blocks them.
struct PanelMessages {
    std::function<void(const QString&)> error;
    std::function<void(const QString&)> warning;
};

} // namespace panel
