#pragma once

namespace mdk {

// What the core asks of the running application: the GUI implements it, the CLI and the
// tests record the requests.
class AppControl {
public:
    virtual ~AppControl() = default;
    // Hides the start-up picture before a box is shown over it.
    virtual void hideStartupPicture() {}
    // Starts the program anew once this instance has ended, and closes this instance.
    virtual void restartApplication() = 0;
};

}  // namespace mdk
