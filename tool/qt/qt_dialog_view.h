// The dialog interface over Qt widgets. Each widget of a layout carries its
// control identifier in the dynamic property "controlId"; Bind() collects
// them, and the dialog logic reaches them by those numbers.
#pragma once

#include "tool/dialog_view.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>

#include <map>

namespace dravel {

QString ToQString(const std::string& text);
std::string FromQString(const QString& text);

// A modal message box with an OK button ("确定" once Qt's translations are
// in, InstallQtTranslations); `parent` may be null.
void ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                    MessageIcon icon);

template <class Interface>
class CQtDialogView : public Interface {
public:
    // Collects the identified widgets below the dialog.
    void Bind(QDialog* dialog) {
        m_pDialog = dialog;
        m_controls.clear();
        for (QWidget* w : dialog->findChildren<QWidget*>()) {
            const QVariant id = w->property("controlId");
            if (id.isValid()) m_controls[id.toInt()] = w;
        }
    }
    QWidget* Control(int id) const {
        const auto it = m_controls.find(id);
        return it == m_controls.end() ? nullptr : it->second;
    }

    void SetCaption(const std::string& text) override { m_pDialog->setWindowTitle(ToQString(text)); }

    void SetItemText(int id, const std::string& text) override {
        QWidget* w = Control(id);
        if (auto* label = qobject_cast<QLabel*>(w)) label->setText(ToQString(text));
        else if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setText(ToQString(text));
        else if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(ToQString(text));
    }
    std::string GetItemText(int id) const override {
        QWidget* w = Control(id);
        if (auto* label = qobject_cast<QLabel*>(w)) return FromQString(label->text());
        if (auto* edit = qobject_cast<QLineEdit*>(w)) return FromQString(edit->text());
        if (auto* button = qobject_cast<QAbstractButton*>(w)) return FromQString(button->text());
        return {};
    }

    void EnableItem(int id, bool enable) override {
        if (QWidget* w = Control(id)) w->setEnabled(enable);
    }
    bool IsItemEnabled(int id) const override {
        QWidget* w = Control(id);
        return w != nullptr && w->isEnabled();
    }
    void FocusItem(int id) override {
        QWidget* w = Control(id);
        if (w == nullptr) return;
        w->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
    }

    void ResetList(int id) override {
        if (QComboBox* list = List(id)) list->clear();
    }
    void AddListItem(int id, const std::string& text) override {
        if (QComboBox* list = List(id)) list->addItem(ToQString(text));
    }
    int ListCount(int id) const override {
        QComboBox* list = List(id);
        return list != nullptr ? list->count() : 0;
    }
    std::string ListItem(int id, int index) const override {
        QComboBox* list = List(id);
        return list != nullptr ? FromQString(list->itemText(index)) : std::string();
    }
    void SetListSelection(int id, int index) override {
        QComboBox* list = List(id);
        if (list == nullptr) return;
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    }
    int ListSelection(int id) const override {
        QComboBox* list = List(id);
        return list != nullptr ? list->currentIndex() : -1;
    }

    void SetChecked(int id, bool checked) override {
        auto* button = qobject_cast<QAbstractButton*>(Control(id));
        if (button == nullptr) return;
        // An exclusive radio button cannot be unchecked directly; a group
        // with no choice made is a valid state here.
        const bool exclusive = button->autoExclusive();
        if (!checked && exclusive) button->setAutoExclusive(false);
        button->setChecked(checked);
        if (!checked && exclusive) button->setAutoExclusive(true);
    }
    bool IsChecked(int id) const override {
        auto* button = qobject_cast<QAbstractButton*>(Control(id));
        return button != nullptr && button->isChecked();
    }

    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        ShowMessageBox(m_pDialog, text, caption, icon);
    }

    void EndDialog(int result) override { m_pDialog->done(result); }

private:
    QComboBox* List(int id) const { return qobject_cast<QComboBox*>(Control(id)); }

    QDialog* m_pDialog = nullptr;
    std::map<int, QWidget*> m_controls;
};

} // namespace dravel
