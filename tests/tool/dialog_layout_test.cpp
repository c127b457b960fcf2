// The four dialogs as the program loads them, control by control, against
// the published layout tables of the dialog templates: one row
// per control in dialog units, exactly as the tables give them, scaled the way
// the layouts in tool/resources/ are drawn:
//
//   - 2 pixels per dialog unit for x, y, width and height;
//   - a one-line control is at least as tall as its kind needs with the
//     dialog font: a static text 18 pixels, a check box or radio button 20;
//   - a drop-down list is drawn closed, 24 pixels high: its height in the
//     tables is the height of its open list.
//
// Every widget of a dialog must be one of its rows, and every row but the
// link control (flagged invisible at run time, so it has no widget)
// must be a widget of the right kind at its scaled rectangle.
#include "tests/tool/loaded_dialog.h"
#include "tool/resources/resource_ids.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <ostream>
#include <set>
#include <string>

using namespace dravel;
using tooltest::LoadDialog;
using tooltest::LoadedDialog;

namespace {

enum class Kind { Dialog, Button, Text, Icon, Edit, DropDown, CheckBox, Radio, Group, LinkControl };

constexpr int kNone = 0; // a control without an identifier (static texts, group boxes, icons)

struct LayoutRow {
    int dialog;       // template: 134, 102, 131, 132
    int id;           // control identifier, kNone, or the template for the dialog's own row
    const char* name; // the widget's object name in the layout ("" for the link control)
    Kind kind;
    int x, y, w, h;   // dialog units, as in the published table
};

// The tables of templates 134, 102, 131 and 132, in their order.
const LayoutRow kLayout[] = {
    // Template 134: warning dialog.
    {IDD_WARNING, IDD_WARNING, "WarningDialog", Kind::Dialog, 0, 0, 181, 69},
    {IDD_WARNING, IDOK, "enterButton", Kind::Button, 41, 43, 40, 14},
    {IDD_WARNING, IDCANCEL, "exitButton", Kind::Button, 106, 43, 40, 14},
    {IDD_WARNING, kNone, "iconLabel", Kind::Icon, 11, 11, 21, 21},
    {IDD_WARNING, kNone, "messageLabel", Kind::Text, 47, 19, 129, 8},

    // Template 102: main dialog. Its size is not in the table: the layout's
    // 242 x 218 leaves 8 units either side of the group boxes (8 + 226 + 8)
    // and 7 below the buttons (197 + 14 + 7).
    {IDD_DRAVEL_DIALOG, IDD_DRAVEL_DIALOG, "MainDialog", Kind::Dialog, 0, 0, 242, 218},
    {IDD_DRAVEL_DIALOG, kNone, "iconLabel", Kind::Icon, 23, 15, 20, 20},
    {IDD_DRAVEL_DIALOG, kNone, "screenLabel", Kind::Text, 20, 47, 32, 8},
    {IDD_DRAVEL_DIALOG, IDC_SCREEN, "screenList", Kind::DropDown, 17, 58, 38, 153},
    {IDD_DRAVEL_DIALOG, IDC_STATUS, "statusBox", Kind::Text, 66, 13, 160, 62},
    {IDD_DRAVEL_DIALOG, kNone, "widthLabel", Kind::Text, 26, 106, 16, 8},
    {IDD_DRAVEL_DIALOG, IDC_WIDTH, "widthList", Kind::DropDown, 45, 103, 40, 118},
    {IDD_DRAVEL_DIALOG, kNone, "heightLabel", Kind::Text, 93, 106, 16, 8},
    {IDD_DRAVEL_DIALOG, IDC_HEIGHT, "heightList", Kind::DropDown, 112, 103, 40, 119},
    {IDD_DRAVEL_DIALOG, IDC_MODULE_8X8, "module8x8", Kind::Radio, 165, 97, 53, 8},
    {IDD_DRAVEL_DIALOG, IDC_MODULE_8X4, "module8x4", Kind::Radio, 165, 112, 53, 8},
    {IDD_DRAVEL_DIALOG, kNone, "screenGroup", Kind::Group, 8, 83, 226, 43},
    {IDD_DRAVEL_DIALOG, IDC_LEFT_TO_RIGHT, "leftToRight", Kind::CheckBox, 13, 150, 61, 10},
    {IDD_DRAVEL_DIALOG, IDC_DATA_INVERT, "dataInvert", Kind::CheckBox, 78, 165, 48, 10},
    {IDD_DRAVEL_DIALOG, IDC_BLANK_INVERT, "blankInvert", Kind::CheckBox, 78, 150, 45, 10},
    {IDD_DRAVEL_DIALOG, kNone, "driverGroup", Kind::Group, 8, 134, 226, 50},
    {IDD_DRAVEL_DIALOG, IDC_SEARCH, "searchButton", Kind::Button, 59, 197, 50, 14},
    {IDD_DRAVEL_DIALOG, IDC_CONFIGURE, "configureButton", Kind::Button, 132, 197, 50, 14},
    {IDD_DRAVEL_DIALOG, IDC_EVEN_COL_REVERSE, "evenColReverse", Kind::CheckBox, 128, 150, 58, 10},
    {IDD_DRAVEL_DIALOG, IDC_ODD_COL_REVERSE, "oddColReverse", Kind::CheckBox, 128, 165, 60, 10},
    {IDD_DRAVEL_DIALOG, IDC_ROW8_REVERSE, "row8Reverse", Kind::CheckBox, 189, 150, 41, 10},
    {IDD_DRAVEL_DIALOG, IDC_ROW_SWAP, "rowSwap", Kind::CheckBox, 13, 165, 53, 10},
    {IDD_DRAVEL_DIALOG, IDC_LINK, "", Kind::LinkControl, 0, 0, 13, 13},

    // Template 131: password dialog.
    {IDD_PASSWORD, IDD_PASSWORD, "PasswordDialog", Kind::Dialog, 0, 0, 109, 65},
    {IDD_PASSWORD, IDOK, "okButton", Kind::Button, 16, 38, 32, 14},
    {IDD_PASSWORD, IDCANCEL, "cancelButton", Kind::Button, 62, 38, 32, 14},
    {IDD_PASSWORD, IDC_PASSWORD, "passwordEdit", Kind::Edit, 55, 11, 38, 12},
    {IDD_PASSWORD, kNone, "promptLabel", Kind::Text, 17, 13, 32, 8},

    // Template 132: forced-configuration dialog.
    {IDD_FORCE_SETUP, IDD_FORCE_SETUP, "ForceSetupDialog", Kind::Dialog, 0, 0, 165, 109},
    {IDD_FORCE_SETUP, IDOK, "okButton", Kind::Button, 34, 86, 32, 14},
    {IDD_FORCE_SETUP, IDCANCEL, "cancelButton", Kind::Button, 100, 86, 32, 14},
    {IDD_FORCE_SETUP, kNone, "numberLabel", Kind::Text, 89, 15, 16, 8},
    {IDD_FORCE_SETUP, IDC_FORCE_NUMBER, "numberEdit", Kind::Edit, 109, 13, 43, 12},
    {IDD_FORCE_SETUP, kNone, "typeLabel", Kind::Text, 89, 36, 16, 8},
    {IDD_FORCE_SETUP, IDC_FORCE_TYPE, "typeList", Kind::DropDown, 109, 33, 44, 72},
    {IDD_FORCE_SETUP, kNone, "portLabel", Kind::Text, 11, 25, 16, 8},
    {IDD_FORCE_SETUP, IDC_FORCE_PORT, "portList", Kind::DropDown, 31, 23, 44, 62},
    {IDD_FORCE_SETUP, kNone, "baudLabel", Kind::Text, 11, 45, 17, 8},
    {IDD_FORCE_SETUP, IDC_FORCE_BAUD, "baudList", Kind::DropDown, 31, 43, 44, 92},
    {IDD_FORCE_SETUP, kNone, "versionLabel", Kind::Text, 90, 56, 17, 8},
    {IDD_FORCE_SETUP, IDC_FORCE_VERSION, "versionList", Kind::DropDown, 109, 53, 43, 51},
    {IDD_FORCE_SETUP, kNone, "linkGroup", Kind::Group, 5, 4, 76, 71},
    {IDD_FORCE_SETUP, kNone, "cardGroup", Kind::Group, 80, 4, 80, 71},
    {IDD_FORCE_SETUP, IDC_LINK, "", Kind::LinkControl, 3, 95, 12, 11},
};

// --- The scaling of the layouts ---------------------------------------------

constexpr int kPixelsPerUnit = 2;
constexpr int kTextMinHeight = 18;
constexpr int kCheckMinHeight = 20;
constexpr int kClosedDropDownHeight = 24;

QRect ScaledRect(const LayoutRow& row) {
    int h = row.h * kPixelsPerUnit;
    switch (row.kind) {
    case Kind::Text: h = std::max(h, kTextMinHeight); break;
    case Kind::CheckBox:
    case Kind::Radio: h = std::max(h, kCheckMinHeight); break;
    case Kind::DropDown: h = kClosedDropDownHeight; break;
    default: break;
    }
    return {row.x * kPixelsPerUnit, row.y * kPixelsPerUnit, row.w * kPixelsPerUnit, h};
}

bool IsOfKind(const QWidget* w, Kind kind) {
    switch (kind) {
    case Kind::Dialog: return qobject_cast<const QDialog*>(w) != nullptr;
    case Kind::Button: return qobject_cast<const QPushButton*>(w) != nullptr;
    case Kind::Text:
    case Kind::Icon: return qobject_cast<const QLabel*>(w) != nullptr;
    case Kind::Edit: return qobject_cast<const QLineEdit*>(w) != nullptr;
    case Kind::DropDown: return qobject_cast<const QComboBox*>(w) != nullptr;
    case Kind::CheckBox: return qobject_cast<const QCheckBox*>(w) != nullptr;
    case Kind::Radio: return qobject_cast<const QRadioButton*>(w) != nullptr;
    case Kind::Group: return qobject_cast<const QGroupBox*>(w) != nullptr;
    case Kind::LinkControl: return false;
    }
    return false;
}

// --- The dialogs as the program makes them ----------------------------------

// The widgets of the layout: the dialog's own children (a combo box's popup
// and a line edit's parts are their children, not the dialog's).
QList<QWidget*> LayoutWidgets(QDialog* dialog) {
    return dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
}

QWidget* Find(QDialog* dialog, const LayoutRow& row) {
    if (row.kind == Kind::Dialog) return dialog;
    for (QWidget* w : LayoutWidgets(dialog)) {
        const QVariant id = w->property("controlId");
        const bool match =
            row.id != kNone ? id.isValid() && id.toInt() == row.id : w->objectName() == row.name;
        if (match) return w;
    }
    return nullptr;
}

std::string Text(const QRect& r) {
    return std::to_string(r.x()) + ", " + std::to_string(r.y()) + ", " + std::to_string(r.width()) + ", " +
           std::to_string(r.height());
}

std::string RowName(const LayoutRow& row) {
    std::string name = std::to_string(row.dialog) + "_";
    if (row.kind == Kind::Dialog) return name + "dialog";
    if (row.kind == Kind::LinkControl) return name + "linkControl" + std::to_string(row.id);
    name += row.name;
    if (row.id != kNone) name += "_" + std::to_string(row.id);
    return name;
}

// For the test's messages.
void PrintTo(const LayoutRow& row, std::ostream* os) {
    *os << RowName(row) << " (" << row.x << ", " << row.y << ", " << row.w << ", " << row.h << ")";
}

class DialogLayoutTest : public ::testing::TestWithParam<LayoutRow> {};

} // namespace

TEST_P(DialogLayoutTest, TheControlStandsWhereItsTablePutsIt) {
    const LayoutRow& row = GetParam();
    LoadedDialog d = LoadDialog(row.dialog);
    ASSERT_NE(d.dialog, nullptr);
    QWidget* w = Find(d.dialog.get(), row);

    if (row.kind == Kind::LinkControl) {
        EXPECT_EQ(w, nullptr) << "the link control is flagged invisible and has no widget";
        return;
    }
    ASSERT_NE(w, nullptr) << "no widget for " << RowName(row);
    EXPECT_TRUE(IsOfKind(w, row.kind)) << w->metaObject()->className();
    if (row.id != kNone && row.kind != Kind::Dialog) {
        EXPECT_EQ(w->objectName().toStdString(), row.name) << "identifier " << row.id;
    }

    const QRect want = ScaledRect(row);
    if (row.kind == Kind::Dialog) {
        EXPECT_EQ(w->width(), want.width());
        EXPECT_EQ(w->height(), want.height());
    } else {
        EXPECT_EQ(Text(w->geometry()), Text(want)) << "pixels (x, y, w, h) of " << RowName(row);
    }
}

INSTANTIATE_TEST_SUITE_P(PublishedTables, DialogLayoutTest, ::testing::ValuesIn(kLayout),
                         [](const ::testing::TestParamInfo<LayoutRow>& info) { return RowName(info.param); });

// No widget of a layout is missing from the tables: a control added to a
// layout is added to the table with its rectangle.
TEST(DialogLayoutCompletenessTest, EveryWidgetOfEachDialogIsARowOfItsTable) {
    for (int templateId : tooltest::kAllDialogs) {
        LoadedDialog d = LoadDialog(templateId);
        ASSERT_NE(d.dialog, nullptr);
        std::set<QWidget*> listed;
        for (const LayoutRow& row : kLayout) {
            if (row.dialog != templateId || row.kind == Kind::Dialog || row.kind == Kind::LinkControl) continue;
            if (QWidget* w = Find(d.dialog.get(), row)) listed.insert(w);
        }
        for (QWidget* w : LayoutWidgets(d.dialog.get()))
            EXPECT_TRUE(listed.count(w) != 0)
                << templateId << ": " << w->metaObject()->className() << " " << w->objectName().toStdString()
                << " is in the layout but not in the table";
    }
}
