#pragma once
#include <QDialog>

namespace mdk {

// Dialog 1200: version, build date, credits and three links (home page, forum, e-mail to
// the author) over the patterned background picture 503.
class AboutDialog final : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    static constexpr const char* kHomePage = "https://marrowdeck.example.org/";
    static constexpr const char* kForum = "https://marrowdeck.example.org/forum/";
    static constexpr const char* kAuthorMail = "author@marrowdeck.example.org";
    // The About text; the update check takes this release's code from it.
    static constexpr const char* kAboutText = "About Marrowdeck V6.0.0";
};

}  // namespace mdk
