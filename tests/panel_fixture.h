#pragma once

#include "driver/dlldef.h"
#include "fake_card.h"
#include "panel/frm_multibuf.h"

#include <QLabel>
#include <QStringList>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

// The window on a fake driver, with its messages collected instead of shown.
class PanelTest : public testing::Test {
protected:
    explicit PanelTest(const std::string& variant = "") : fake(variant) {}

    panel::PanelMessages collectingMessages() {
        return {[this](const QString& text) { errors << text; },
                [this](const QString& text) { warnings << text; }};
    }
    panel::FrmMultiBuf& window() {
        if (!frm)
            frm = std::make_unique<panel::FrmMultiBuf>(dll, collectingMessages());
        return *frm;
    }
    template <typename T> T* child(const char* name) {
        T* found = window().findChild<T*>(QString::fromUtf8(name));
        if (!found)
            throw std::runtime_error(std::string("no control ") + name);
        return found;
    }
    QLabel* label1(int index) {
        for (QLabel* label : window().findChildren<QLabel*>("Label1"))
            if (label->property("index").toInt() == index)
                return label;
        throw std::runtime_error("no Label1 member " + std::to_string(index));
    }
    QString caption(const char* name) { return child<QLabel>(name)->text(); }

    FakeCard fake;
    driver::DllDef dll{fake.search()};
    QStringList errors;
    QStringList warnings;
    std::unique_ptr<panel::FrmMultiBuf> frm;
};
