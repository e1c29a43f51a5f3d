#pragma once
// The verdict, readable from a step away: 合格 on green or 不合格 on red in
// large type with an icon beside it (colour is never the only sign), and
// under it the serial, the time the test took and the time of day.

#include <QWidget>

namespace station {

class VerdictView : public QWidget {
    Q_OBJECT
public:
    enum class State { Waiting, Running, Pass, Fail, Unfinished };
    explicit VerdictView(QWidget* parent = nullptr);

    // The word, its detail line under it.
    void setVerdict(State state, const QString& detail);
    State state() const { return state_; }
    QString word() const;
    QString detail() const { return detail_; }

    // The word's height: at least 48 points whatever the window's size.
    static constexpr int kLeastPoints = 48;
    // The word's size as drawn: a verdict's as large as the height allows.
    qreal wordPoints() const;
    // The detail's and the prompts' font, the serial box's too.
    static QFont largeFont(const QFont& base);

signals:
    void painted(); // each time it is drawn, the verdict on screen

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize minimumSizeHint() const override;

private:
    State state_ = State::Waiting;
    QString detail_;
};

} // namespace station
