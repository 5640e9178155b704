#include "gui/dialogs/about_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "gui/controls/fonts.h"
#include "gui/controls/hyperlink.h"
#include "gui/controls/pictures.h"

namespace mdk {

namespace {

QLabel* staticText(QWidget* parent, const QString& text, int id = 0, bool tahoma = false) {
    auto* label = new QLabel(text, parent);
    if (id) label->setObjectName(QString::number(id));
    if (tahoma) label->setFont(dialogFont());
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(p);
    label->setAutoFillBackground(false);
    return label;
}

HyperLink* link(QWidget* parent, const QString& text, int id, HyperLink::Kind kind) {
    auto* link = new HyperLink(text, parent);
    link->setObjectName(QString::number(id));
    link->setKind(kind);
    link->setHoverColour(QColor(255, 0, 0));
    link->setNormalColour(QColor(0, 0, 255));
    link->setUnderline(true);
    link->setFont(dialogFont());
    return link;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("1200");
    setWindowTitle("Marrowdeck");
    QPalette background = palette();
    background.setBrush(QPalette::Window, QBrush(loadPicture(503)));
    setPalette(background);
    setAutoFillBackground(true);

    auto* layout = new QGridLayout(this);
    auto* logo = new QLabel(this);
    logo->setPixmap(loadPicture(501));
    layout->addWidget(logo, 0, 0, 6, 1, Qt::AlignTop);
    layout->addWidget(
        staticText(this, "Marrowdeck: a file manager for Motorola P2k phones.", 1205, true), 0, 1,
        1, 2);
    layout->addWidget(staticText(this, "Version: 6.0.0"), 1, 1);
    layout->addWidget(staticText(this, "Build date: 2009.05.04."), 1, 2);

    layout->addWidget(staticText(this, "Author:", 1204, true), 2, 1);
    auto* author = link(this, kAuthorMail, 1212, HyperLink::Kind::Mail);
    author->setSubject(kAboutText);
    author->setBody("I run Marrowdeck, and I think ...");
    layout->addWidget(author, 2, 2);

    layout->addWidget(staticText(this, "Homepage:", 1207, true), 3, 1);
    auto* home = link(this, kHomePage, 1211, HyperLink::Kind::Web);
    layout->addWidget(home, 3, 2);

    layout->addWidget(staticText(this, "Forum:", 1202, true), 4, 1);
    auto* forum = link(this, kForum, 1215, HyperLink::Kind::Web);
    layout->addWidget(forum, 4, 2);

    layout->addWidget(staticText(this, "Credits:", 1206, true), 5, 1);
    layout->addWidget(
        staticText(this,
                   "The Marrowdeck contributors <contributors@marrowdeck.example.org>\n"
                   "Testers of the simulated phone <testers@marrowdeck.example.org>"),
        5, 2);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1203");
    ok->setDefault(true);
    layout->addWidget(ok, 6, 2, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace mdk
