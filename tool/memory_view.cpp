#include "tool/memory_view.h"

namespace dravel {

const CMemoryView::Item* CMemoryView::Find(int id) const {
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : &it->second;
}

void CMemoryView::SetItemText(int id, const std::string& text) {
    m_items[id].text = text;
    if (m_onText) m_onText(id, text);
}

std::string CMemoryView::GetItemText(int id) const {
    const Item* item = Find(id);
    return item ? item->text : std::string();
}

bool CMemoryView::IsItemEnabled(int id) const {
    const Item* item = Find(id);
    return item ? item->enabled : true;
}

void CMemoryView::ResetList(int id) {
    Item& item = m_items[id];
    item.entries.clear();
    item.selection = -1;
}

void CMemoryView::AddListItem(int id, const std::string& text) {
    m_items[id].entries.push_back(text);
}

int CMemoryView::ListCount(int id) const {
    const Item* item = Find(id);
    return item ? static_cast<int>(item->entries.size()) : 0;
}

std::string CMemoryView::ListItem(int id, int index) const {
    const Item* item = Find(id);
    if (item == nullptr || index < 0 || index >= static_cast<int>(item->entries.size())) return {};
    return item->entries[static_cast<std::size_t>(index)];
}

void CMemoryView::SetListSelection(int id, int index) {
    Item& item = m_items[id];
    item.selection = index >= 0 && index < static_cast<int>(item.entries.size()) ? index : -1;
}

int CMemoryView::ListSelection(int id) const {
    const Item* item = Find(id);
    return item ? item->selection : -1;
}

bool CMemoryView::IsChecked(int id) const {
    const Item* item = Find(id);
    return item ? item->checked : false;
}

void CMemoryView::ShowMessage(const std::string& text, const std::string& caption,
                              MessageIcon icon) {
    m_messages.push_back({text, caption, icon});
    if (m_onMessage) m_onMessage(m_messages.back());
}

unsigned CMemoryView::StartTimer(unsigned id, unsigned /*periodMs*/) {
    ++m_nTimerStarts;
    m_nRunningTimer = id;
    return id;
}

void CMemoryView::StopTimer(unsigned timer) {
    if (timer == m_nRunningTimer) m_nRunningTimer = 0;
}

bool CMemoryView::RunWarningDialog() {
    ++m_nWarningsShown;
    return m_onWarning ? m_onWarning() : false;
}

bool CMemoryView::RunPasswordDialog() { return m_onPassword ? m_onPassword() : false; }

void CMemoryView::RunForceSetupDialog() {
    if (m_onForceSetup) m_onForceSetup();
}

} // namespace dravel
