#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

// Ends the event loop as soon as a top-level window has painted for the first
// time: the moment a user first sees it.
class QuitAfterFirstShow : public QObject {
public:
    explicit QuitAfterFirstShow(QCoreApplication* application) : QObject(application) {
        application->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!done_ && event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->isWindow()) {
                done_ = true;
                QMetaObject::invokeMethod(QCoreApplication::instance(), "quit",
                                          Qt::QueuedConnection);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool done_ = false;
};
