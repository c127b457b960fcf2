#include "tool/dialog_exchange.h"

#include "tool/resources/dravel_texts.h"

#include <cctype>
#include <cstdint>

namespace dravel {

namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

enum class ParseResult { Ok, NotANumber, OutOfRange };

// Decimal digits between optional white space; anything larger than max is
// out of range, however many digits it has.
ParseResult ParseUnsigned(const std::string& text, unsigned min, unsigned max, unsigned& out) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t first = i;
    std::uint64_t value = 0;
    bool tooLarge = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > max) {
            tooLarge = true;
            value = std::uint64_t{max} + 1; // stays small, however long the text
        }
        ++i;
    }
    if (i == first) return ParseResult::NotANumber;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i != text.size()) return ParseResult::NotANumber;
    if (tooLarge || value < min) return ParseResult::OutOfRange;
    out = static_cast<unsigned>(value);
    return ParseResult::Ok;
}

std::string RangePrompt(unsigned min, unsigned max) {
    std::string prompt = text::kPromptIntegerRange;
    auto replace = [&prompt](const std::string& key, const std::string& value) {
        if (const auto pos = prompt.find(key); pos != std::string::npos)
            prompt.replace(pos, key.size(), value);
    };
    replace("%1", std::to_string(min));
    replace("%2", std::to_string(max));
    return prompt;
}

// A value that a view call reads and another writes, in the exchange's
// direction.
template <class T>
void DdxValue(CDataExchange& dx, int id, T& value, T (IDialogView::*read)(int) const,
              void (IDialogView::*write)(int, T)) {
    if (dx.Failed()) return;
    IDialogView& view = dx.View();
    if (dx.Saving())
        value = (view.*read)(id);
    else
        (view.*write)(id, value);
}

} // namespace

int FindListPrefix(const IDialogView& view, int id, const std::string& text) {
    if (text.empty()) return -1;
    const int count = view.ListCount(id);
    for (int i = 0; i < count; ++i)
        if (view.ListItem(id, i).starts_with(text)) return i;
    return -1;
}

void DdxListText(CDataExchange& dx, int id, std::string& value) {
    if (dx.Failed()) return;
    IDialogView& view = dx.View();
    if (dx.Saving()) {
        const int sel = view.ListSelection(id);
        value = sel >= 0 ? view.ListItem(id, sel) : std::string();
    } else if (const int index = FindListPrefix(view, id, value); index >= 0) {
        view.SetListSelection(id, index);
    }
}

void DdxListIndex(CDataExchange& dx, int id, int& index) {
    DdxValue(dx, id, index, &IDialogView::ListSelection, &IDialogView::SetListSelection);
}

void DdxCheck(CDataExchange& dx, int id, bool& value) {
    DdxValue(dx, id, value, &IDialogView::IsChecked, &IDialogView::SetChecked);
}

void DdxRadio(CDataExchange& dx, std::initializer_list<int> ids, int& index) {
    if (dx.Failed()) return;
    int i = 0;
    if (dx.Saving()) {
        index = -1;
        for (int id : ids) {
            if (dx.View().IsChecked(id)) {
                index = i;
                break;
            }
            ++i;
        }
        return;
    }
    for (int id : ids) dx.View().SetChecked(id, i++ == index);
}

void DdxUnsigned(CDataExchange& dx, int id, unsigned& value, unsigned min, unsigned max,
                 const std::string& caption) {
    if (dx.Failed()) return;
    IDialogView& view = dx.View();
    if (!dx.Saving()) {
        view.SetItemText(id, std::to_string(value));
        return;
    }
    unsigned parsed = 0;
    switch (ParseUnsigned(view.GetItemText(id), min, max, parsed)) {
    case ParseResult::Ok: value = parsed; return;
    case ParseResult::NotANumber:
        view.ShowMessage(text::kPromptPositiveInteger, caption, MessageIcon::Exclamation);
        break;
    case ParseResult::OutOfRange:
        view.ShowMessage(RangePrompt(min, max), caption, MessageIcon::Exclamation);
        break;
    }
    view.FocusItem(id);
    dx.Fail();
}

} // namespace dravel
