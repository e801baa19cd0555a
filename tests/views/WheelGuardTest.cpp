// The wheel over value controls inside a scrolled pane: the pane scrolls unless the control
// under the pointer has the focus.
#include "views/WheelGuard.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

#include <functional>

using crawlmere::views::WheelGuard;

namespace {

// One notch down over the middle of `control`, delivered as the window system would: a
// spontaneous event goes on to the parents of a receiver that ignores it (sendEvent would make it
// a synthetic one, which stays with its receiver).
void wheelDownOver(QWidget* control)
{
    const QPointF at = QRectF(control->rect()).center();
    QWheelEvent wheel(at, control->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    qApp->notify(control, &wheel);
}

struct Control {
    const char* kind;
    std::function<QWidget*(QWidget*)> make;
    std::function<int(QWidget*)> value;
};

} // namespace

TEST(WheelGuardTest, TheWheelScrollsThePaneUnlessTheControlUnderItHasTheFocus)
{
    const Control controls[] = {
        { "slider",
            [](QWidget* parent) {
                auto* slider = new QSlider(Qt::Horizontal, parent);
                slider->setRange(1, 20);
                slider->setValue(12);
                return slider;
            },
            [](QWidget* widget) { return static_cast<QSlider*>(widget)->value(); } },
        { "spin box",
            [](QWidget* parent) {
                auto* spin = new QSpinBox(parent);
                spin->setRange(1, 20);
                spin->setValue(12);
                return spin;
            },
            [](QWidget* widget) { return static_cast<QSpinBox*>(widget)->value(); } },
        { "pop-up",
            [](QWidget* parent) {
                auto* popUp = new QComboBox(parent);
                popUp->addItems({ "a", "b", "c", "d" });
                popUp->setCurrentIndex(1);
                return popUp;
            },
            [](QWidget* widget) { return static_cast<QComboBox*>(widget)->currentIndex(); } },
    };
    for (const Control& kind : controls) {
        SCOPED_TRACE(kind.kind);
        QScrollArea pane;
        pane.resize(300, 200);
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        // The window's first focus goes here, as it goes to a search field above a real pane.
        layout->addWidget(new QLineEdit(content));
        layout->addSpacing(150);
        QWidget* control = kind.make(content);
        layout->addWidget(control);
        layout->addSpacing(1000);
        pane.setWidget(content);
        WheelGuard::guard(content);
        WheelGuard::guard(content); // a second call guards nothing twice
        pane.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
        EXPECT_EQ(control->focusPolicy(), Qt::StrongFocus);
        const int before = kind.value(control);

        wheelDownOver(control);
        EXPECT_EQ(kind.value(control), before);
        EXPECT_GT(pane.verticalScrollBar()->value(), 0) << "the pane did not scroll";

        // Focused, the control takes the wheel and the pane stays where it is.
        pane.activateWindow();
        control->setFocus();
        if (!QTest::qWaitFor([&] { return control->hasFocus(); }, 2000))
            GTEST_SKIP() << "the platform gives no window the focus";
        const int scrolled = pane.verticalScrollBar()->value();
        wheelDownOver(control);
        EXPECT_NE(kind.value(control), before);
        EXPECT_EQ(pane.verticalScrollBar()->value(), scrolled);
    }
}
