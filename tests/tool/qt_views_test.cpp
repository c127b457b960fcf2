// The Qt views on the offscreen platform: the layouts carry every control the
// logic names, and the dialogs behave as their logic says.
#include "tests/platform/temp_config_home.h"
#include "tests/tool/fake_control.h"
#include "tool/dravel_app.h"
#include "tool/qt/dialog_frame.h"
#include "tool/qt/dravel_view.h"
#include "tool/qt/force_setup_view.h"
#include "tool/qt/warning_dialog.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

using namespace dravel;
using namespace tooltest;

namespace {

// Processes events until the condition holds or 2 s pass.
bool WaitFor(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

// Runs `action` on the next modal dialog that opens, from inside its loop.
void OnNextModal(std::function<void(QWidget*)> action) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible() &&
            modal->objectName() != "MainDialog") {
            poll->stop();
            poll->deleteLater();
            action(modal);
        }
    });
    poll->start(5);
}

QPushButton* Button(QWidget* dialog, const char* name) { return dialog->findChild<QPushButton*>(name); }

class QtViewsTest : public ::testing::Test {
protected:
    testsupport::CTempConfigHome m_home;
    std::shared_ptr<CFakeWorld> m_world = std::make_shared<CFakeWorld>();
};

} // namespace

TEST_F(QtViewsTest, TheMainLayoutHasEveryControlTheLogicUsesWithTheRightKind) {
    CDravelView view(FakeFactory(m_world));
    for (int id : {IDC_SCREEN, IDC_WIDTH, IDC_HEIGHT})
        EXPECT_TRUE(qobject_cast<QComboBox*>(view.Control(id))) << id;
    for (int id : {IDC_MODULE_8X8, IDC_MODULE_8X4})
        EXPECT_TRUE(qobject_cast<QRadioButton*>(view.Control(id))) << id;
    for (int id : {IDC_LEFT_TO_RIGHT, IDC_EVEN_COL_REVERSE, IDC_DATA_INVERT, IDC_BLANK_INVERT,
                   IDC_ODD_COL_REVERSE, IDC_ROW8_REVERSE, IDC_ROW_SWAP})
        EXPECT_TRUE(qobject_cast<QCheckBox*>(view.Control(id))) << id;
    for (int id : {IDC_SEARCH, IDC_CONFIGURE}) EXPECT_TRUE(qobject_cast<QPushButton*>(view.Control(id))) << id;
    EXPECT_TRUE(qobject_cast<QLabel*>(view.Control(IDC_STATUS)));
    EXPECT_TRUE(qobject_cast<QPushButton*>(view.Control(IDC_SEARCH))->isDefault());
}

TEST_F(QtViewsTest, TheMainDialogStartsAsTheLogicSetsItUp) {
    CDravelView view(FakeFactory(m_world));
    EXPECT_EQ(view.windowTitle(), QString::fromUtf8("通讯屏D卡配置程序 V2.0f"));
    EXPECT_EQ(qobject_cast<QComboBox*>(view.Control(IDC_SCREEN))->count(), 32);
    EXPECT_EQ(view.GetItemText(IDC_STATUS), text::kStatusInstructions);
    EXPECT_FALSE(view.IsItemEnabled(IDC_CONFIGURE));
    EXPECT_FALSE(view.IsItemEnabled(IDC_WIDTH));
    EXPECT_TRUE(view.IsItemEnabled(IDC_SEARCH));
}

TEST_F(QtViewsTest, ARadioPairCanShowNoChoiceAndListsClearTheirSelectionOnABadIndex) {
    CDravelView view(FakeFactory(m_world));
    view.SetChecked(IDC_MODULE_8X4, true);
    view.SetChecked(IDC_MODULE_8X8, true);
    EXPECT_FALSE(view.IsChecked(IDC_MODULE_8X4)) << "the pair stays exclusive";
    view.SetChecked(IDC_MODULE_8X8, false);
    EXPECT_FALSE(view.IsChecked(IDC_MODULE_8X8));
    EXPECT_FALSE(view.IsChecked(IDC_MODULE_8X4));
    view.SetListSelection(IDC_SCREEN, 40);
    EXPECT_EQ(view.ListSelection(IDC_SCREEN), -1);
}

TEST_F(QtViewsTest, AfterTheWarningIsAcceptedTheTimerDrivenSearchFindsTheCard) {
    m_world->AddPort(2, FakeCard{28800, 0, PropertyText("200", "20060305", 256, 64, 0)});
    CDravelView view(FakeFactory(m_world));
    OnNextModal([](QWidget* warning) { Button(warning, "enterButton")->click(); });
    view.show();
    ASSERT_TRUE(WaitFor([&] { return !view.Logic().IsWarnPending(); }));
    Button(&view, "searchButton")->click();
    ASSERT_TRUE(WaitFor([&] { return view.Logic().CardFound(); }));
    EXPECT_TRUE(view.IsItemEnabled(IDC_CONFIGURE));
    EXPECT_EQ(view.ListItem(IDC_WIDTH, view.ListSelection(IDC_WIDTH)), "  256");
    EXPECT_TRUE(view.IsChecked(IDC_MODULE_8X8));
    view.close();
}

TEST_F(QtViewsTest, WithoutAControlAChineseMessageWithAnOkButtonReadingQueDingEndsTheStart) {
    InstallQtTranslations(); // as CDravelApp::Run does
    std::string text;
    std::string button;
    OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = FromQString(box->text());
        button = FromQString(box->button(QMessageBox::Ok)->text());
        box->button(QMessageBox::Ok)->click();
    });
    const ControlFactory make =
        CDravelApp::FirstControl([] { return std::unique_ptr<IHostedControl>(); },
                                 [](const std::string& message, const std::string& caption) {
                                     ShowMessageBox(nullptr, message, caption, MessageIcon::Error);
                                 });
    EXPECT_FALSE(make) << "a dialog would run without a control";
    EXPECT_EQ(button, "确定");
    EXPECT_EQ(text, CDravelApp::NoControlMessage());
    EXPECT_NE(text.find("palvex register"), std::string::npos) << text;
}

TEST_F(QtViewsTest, DecliningTheWarningClosesTheMainDialog) {
    CDravelView view(FakeFactory(m_world));
    OnNextModal([](QWidget* warning) { Button(warning, "exitButton")->click(); });
    view.show();
    EXPECT_TRUE(WaitFor([&] { return !view.isVisible(); }));
}

TEST_F(QtViewsTest, EnterInTheWarningChoosesExit) {
    CWarningDlg dlg;
    QTimer::singleShot(0, &dlg, [&dlg] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(&dlg, &enter);
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
}

TEST_F(QtViewsTest, ARightDoubleClickAsksForThePasswordBeforeTheForcedDialog) {
    CDravelView view(FakeFactory(m_world));
    OnNextModal([](QWidget* warning) { Button(warning, "enterButton")->click(); });
    view.show();
    ASSERT_TRUE(WaitFor([&] { return !view.Logic().IsWarnPending(); }));

    bool forcedOpened = false;
    OnNextModal([&](QWidget* password) {
        password->findChild<QLineEdit*>("passwordEdit")->setText("tavrinqk");
        OnNextModal([&](QWidget* forced) {
            forcedOpened = forced->windowTitle() == QString::fromUtf8("强行配置") &&
                           forced->findChild<QComboBox*>("portList") != nullptr;
            Button(forced, "cancelButton")->click();
        });
        Button(password, "okButton")->click();
    });
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &click);
    EXPECT_TRUE(forcedOpened);
    view.close();
}

TEST_F(QtViewsTest, TheForcedDialogsNumberFieldTakesDigitsOnly) {
    CForceSetupView dlg(FakeFactory(m_world));
    auto* number = dlg.findChild<QLineEdit*>("numberEdit");
    ASSERT_NE(number, nullptr);
    QString text = "12a";
    int pos = 0;
    EXPECT_EQ(number->validator()->validate(text, pos), QValidator::Invalid);
    text = "12";
    EXPECT_EQ(number->validator()->validate(text, pos), QValidator::Acceptable);
    EXPECT_EQ(dlg.ListCount(IDC_FORCE_PORT), 8);
    EXPECT_FALSE(dlg.IsItemEnabled(IDC_FORCE_TYPE));
}
