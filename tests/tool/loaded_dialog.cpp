#include "tests/tool/loaded_dialog.h"

#include "tests/tool/fake_control.h"
#include "tool/qt/dravel_view.h"
#include "tool/qt/force_setup_view.h"
#include "tool/qt/password_view.h"
#include "tool/qt/warning_dialog.h"
#include "tool/resources/resource_ids.h"

namespace tooltest {

LoadedDialog LoadDialog(int templateId) {
    using namespace dravel;
    LoadedDialog d;
    d.home = std::make_unique<testsupport::CTempConfigHome>();
    const auto world = std::make_shared<CFakeWorld>();
    switch (templateId) {
    case IDD_WARNING: d.dialog = std::make_unique<CWarningDlg>(); break;
    case IDD_DRAVEL_DIALOG: d.dialog = std::make_unique<CDravelView>(FakeFactory(world)); break;
    case IDD_PASSWORD: d.dialog = std::make_unique<CPasswordView>(); break;
    case IDD_FORCE_SETUP: d.dialog = std::make_unique<CForceSetupView>(FakeFactory(world)); break;
    default: break;
    }
    return d;
}

} // namespace tooltest
