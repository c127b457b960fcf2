// The font and the frame of the four dialogs: every
// template asks for "宋体" 9 point in a modal frame. The fixed layouts were
// made for the text widths of that Song face, so the family must resolve to
// SimSun or a Song-style stand-in (AR PL UMing, Debian's fonts-arphic-uming,
// which dev.sh installs), and the frame must keep the layout's size.
#include "tests/tool/loaded_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <string>

using namespace tooltest;

namespace {

const QString kSongTi = QString::fromUtf8("宋体");

// SimSun itself, or the Song (Ming) face that stands in for it.
bool IsSongFace(const QString& family) {
    return family == kSongTi || family == "SimSun" || family == "NSimSun" ||
           family.startsWith("AR PL UMing");
}

std::string Text(const QSize& s) { return std::to_string(s.width()) + " x " + std::to_string(s.height()); }

std::string Name(int templateId, const QWidget* w) {
    return std::to_string(templateId) + " " + w->objectName().toStdString();
}

class DialogFrameTest : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(DialogFrameTest, TheDialogAsksForSongTi9Point) {
    LoadedDialog d = LoadDialog(GetParam());
    ASSERT_NE(d.dialog, nullptr);
    const QFont font = d.dialog->font();
    ASSERT_FALSE(font.families().isEmpty());
    EXPECT_EQ(font.families().first().toStdString(), kSongTi.toStdString())
        << font.families().join(", ").toStdString();
    EXPECT_EQ(font.pointSize(), 9);
}

TEST_P(DialogFrameTest, TheFontResolvesToASongFaceInTheDialogAndEveryControl) {
    LoadedDialog d = LoadDialog(GetParam());
    ASSERT_NE(d.dialog, nullptr);
    const QFontInfo resolved(d.dialog->font());
    EXPECT_TRUE(IsSongFace(resolved.family()))
        << "resolved to " << resolved.family().toStdString()
        << " (is fonts-arphic-uming installed? bash dev.sh installs it)";
    EXPECT_EQ(resolved.pointSize(), 9);
    for (QWidget* w : d.dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QFontInfo info(w->font());
        EXPECT_TRUE(IsSongFace(info.family())) << Name(GetParam(), w) << ": " << info.family().toStdString();
        EXPECT_EQ(info.pointSize(), 9) << Name(GetParam(), w);
    }
}

TEST_P(DialogFrameTest, TheFrameIsModalAndFixedInSize) {
    LoadedDialog d = LoadDialog(GetParam());
    ASSERT_NE(d.dialog, nullptr);
    QDialog& dlg = *d.dialog;
    const QSize layoutSize = dlg.size();
    EXPECT_EQ(Text(dlg.minimumSize()), Text(layoutSize));
    EXPECT_EQ(Text(dlg.maximumSize()), Text(layoutSize));
    EXPECT_FALSE(dlg.isSizeGripEnabled());

    const Qt::WindowFlags flags = dlg.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint)) << "no minimise box";
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));

    // Dragging the frame asks for another size; the dialog keeps its own.
    dlg.show();
    dlg.resize(layoutSize + QSize(60, 40));
    EXPECT_EQ(Text(dlg.size()), Text(layoutSize));
    dlg.resize(layoutSize - QSize(60, 40));
    EXPECT_EQ(Text(dlg.size()), Text(layoutSize));
    dlg.hide();
}

// The widths the layout was made for hold: in the dialog font every text of
// a label, check box or radio button fits its control with what the style
// draws beside it, and a push button's text fits inside its margins (a push
// button's own size hint asks for a style minimum width, not for its text).
TEST_P(DialogFrameTest, EveryTextFitsItsControlInTheDialogFont) {
    LoadedDialog d = LoadDialog(GetParam());
    ASSERT_NE(d.dialog, nullptr);
    for (QWidget* w : d.dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            const int margins = 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + margins, button->width())
                << Name(GetParam(), w);
            continue;
        }
        const auto* label = qobject_cast<QLabel*>(w);
        const bool oneLineText = qobject_cast<QAbstractButton*>(w) != nullptr ||
                                 (label != nullptr && !label->wordWrap() && label->pixmap().isNull());
        if (oneLineText) {
            EXPECT_LE(w->sizeHint().width(), w->width()) << Name(GetParam(), w);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllDialogs, DialogFrameTest, ::testing::ValuesIn(kAllDialogs),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Template" + std::to_string(info.param);
                         });
