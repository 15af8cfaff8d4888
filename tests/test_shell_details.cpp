// Details of the window shell: the title panel's click, the service code's mask character, the
// menu bar's name, the window a second start brings forward, radio items as an assistive tool
// sees and drives them, and a read-out label as it reads it.

#include "support/window_fixture.h"

#include "main_window/single_instance.h"
#include "mask/cmask.h"
#include "widgets/radio_group.h"
#include "widgets/readout.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

namespace {

void send_mouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, QPoint at)
{
    QMouseEvent event(type, QPointF(at), target->mapToGlobal(QPointF(at)), button, button, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST_F(WindowTest, TitlePanelOpensTheCodeEntryOnlyForALeftClickOnThePanelItself)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    w->select_page(TFKR58::DefectPage);
    w->show();
    const QPoint empty_spot(2, 2);
    ASSERT_EQ(w->Panel1->childAt(empty_spot), nullptr);

    send_mouse(w->Panel1, QEvent::MouseButtonPress, Qt::RightButton, empty_spot);
    send_mouse(w->Panel1, QEvent::MouseButtonDblClick, Qt::RightButton, empty_spot);
    EXPECT_TRUE(w->pwl->isHidden()) << "a right-button click";

    // A press on the label goes to the label first and then, ignored, to the panel.
    QTest::mouseClick(w->Title, Qt::LeftButton);
    QTest::mouseDClick(w->Title, Qt::LeftButton);
    EXPECT_TRUE(w->pwl->isHidden()) << "a click on the title label";

    send_mouse(w->Panel1, QEvent::MouseButtonPress, Qt::LeftButton, empty_spot);
    EXPECT_FALSE(w->pwl->isHidden());
    send_mouse(w->Panel1, QEvent::MouseButtonDblClick, Qt::LeftButton, empty_spot);
    EXPECT_TRUE(w->pwl->isHidden()) << "a double click toggles as a click does";
}

TEST_F(WindowTest, ServiceCodeIsMaskedWithStarsAndTheMenuBarHasItsName)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    w->pwl->setText(QStringLiteral("kw"));
    EXPECT_EQ(w->pwl->displayText(), QStringLiteral("**"));
    EXPECT_EQ(w->menuBar()->objectName(), QStringLiteral("MainMenu1"));
}

TEST_F(WindowTest, ASecondStartBringsForwardTheWindowInUse)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    TFMask* mask = create_mask_window();
    SingleInstance instance(QStringLiteral("window-to-raise test"));
    instance.set_window(w);
    w->show();
    EXPECT_EQ(instance.window_to_raise(), w);

    mask->show();
    EXPECT_EQ(instance.window_to_raise(), mask);

    // An open message box comes before everything else.
    QWidget* seen_while_open = nullptr;
    QTimer::singleShot(0, [&] {
        seen_while_open = instance.window_to_raise();
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Recv. error"), QStringLiteral("ETX Error"), QMessageBox::Ok, w);
    box.exec();
    EXPECT_EQ(seen_while_open, &box);
    mask->hide();
}

TEST_F(WindowTest, RadioItemsAreRadioButtonsToAssistiveToolsAndTheirToggleSelectsAndSends)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    RadioGroup* group = w->AGC_SEL;
    const int was = group->itemIndex();
    const int other = was == 0 ? 1 : 0;
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(group->button(other));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->role(), QAccessible::RadioButton);
    EXPECT_EQ(item->text(QAccessible::Name), group->button(other)->text().remove(QLatin1Char('&')));
    EXPECT_TRUE(item->state().checkable);
    EXPECT_FALSE(item->state().checked);
    ASSERT_NE(item->actionInterface(), nullptr);

    camera.clear_received();
    item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(group->itemIndex(), other);
    EXPECT_TRUE(item->state().checked);
    ASSERT_TRUE(wait_received(1));
    EXPECT_EQ(camera.received()[0], expected_frame({0x23, 0x14, 0x00, static_cast<std::uint8_t>(other)}));

    // Toggling the selected item cannot leave the group without a selection.
    ASSERT_TRUE(wait_idle());
    item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(group->itemIndex(), other);
    EXPECT_TRUE(group->button(other)->isChecked());
}

// The title band and the status bar read as what each shows with its value, after the first load
// and again after a reload that changed the camera's facts and the traced frames.
TEST_F(WindowTest, TitleBandAndStatusBarReadAsWhatTheyShowWithTheirValues)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    const std::pair<QLabel*, QString> readouts[] = {
        {w->TV, "TV system"},           {w->Resolution, "Resolution"},         {w->Title, "Tool name"},
        {w->StatusPanel[0], "Connection"}, {w->StatusPanel[1], "Sent frame"},
        {w->StatusPanel[2], "Received frame"}, {w->StatusPanel[3], "Status"}};
    for (const bool pal : {false, true}) {
        camera.with_model([pal](sim::CameraModel& m) { m.set_pal(pal); });
        w->ReLoadClick();
        ASSERT_TRUE(wait_idle());
        ASSERT_EQ(w->TV->text(), pal ? "PAL" : "NTSC");
        ASSERT_FALSE(w->StatusPanel[2]->text().isEmpty());
        for (const auto& [label, what] : readouts) {
            const QString shown = label->text();
            QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(label);
            EXPECT_EQ(seen->text(QAccessible::Name), shown.trimmed().isEmpty() ? what : what + ": " + shown.trimmed());
            EXPECT_EQ(seen->text(QAccessible::Value), shown) << what.toStdString();
        }
    }
}

// With an assistive tool running, Qt asks for a label's interface as soon as its text is set,
// before the page makes it a read-out; the read-out must still read as one, blank included.
TEST(Readout, ReadsAsWhatItIsWithItsTextEvenWhenAPlainInterfaceCameFirst)
{
    QLabel label(QStringLiteral("0102"));
    ASSERT_EQ(QAccessible::queryAccessibleInterface(&label)->text(QAccessible::Name), QStringLiteral("0102"));
    make_readout(&label, QStringLiteral("WDR data 89h"));
    QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(&label);
    EXPECT_EQ(seen->text(QAccessible::Name), QStringLiteral("WDR data 89h: 0102"));
    EXPECT_EQ(seen->text(QAccessible::Value), QStringLiteral("0102"));
    label.setText(QStringLiteral("  "));
    EXPECT_EQ(seen->text(QAccessible::Name), QStringLiteral("WDR data 89h"));
}

} // namespace
