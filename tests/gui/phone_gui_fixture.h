#pragma once
// A main window with its phone UI over the simulated phone (in-process), a link that can
// be made to fail, and a fake editor script that rewrites the file it is given.
#include <QFile>
#include <atomic>
#include <filesystem>

#include "gui/panes/phone_pane.h"
#include "gui/panes/phone_ui.h"
#include "gui/panes/worker_runner.h"
#include "gui_fixture.h"
#include "p2k/catalogue.h"
#include "platform/driver_link.h"
#include "sim/phone_model.h"
#include "sim/sample_phone.h"
#include "sim/sim_link.h"
#include "sim/sim_phone.h"

namespace mdk::test {

// Passes requests on to the simulated phone until failing is set.
class SwitchableLink final : public ForwardingLink {
public:
    using ForwardingLink::ForwardingLink;
    DriverStatus request(uint32_t code, std::span<const uint8_t> input, size_t capacity,
                         std::vector<uint8_t>& output, uint32_t waitMs) override {
        if (failing) return DriverStatus::Failed;
        return ForwardingLink::request(code, input, capacity, output, waitMs);
    }

    std::atomic<bool> failing{false};
};

inline constexpr const char* kEditedText = "EDITED-DATA-XYZ";

class PhoneGuiFixture : public GuiFixture {
public:
    PhoneGuiFixture() : phone(model) {
        sim::loadSamplePhone(model);
        // Messages 116 to 118 name the phone volumes as the attach routine lists them.
        std::ofstream out(programFolder + "/Messages.lng", std::ios::binary);
        out << "# test messages\r\n";
        for (int n = 0; n < 135; ++n) {
            if (n == 116)
                out << "/a  phone\r\n";
            else if (n == 117)
                out << "/b  card\r\n";
            else if (n == 118)
                out << "/c  system\r\n";
            else
                out << "M" << n << "\r\n";
        }
        out.close();
        touch(programFolder + "/Seem.lst", "0032\n0104\n");
        touch(programFolder + "/SeemCategories.lst", "");
        editorFolder = str(editorDir.path());
        writeScript(editorFolder + "/editor", "printf '" + std::string(kEditedText) + "' > \"$1\"");
        // The viewer the program looks for first: "lister" in the program folder.
        writeScript(programFolder + "/lister", "true");
        qputenv("MARROWDECK_HEX_EDITOR", QByteArray::fromStdString(editorFolder + "/editor"));
    }
    ~PhoneGuiFixture() {
        ui.reset();
        qunsetenv("MARROWDECK_HEX_EDITOR");
    }

    // Each script logs its file argument to ran.log beside it, then does its work.
    static void writeScript(const std::string& path, const std::string& body) {
        const std::string folder = path.substr(0, path.rfind('/'));
        touch(path, "#!/bin/sh\necho \"$1\" >> \"" + folder + "/ran.log\"\n" + body + "\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    bool editorRan() const {
        return QFile::exists(QString::fromStdString(editorFolder + "/ran.log"));
    }
    bool viewerRan() const {
        return QFile::exists(QString::fromStdString(programFolder + "/ran.log"));
    }

    MainWindow& startWithPhone() {
        MainWindow& w = start();
        link = std::make_shared<SwitchableLink>(std::make_shared<sim::SimLink>(phone));
        context->driver.setLink(link);
        context->catalogue.setView(&w.phoneView());
        context->commands.setProgress(&w.progressSink());
        ui = std::make_unique<PhoneUi>(*context, w, linuxSettings());
        ui->workers().setShowDialog(false);
        return w;
    }

    PhonePane& phonePane() { return ui->phonePane(); }
    // Activates the row of that name as Enter would.
    void activate(Side side, const QString& name) {
        const int row = names(side).indexOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        pane(side).focusRow(row);
        pane(side).activateFocusedRow();
    }
    const PaneRow* row(Side side, const std::string& name) {
        for (const PaneRow& r : rows(side)) {
            if (r.name == name) return &r;
        }
        return nullptr;
    }
    std::vector<std::string> promptTexts() const {
        std::vector<std::string> texts;
        for (const Prompt& p : prompter.shown()) texts.push_back(p.title + "|" + p.text);
        return texts;
    }

    QTemporaryDir editorDir;
    std::string editorFolder;
    sim::PhoneModel model;
    sim::SimPhone phone;
    std::shared_ptr<SwitchableLink> link;
    std::unique_ptr<PhoneUi> ui;
};

}  // namespace mdk::test
