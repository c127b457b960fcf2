#include "tool/control_site.h"

#include "control/automation/dispatch_table.h"
#include "control/link/palvex_ctrl.h"

namespace dravel {

namespace {

class CInProcessControl final : public IControlDispatch {
public:
    HRESULT Invoke(DISPID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   unsigned* argErr) override {
        return palvex::InvokeMethod(m_ctrl, id, flags, params, result, argErr);
    }

private:
    CPalvexCtrl m_ctrl;
};

} // namespace

std::unique_ptr<IControlDispatch> CreateLinkControl() {
    return std::make_unique<CInProcessControl>();
}

} // namespace dravel
