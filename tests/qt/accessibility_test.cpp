// The window as assistive technology meets it: every control by its role and name, the status text, the
// time left and the progress readable, the tab order as laid out, the menu opened by keyboard, and what
// each port's adapter says of itself beside the port's name.
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTest>

#include "engine/notify.h"
#include "tests/qt/window_fixture.h"

namespace vantrel::ui::qt::testing {
namespace {

class AccessibilityTest : public WindowTest {
protected:
    QAccessibleInterface* Accessible(const char* objectName) {
        QWidget* widget = Find<QWidget>(objectName);
        return widget == nullptr ? nullptr : QAccessible::queryAccessibleInterface(widget);
    }
};

TEST_F(AccessibilityTest, EveryControlHasARoleAndAName) {
    Start({"F:+", "mf:+"}, true);
    const struct {
        const char* object;
        QAccessible::Role role;
        const char* name;
    } cases[] = {
        {"cbxPort", QAccessible::ComboBox, "Comport"},
        {"ProgressBar1", QAccessible::ProgressBar, "Progress"},
        {"btnProg", QAccessible::Button, "Update"},
        {"btnFile", QAccessible::Button, "File"},
        {"btnCancel", QAccessible::Button, "Cancel"},
        {"btnClose", QAccessible::Button, "Close"},
        {"chkReadInfoOnly", QAccessible::CheckBox, "Read info only"},
        {"StatusText1", QAccessible::StaticText, "Status"},
        {"TimeLeft1", QAccessible::StaticText, "Time left"},
        {"Memo1", QAccessible::EditableText, "Report"},
        {"ListView1", QAccessible::Tree, "Overview"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.object);
        QAccessibleInterface* accessible = Accessible(c.object);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), c.role);
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromLatin1(c.name));
    }
    // Naming changed none of the shown texts.
    EXPECT_EQ(Find<QLabel>("Label1")->text(), QStringLiteral("Comport:"));
    EXPECT_EQ(Button("btnProg")->text(), QStringLiteral("Update"));
}

TEST_F(AccessibilityTest, StatusTimeLeftAndProgressAreReadable) {
    Start();
    PortBox()->setEditText(QStringLiteral("/dev/ttyACM2"));
    Button("btnProg")->click();
    Notify(engine::ncProgress, 42);

    // The description carries the whole status text, however short the label shows it.
    EXPECT_EQ(Accessible("StatusText1")->text(QAccessible::Description), Window().StatusText());
    EXPECT_FALSE(Window().StatusText().isEmpty());
    EXPECT_EQ(Accessible("TimeLeft1")->text(QAccessible::Description), Find<QLabel>("TimeLeft1")->text());
    EXPECT_FALSE(Find<QLabel>("TimeLeft1")->text().isEmpty());
    QAccessibleValueInterface* value = Accessible("ProgressBar1")->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 42);
}

// The verdict sits in a text field a screen reader does not read unasked: the window tells it as its
// description, a second message replacing the first.
TEST_F(AccessibilityTest, MessageWindowTellsItsText) {
    Start();
    ShowWindow();
    std::vector<QString> descriptions;
    dialogs.whileModal = [&](QDialog& dialog) {
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&dialog);
        descriptions.push_back(window->text(QAccessible::Description));
        QAccessibleInterface* memo = QAccessible::queryAccessibleInterface(
            dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo1")));
        EXPECT_EQ(memo->role(), QAccessible::EditableText);
        EXPECT_EQ(memo->text(QAccessible::Name), QStringLiteral("Message"));
        QAccessibleInterface* ok = QAccessible::queryAccessibleInterface(
            dialog.findChild<QPushButton*>(QStringLiteral("Button1")));
        EXPECT_EQ(ok->role(), QAccessible::Button);
        EXPECT_EQ(ok->text(QAccessible::Name), QStringLiteral("OK"));
    };
    Window().ShowMessage("Update Vantrel Base V1.06 succesfully completed.");
    Window().ShowMessage("Process cancelled!");
    EXPECT_EQ(descriptions, (std::vector<QString>{QStringLiteral("Update Vantrel Base V1.06 succesfully completed."),
                                                  QStringLiteral("Process cancelled!")}));
    // Once OK is pressed the verdict is read: no hidden window keeps telling it to a screen reader that
    // walks the program's windows.
    QAccessibleInterface* program = QAccessible::queryAccessibleInterface(qApp);
    ASSERT_NE(program, nullptr);
    for (int i = 0; i < program->childCount(); ++i) {
        QAccessibleInterface* window = program->child(i);
        if (window == nullptr) continue;
        EXPECT_NE(window->object()->objectName(), QStringLiteral("frmMessage"));
        EXPECT_FALSE(window->text(QAccessible::Description).contains(QStringLiteral("cancelled")));
    }
}

// Alt and the letter Windows underlines press each button and tick the box; the texts stay as designed
// and a letter alone is no key of any control.
TEST_F(AccessibilityTest, EachControlAnswersTheSameAltLetterAsOnWindows) {
    Start({"F:+"}, true);
    const struct {
        const char* object;
        Qt::Key letter;
        const char* text;
    } cases[] = {
        {"btnProg", Qt::Key_U, "Update"},
        {"btnFile", Qt::Key_F, "File"},
        {"btnCancel", Qt::Key_C, "Cancel"},
        {"btnClose", Qt::Key_L, "Close"},
        {"chkReadInfoOnly", Qt::Key_R, "Read info only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.object);
        auto* control = Find<QAbstractButton>(c.object);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->shortcut(), QKeySequence(Qt::ALT | c.letter));
        EXPECT_EQ(control->text(), QString::fromLatin1(c.text));
        // What a screen reader announces as the control's key.
        QAccessibleActionInterface* actions = Accessible(c.object)->actionInterface();
        ASSERT_NE(actions, nullptr);
        const QString press = QAccessibleActionInterface::pressAction();
        const QString toggle = QAccessibleActionInterface::toggleAction();
        QStringList keys = actions->keyBindingsForAction(press) + actions->keyBindingsForAction(toggle);
        EXPECT_TRUE(keys.contains(QKeySequence(Qt::ALT | c.letter).toString(QKeySequence::NativeText)))
            << keys.join(',').toStdString();
    }
    // Through the shortcut map, as the window system delivers Alt and the letter; the letter alone is no one's.
    ShowWindow();
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    auto* box = Find<QAbstractButton>("chkReadInfoOnly");
    const bool ticked = box->isChecked();
    QTest::keyClick(Button("btnProg"), Qt::Key_R);
    QTest::keyClick(Button("btnProg"), Qt::Key_U);
    QTest::keyClick(Button("btnProg"), Qt::Key_L);
    QApplication::processEvents();
    EXPECT_EQ(box->isChecked(), ticked);
    EXPECT_TRUE(Window().isVisible());
}

TEST_F(AccessibilityTest, TabFollowsTheLayoutAndF10OpensTheMenu) {
    Start({"F:+", "mf:+"}, true);
    ShowWindow();
    std::vector<QString> order;
    QWidget* widget = PortBox();
    do {
        // The box's own edit field belongs to the box.
        if ((widget->focusPolicy() & Qt::TabFocus) && (widget == PortBox() || !PortBox()->isAncestorOf(widget)))
            order.push_back(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != PortBox());
    EXPECT_EQ(order,
              (std::vector<QString>{"cbxPort", "btnProg", "btnFile", "btnCancel", "btnClose", "chkReadInfoOnly"}));

    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    // The window's F10 shortcut (a key sent without a window system does not reach the shortcut map).
    QShortcut* menuKey = nullptr;
    for (QShortcut* shortcut : Window().findChildren<QShortcut*>())
        if (shortcut->key() == QKeySequence(Qt::Key_F10)) menuKey = shortcut;
    ASSERT_NE(menuKey, nullptr);
    emit menuKey->activated();
    EXPECT_TRUE(ProcessUntil([&] { return Find<QMenu>("menInfo")->isVisible(); }));
}

TEST_F(AccessibilityTest, PortItemsTellTheirAdapterBesideTheName) {
    app::PortEntry logger = UsbPort("/dev/ttyUSB0");
    logger.identity.product = "<b>FT232R</b>";  // an adapter's text, not markup
    logger.identity.serialNumber = "A10K3X9Q";
    ports.entries = {logger, UsbPort("/dev/ttyACM0")};
    Start();

    QComboBox* box = PortBox();
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(box->currentText(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(box->itemData(0, Qt::AccessibleDescriptionRole).toString(),
              QStringLiteral("<b>FT232R</b>, serial number A10K3X9Q"));
    const QString tip = box->itemData(0, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(QStringLiteral("&lt;b&gt;FT232R&lt;/b&gt;, serial number A10K3X9Q"))) << tip.toStdString();
    // An adapter that tells nothing leaves the item without a tip.
    EXPECT_FALSE(box->itemData(1, Qt::ToolTipRole).isValid());
}

}  // namespace
}  // namespace vantrel::ui::qt::testing
