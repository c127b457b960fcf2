// A dialog on screen whose logic (OnInitDialog, OnOK, OnCancel) answers its
// buttons: "确定" is OnOK; "取消", Escape and the close box are OnCancel.
// Whether the dialog closes is the logic's to say.
#pragma once

#include "tool/qt/dialog_frame.h"
#include "tool/qt/qt_dialog_view.h"

#include <utility>

namespace dravel {

template <class Logic> class COkCancelDialog : public QDialog, public CQtDialogView<IDialogView> {
  public:
    void reject() override { m_logic.OnCancel(); } // Escape and the close box: as "取消"

  protected:
    // The logic is made with this view and `logicArgs`.
    template <class... LogicArgs>
    explicit COkCancelDialog(QWidget* parent, LogicArgs&&... logicArgs)
        : QDialog(parent), m_logic(*this, std::forward<LogicArgs>(logicArgs)...) {}

    // Called by the view once its layout is set up: the template's frame,
    // the identified controls, the two buttons, then the logic's
    // OnInitDialog.
    void Start(QAbstractButton* ok, QAbstractButton* cancel) {
        ApplyDialogFrame(this);
        Bind(this);
        connect(ok, &QAbstractButton::clicked, this, [this] { m_logic.OnOK(); });
        connect(cancel, &QAbstractButton::clicked, this, [this] { m_logic.OnCancel(); });
        m_logic.OnInitDialog();
    }

  private:
    Logic m_logic;
};

} // namespace dravel
