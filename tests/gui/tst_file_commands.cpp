// Delete, New folder and the attributes writer of the main window on the simulated phone
// and on PC folders.
#include <algorithm>

#include "transfers_fixture.h"

namespace mdk::test {
namespace fs = std::filesystem;

class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void deleteAsksForEachPhoneRow();
    void aFailedPhoneDeleteLeavesTheFileListed();
    void deleteAsksForEachPcRow();
    void pcDeleteMovesToTheDesktopTrash();
    void withoutATrashAFolderGoesOnlyAfterNamingItsFiles();
    void aNewPhoneFolderHoldsOneOneByteFile();
    void newFolderCancelledOrBadNamesMakeNothing();
    void attributesArePatchedOnlyAfterThePhoneTookThem();
};

void TestFileCommands::deleteAsksForEachPhoneRow() {
    TransferFixture f;
    QVERIFY(f.model.addFile("/a/del.txt", f.bytesOf("d")));
    QVERIFY(f.model.addFile("/a/keep.txt", f.bytesOf("k")));
    QVERIFY(f.model.addFile("/a/dir/inner.txt", f.bytesOf("i")));
    f.startOnPhone();
    f.loadPhone();
    f.showPhone(Side::Left, "/a/");
    f.showPc(Side::Right, f.other);
    f.prompter.queueAnswer(PromptAnswer::Yes);  // del.txt
    f.prompter.queueAnswer(PromptAnswer::No);   // keep.txt
    f.select(Side::Left, {"del.txt", "keep.txt"});
    f.dispatch(ids::kDelete);

    const auto shown = f.prompts();
    QCOMPARE(shown.size(), size_t{2});
    QCOMPARE(shown[0].text, std::string("M54del.txt"));
    QCOMPARE(shown[0].title, std::string("M55"));
    QCOMPARE(shown[1].text, std::string("M54keep.txt"));
    QVERIFY(!f.model.fileBytes("/a/del.txt"));
    QVERIFY(f.model.fileBytes("/a/keep.txt"));
    QVERIFY(f.logged("M33/a/del.txt"));
    QVERIFY(!f.names(Side::Left).contains("del.txt"));
    QVERIFY(f.names(Side::Left).contains("keep.txt"));
    // Every later listing leaves it out, also the root's.
    f.showPhone(Side::Left, "/");
    f.showPhone(Side::Left, "/a/");
    QVERIFY(!f.names(Side::Left).contains("del.txt"));
    for (const auto& record : f.context->catalogue.records()) QVERIFY(record.path != "/a/del.txt");
}

void TestFileCommands::aFailedPhoneDeleteLeavesTheFileListed() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    // Listed, but not on the phone: the phone refuses the delete.
    QVERIFY(f.context->catalogue.appendCatalogueRecord("/a/ghost.txt", 4, 0x07000400));
    f.showPhone(Side::Left, "/a/");
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.select(Side::Left, {"ghost.txt"});
    f.dispatch(ids::kDelete);
    QVERIFY(f.logged("Not deleted: /a/ghost.txt"));
    QVERIFY(f.names(Side::Left).contains("ghost.txt"));
}

void TestFileCommands::deleteAsksForEachPcRow() {
    TransferFixture f;
    f.startOnPhone();
    fs::create_directories(f.other + "/folder/inner");
    f.touch(f.other + "/folder/inner/x", "x");
    f.touch(f.other + "/gone.txt");
    f.touch(f.other + "/stays.txt");
    f.showPc(Side::Left, f.other);
    f.showPc(Side::Right, f.other);
    f.prompter.queueAnswer(PromptAnswer::Yes);  // folder
    f.prompter.queueAnswer(PromptAnswer::Yes);  // gone.txt
    f.prompter.queueAnswer(PromptAnswer::No);   // stays.txt
    f.select(Side::Left, {"folder", "gone.txt", "stays.txt"});
    f.dispatch(ids::kDelete);
    const auto shown = f.prompts();
    QCOMPARE(shown.size(), size_t{3});
    QCOMPARE(shown[0].text,
             std::string("M54folder\nThe folder goes to the trash with everything in it."));
    QCOMPARE(shown[1].text, std::string("M54gone.txt\nThe file goes to the trash."));
    QVERIFY(fs::exists(str(f.trashDir.path()) + "/folder/inner/x"));
    QVERIFY(fs::exists(str(f.trashDir.path()) + "/gone.txt"));
    QVERIFY(!fs::exists(f.other + "/folder"));
    QVERIFY(!fs::exists(f.other + "/gone.txt"));
    QVERIFY(fs::exists(f.other + "/stays.txt"));
    for (Side side : {Side::Left, Side::Right}) {
        QVERIFY2(!f.names(side).contains("gone.txt"), "both panes showing the folder re-list");
        QVERIFY(f.names(side).contains("stays.txt"));
    }
}

void TestFileCommands::pcDeleteMovesToTheDesktopTrash() {
    // The desktop trash of a home of the test's own.
    QTemporaryDir dataHome;
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    {
        TransferFixture f;
        f.startOnPhone();
        f.commands->setTrash([](const std::string& path) {
            return QFile::moveToTrash(QString::fromStdString(path));
        });
        const std::string folder = str(dataHome.path()) + "/pc";
        fs::create_directories(folder + "/album");
        f.touch(folder + "/album/one.jpg", "1");
        f.touch(folder + "/note.txt", "n");
        f.showPc(Side::Left, folder);
        f.prompter.queueAnswer(PromptAnswer::Yes);
        f.prompter.queueAnswer(PromptAnswer::Yes);
        f.select(Side::Left, {"album", "note.txt"});
        f.dispatch(ids::kDelete);
        QVERIFY(!fs::exists(folder + "/album"));
        QVERIFY(!fs::exists(folder + "/note.txt"));
        const std::string trash = str(dataHome.path()) + "/Trash/files";
        QCOMPARE(f.readFile(trash + "/album/one.jpg"), std::string("1"));
        QCOMPARE(f.readFile(trash + "/note.txt"), std::string("n"));
        QCOMPARE(f.prompts().size(), size_t{2});
    }
    if (savedDataHome.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", savedDataHome);
    }
}

void TestFileCommands::withoutATrashAFolderGoesOnlyAfterNamingItsFiles() {
    TransferFixture f;
    f.startOnPhone();
    f.trashAvailable = false;
    fs::create_directories(f.other + "/folder/inner");
    for (const char* name : {"/folder/a", "/folder/b", "/folder/inner/c"}) f.touch(f.other + name);
    fs::create_symlink(f.home, f.other + "/folder/link");  // a link to elsewhere: one file
    f.touch(f.home + "/outside.txt");
    f.showPc(Side::Left, f.other);
    const std::string path = f.other + "/folder";
    const std::string question = "There is no trash to move the folder " + path +
                                 " to. Delete it for good with the 4 files it holds?";
    // No to the second question keeps everything.
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.prompter.queueAnswer(PromptAnswer::No);
    f.select(Side::Left, {"folder"});
    f.dispatch(ids::kDelete);
    QCOMPARE(f.prompts().back().text, question);
    QVERIFY(fs::exists(f.other + "/folder/inner/c"));
    QVERIFY(f.logged(QString::fromStdString("Not deleted: " + path)));
    // Yes to both deletes the folder; the linked folder keeps its files.
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.prompter.queueAnswer(PromptAnswer::Yes);
    f.select(Side::Left, {"folder"});
    f.dispatch(ids::kDelete);
    QCOMPARE(f.prompts().back().text, question);
    QVERIFY(!fs::exists(path));
    QVERIFY(fs::exists(f.home + "/outside.txt"));
}

void TestFileCommands::aNewPhoneFolderHoldsOneOneByteFile() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    f.showPhone(Side::Left, "/a/");
    f.context->panes.activePane = 0;
    f.folderName = "fresh";
    f.dispatch(ids::kNewFolder);

    std::vector<sim::PhoneEntry> inside;
    for (const auto& entry : f.model.files()) {
        if (entry.path.starts_with("/a/fresh/")) inside.push_back(entry);
    }
    QCOMPARE(inside.size(), size_t{1});
    QCOMPARE(inside[0].size, 1u);
    QCOMPARE(f.model.fileBytes(inside[0].path), std::optional(f.bytesOf("5")));
    QVERIFY2(f.names(Side::Left).contains("fresh"), "listed without reading the phone again");
    f.showPhone(Side::Left, "/a/fresh/");
    QCOMPARE(f.rows(Side::Left).back().detailText, std::string("07    0004"));
}

void TestFileCommands::newFolderCancelledOrBadNamesMakeNothing() {
    TransferFixture f;
    f.startOnPhone();
    f.loadPhone();
    f.showPc(Side::Left, f.other);
    f.context->panes.activePane = 0;
    for (const std::optional<std::string>& name :
         {std::optional<std::string>(), std::optional<std::string>(".."),
          std::optional<std::string>("a/b"), std::optional<std::string>("")}) {
        f.folderName = name;
        f.dispatch(ids::kNewFolder);
    }
    QVERIFY(fs::is_empty(f.other));
    f.folderName = "made";
    f.dispatch(ids::kNewFolder);
    QVERIFY(fs::is_directory(f.other + "/made"));
    QVERIFY(f.names(Side::Left).contains("made"));

    const auto phoneBefore = f.phonePaths();
    f.showPhone(Side::Left, "/a/");
    f.folderName.reset();
    f.dispatch(ids::kNewFolder);
    QCOMPARE(f.phonePaths(), phoneBefore);
}

void TestFileCommands::attributesArePatchedOnlyAfterThePhoneTookThem() {
    TransferFixture f;
    QVERIFY(f.model.addFile("/a/x.txt", f.bytesOf("x"), 0x07000400));
    f.startOnPhone();
    f.loadPhone();
    // Listed, but its folder is not on the phone: the open fails.
    QVERIFY(f.context->catalogue.appendCatalogueRecord("/a/gone/ghost.txt", 1, 0x07000400));
    f.commands->writeAttributes("/a/x.txt", 0x21, 0x07000400);
    f.commands->writeAttributes("/a/gone/ghost.txt", 0x21, 0x07000400);
    const auto rows = f.context->catalogue.listFolder("/a/");
    const auto x =
        std::find_if(rows.begin(), rows.end(), [](auto& r) { return r.name == "x.txt"; });
    QVERIFY(x != rows.end());
    QCOMPARE(x->attributeText, std::string("07    0021"));
    QCOMPARE(f.context->catalogue.listFolder("/a/gone/").at(0).attributeText,
             std::string("07    0004"));
    QVERIFY(f.logged("Attributes of /a/gone/ghost.txt not changed."));
}

}  // namespace mdk::test

QTEST_MAIN(mdk::test::TestFileCommands)
#include "tst_file_commands.moc"
