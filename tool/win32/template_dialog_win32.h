// The tool's dialogs as views of their templates. CTemplateDialog shows a
// dialog template of the program and takes its window's events;
// COkCancelDialog answers the two buttons of a dialog with its logic.
#pragma once

#include "tool/resources/resource_ids.h"
#include "tool/win32/dialog_window_win32.h"

#include <cstdint>
#include <utility>

namespace dravel::win32 {

// Interface is IDialogView or IMainDialogHost, as for CDialogWindowView.
template <class Interface>
class CTemplateDialog : public CDialogWindowView<Interface>, protected IDialogEvents {
  public:
    // Shows the dialog modally until it closes.
    std::intptr_t RunModal(WindowHandle owner = nullptr) {
        return RunModalDialog(m_templateId, owner, *this);
    }
    // Shows it without a modal loop of its own; null when it could not be
    // made. The caller destroys it (DestroyDialogWindow).
    WindowHandle Create(WindowHandle owner = nullptr) {
        return CreateDialogWindow(m_templateId, owner, *this);
    }

  protected:
    explicit CTemplateDialog(int templateId) : m_templateId(templateId) {}

  private:
    int m_templateId;
};

// A dialog whose logic (OnInitDialog, OnOK, OnCancel) answers its buttons:
// "确定" and Enter are OnOK; "取消", Escape and the close box are OnCancel.
// Whether the dialog closes is the logic's to say.
template <class Logic> class COkCancelDialog : public CTemplateDialog<IDialogView> {
  protected:
    // The logic is made with this view and `logicArgs`.
    template <class... LogicArgs>
    explicit COkCancelDialog(int templateId, LogicArgs&&... logicArgs)
        : CTemplateDialog<IDialogView>(templateId),
          m_logic(*this, std::forward<LogicArgs>(logicArgs)...) {}

    // What the template cannot say about the controls, set before the
    // logic's OnInitDialog.
    virtual void PrepareControls(WindowHandle /*dialog*/) {}

  private:
    bool OnInitDialog(WindowHandle dialog) override {
        Attach(dialog);
        PrepareControls(dialog);
        m_logic.OnInitDialog();
        return true; // the logic put the focus where it belongs
    }
    void OnCommand(int id) override {
        if (id == IDOK)
            m_logic.OnOK();
        else if (id == IDCANCEL)
            m_logic.OnCancel();
    }

    Logic m_logic;
};

} // namespace dravel::win32
