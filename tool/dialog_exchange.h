// Dialog data exchange: copies a dialog's members to its controls (load) or
// the controls into the members (save), one control at a time, and validates
// number fields on save.
#pragma once

#include "tool/dialog_view.h"

#include <initializer_list>
#include <string>

namespace dravel {

class CDataExchange {
public:
    CDataExchange(IDialogView& view, bool save) : m_view(view), m_bSave(save) {}

    IDialogView& View() const { return m_view; }
    bool Saving() const { return m_bSave; }
    // A validation failed; the exchange stops changing members from then on.
    bool Failed() const { return m_bFailed; }
    void Fail() { m_bFailed = true; }

private:
    IDialogView& m_view;
    bool m_bSave;
    bool m_bFailed = false;
};

// What a dialog's logic needs to exchange its members with its controls: it
// names them in DoDataExchange, and UpdateData runs that in one direction.
class CDialogData {
public:
    virtual ~CDialogData() = default;
    CDialogData(const CDialogData&) = delete;
    CDialogData& operator=(const CDialogData&) = delete;

protected:
    explicit CDialogData(IDialogView& view) : m_dataView(view) {}

    // Loads the members into the controls (save false) or saves the controls
    // into the members; false when a validation failed.
    bool UpdateData(bool save) {
        CDataExchange dx(m_dataView, save);
        DoDataExchange(dx);
        return !dx.Failed();
    }
    virtual void DoDataExchange(CDataExchange& dx) = 0;

private:
    IDialogView& m_dataView;
};

// Index of the first list item that begins with `text`, or -1. An empty text
// matches nothing.
int FindListPrefix(const IDialogView& view, int id, const std::string& text);

// Text of a drop-down list: save reads the selected item ("" without one);
// load selects the first item beginning with the text and keeps the current
// selection when none does.
void DdxListText(CDataExchange& dx, int id, std::string& value);

// Selected index of a drop-down list, -1 for none.
void DdxListIndex(CDataExchange& dx, int id, int& index);

void DdxCheck(CDataExchange& dx, int id, bool& value);

// A group of radio buttons as the index of the checked one, -1 for none.
void DdxRadio(CDataExchange& dx, std::initializer_list<int> ids, int& index);

// An unsigned number in an edit field, checked against [min, max] on save.
// A field that is empty or not a number, or a number out of range, shows the
// standard prompt with `caption`, puts the focus back on the field and fails
// the exchange without changing `value`.
void DdxUnsigned(CDataExchange& dx, int id, unsigned& value, unsigned min, unsigned max,
                 const std::string& caption);

} // namespace dravel
