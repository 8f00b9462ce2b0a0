#include "ui/kit/KitAlertPresenter.h"

#include "platform/dispatch/DispatchQueue.h"
#include "ui/kit/UIAlertView.h"
#include "ui/kit/UIApplication.h"

namespace lumora {

void KitAlertPresenter::present(const std::string& title, const std::string& message, const std::string& buttonTitle) {
    DispatchQueue::main()->async([title, message, buttonTitle] {
        if (!UIApplication::sharedApplication().keyWindow()) return;
        (new UIAlertView(title, message, nullptr, buttonTitle, {}))->show();
    });
}

}  // namespace lumora
