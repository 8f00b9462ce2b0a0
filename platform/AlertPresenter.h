#pragma once

#include <memory>
#include <string>

namespace lumora {

// The seam through which the engine shows a one-button alert to the user.
//
// Until screens install a presenter, alerts are written as one plain line to
// standard output ("alert: <title>: <message> [<button>]"). A screen layer
// installs its own presenter once at start-up; present() is then called on
// whatever thread raised the alert, so a presenter that draws must hop to
// the main queue itself. Installing and presenting are thread-safe; a
// presenter that is being replaced may still finish an alert already
// handed to it.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;

    // Shows `title` and `message` with one button labelled `buttonTitle`,
    // no delegate: nothing is reported back.
    virtual void present(const std::string& title, const std::string& message,
                         const std::string& buttonTitle) = 0;

    // Installs the process-wide presenter; nullptr restores the logging one.
    static void install(std::shared_ptr<AlertPresenter> presenter);
    // The presenter in force (never null).
    static std::shared_ptr<AlertPresenter> current();
    // current()->present(...).
    static void show(const std::string& title, const std::string& message, const std::string& buttonTitle);
};

}  // namespace lumora
