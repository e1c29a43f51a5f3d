#pragma once
// The lines under test as a picture: a row a channel group of eight, a cell a
// line, coloured by what the self-test found of it, with a legend. Each cell
// says its channel and finding to whoever hovers over it or tabs to it.

#include "cli/selftest/report.h"

#include <QColor>
#include <QWidget>

#include <map>
#include <optional>
#include <vector>

namespace station {

// What a cell shows: a fault's kind, or sound, or not tested yet.
using Finding = std::optional<cli::selftest::FaultKind>;
QColor colourOf(const Finding& finding, bool tested);

class LineCell : public QWidget {
    Q_OBJECT
public:
    LineCell(int channel, QWidget* parent);
    void setFinding(bool tested, const Finding& finding, const QString& said);
    int channel() const { return channel_; }
    QColor colour() const { return colourOf(finding_, tested_); }

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override { return {34, 24}; }

private:
    int channel_;
    bool tested_ = false;
    Finding finding_;
};

class LineGrid : public QWidget {
    Q_OBJECT
public:
    LineGrid(const std::vector<int>& channels, QWidget* parent = nullptr);
    // Every cell untested again.
    void clear();
    void show(const cli::selftest::Report& report);
    LineCell* cell(int channel) const;

private:
    std::map<int, LineCell*> cells_;
};

} // namespace station
