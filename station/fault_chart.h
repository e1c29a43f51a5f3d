#pragma once
// The channels that fail most over the station's last runs, as bars: where
// the fixture or the line is wearing. Drawn here rather than with Qt's charting
// module: that module is under the GPL only, while the Windows installer ships
// Qt under the LGPL; and a handful of bars is little to draw.

#include "station/station_day.h"

#include <QWidget>

#include <vector>

namespace station {

class FaultChart : public QWidget {
    Q_OBJECT
public:
    explicit FaultChart(QWidget* parent = nullptr);
    void setCounts(const std::vector<ChannelCount>& counts, std::size_t overRuns);

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override { return {280, 200}; }

private:
    std::vector<ChannelCount> counts_;
    std::size_t overRuns_ = 0;
};

} // namespace station
