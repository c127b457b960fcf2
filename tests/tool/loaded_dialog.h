// The tool's four dialogs as the program makes them, for the tests of their
// layouts and frames: each in a private configuration directory, the two
// that host the link control with a control of the fake world.
#pragma once

#include "tests/platform/temp_config_home.h"

#include <QDialog>

#include <memory>

namespace tooltest {

struct LoadedDialog {
    std::unique_ptr<testsupport::CTempConfigHome> home;
    std::unique_ptr<QDialog> dialog;
};

// templateId: 134 warning, 102 main, 131 password, 132 forced configuration.
LoadedDialog LoadDialog(int templateId);

inline constexpr int kAllDialogs[] = {134, 102, 131, 132};

} // namespace tooltest
