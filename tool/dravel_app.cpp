#include "tool/dravel_app.h"

#include "tool/control_help.h"
#include "tool/resources/dravel_texts.h"

#include <memory>
#include <utility>

namespace dravel {

namespace {

void ReplaceAll(std::string& text, const std::string& mark, const std::string& by) {
    for (std::size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + by.size()))
        text.replace(at, mark.size(), by);
}

} // namespace

std::string CDravelApp::NoControlMessage() {
    const SControlHelp& help = ControlHelp();
    std::string message = text::kNoControlFormat;
    ReplaceAll(message, "%1", help.registerSteps);
    ReplaceAll(message, "%2", help.moduleFile);
    ReplaceAll(message, "%3", help.programFile);
    return message;
}

ControlFactory CDravelApp::FirstControl(const ControlFactory& makeControl,
                                        const MessageBoxFn& showMessage) {
    std::unique_ptr<IHostedControl> first = makeControl();
    if (first == nullptr) {
        showMessage(NoControlMessage(), text::kNoControlCaption);
        return {};
    }
    // The factory is copied into the dialogs; the first control goes to
    // whichever copy asks first.
    auto waiting = std::make_shared<std::unique_ptr<IHostedControl>>(std::move(first));
    return [waiting, makeControl]() -> std::unique_ptr<IHostedControl> {
        if (*waiting) return std::move(*waiting);
        return makeControl();
    };
}

} // namespace dravel
