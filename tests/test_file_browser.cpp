#include <sys/stat.h>

#include <filesystem>

#include "app/startup.h"
#include "ui/browser_places.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "ui_fixture.h"

namespace domora {
namespace {

namespace fs = std::filesystem;

class FileBrowser : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        fs::create_directories(path("home"));
        fs::create_directories(path("files/Alpha"));
        fs::create_directories(path("files/zeta/inner/deeper"));
        write(path("files/zeta/inner/deeper/x.txt"), "x");
        write(path("files/b.txt"), "bb");
        write(path("files/A.txt"), "a");
        write(path("files/README"), std::string(1000000, 'r'));
        write(path("files/.hidden"), "h");
        os.mounts = {{"/", "ext4", "/dev/sda1", "Debian"},
                     {"/proc", "proc", "proc", ""},
                     {"/media/tester/USB STICK", "vfat", "/dev/sdb1", "USB STICK"},
                     {"/srv/share", "nfs4", "server:/share", ""},
                     {"/media/cdrom", "iso9660", "/dev/sr0", "DISC"}};
    }
    // Where a widget of the browser is, from a first showing that ends at once.
    WidgetRecord widget_of(int id) {
        std::string folder = path("files/"), name;
        int result = -5;
        main_window().quit_requested = true;
        BrowseForFile("Export Addresses", folder, name, result);
        main_window().quit_requested = false;
        std::string f = path("files/"), n;
        os.script.clear();
        BrowseForFile("Export Addresses", f, n, result);  // draws, then the empty script closes it
        main_window().quit_requested = false;
        const int index = FindWidget(id);
        EXPECT_GE(index, 0) << id;
        return index >= 0 ? widgets()[static_cast<std::size_t>(index)] : WidgetRecord{};
    }
    static void click(HeadlessPlatform& p, const WidgetRecord& w) { p.push_click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2); }
};

TEST_F(FileBrowser, ListsPlacesThenTheFolderSortedWithHiddenNamesLeftOut) {
    std::vector<BrowserEntry> entries;
    ASSERT_TRUE(browser_entries(path("files/"), entries));
    std::vector<std::string> texts;
    for (const BrowserEntry& e : entries) texts.push_back(e.text);
    const std::vector<std::string> expected = {
        "/    (Debian)",
        path("home") + "    (Home)",
        "/media/tester/USB STICK    (Removable Disk)",
        "/srv/share    (Network Drive)",
        "/media/cdrom    (CD-ROM)",
        "..",
        "Alpha",
        "zeta",
        "A.txt",
        "b.txt",
        "Readme",  // written all in capitals: shown with small letters after the first
    };
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(entries[5].path, path(""));
    EXPECT_EQ(entries[6].path, path("files/Alpha/"));
    EXPECT_EQ(entries.back().path, path("files/README"));
    EXPECT_EQ(entries.back().size, 1000000);
}

TEST_F(FileBrowser, TheUsersOwnFoldersAreOfferedUnderTheirNamesWhenTheyExist) {
    os.mounts = {{"/", "ext4", "/dev/sda1", ""}};
    fs::create_directories(path("home/.config"));
    // As xdg-user-dirs-update writes it for a German desktop: UTF-8, shell quoting.
    write(path("home/.config/user-dirs.dirs"),
          "# This file is written by xdg-user-dirs-update\n"
          "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
          "XDG_DOWNLOAD_DIR=\"$HOME/Gel\xC3\xB6scht \\\"alt\\\"\"\n"
          "XDG_DOCUMENTS_DIR=\"" + path("docs") + "\"\n"
          "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
          "XDG_MUSIC_DIR=\"$HOME/Musik\"\n");
    for (const char* folder : {"home/Schreibtisch", "home/Gel\xC3\xB6scht \"alt\"", "docs", "home/Musik"}) {
        fs::create_directories(path(folder));
    }
    std::vector<std::string> texts, paths;
    for (const BrowserEntry& e : browser_places()) {
        texts.push_back(e.text);
        paths.push_back(e.path);
    }
    const std::vector<std::string> expected_texts = {"/", path("home") + "    (Home)", "Schreibtisch", "docs",
                                                     "Gel\xF6scht \"alt\""};
    EXPECT_EQ(texts, expected_texts) << "Pictures is not there; music is not a place";
    EXPECT_EQ(paths[2], path("home/Schreibtisch/"));
    EXPECT_EQ(paths[4], path("home/Gel\xF6scht \"alt\"/")) << "a Windows-1252 path, as every path inside";

    // Without the file the English names count, and only those that exist.
    fs::remove(path("home/.config/user-dirs.dirs"));
    fs::create_directories(path("home/Pictures"));
    EXPECT_EQ(user_folder("XDG_DESKTOP_DIR", "Desktop/"), path("home/Desktop/"));
    texts.clear();
    for (const BrowserEntry& e : browser_places()) texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"/", path("home") + "    (Home)", "Pictures"}));
}

TEST_F(FileBrowser, AFilterListsFoldersAndTheFilesOfItsTypesOnly) {
    write(path("files/car.JPG"), "j");
    write(path("files/van.png"), "p");
    write(path("files/jpg"), "no extension");
    std::vector<BrowserEntry> entries;
    ASSERT_TRUE(browser_entries(path("files/"), entries, {"jpg", "jpeg", "png"}));
    std::vector<std::string> names;
    for (const BrowserEntry& e : entries) {
        if (e.kind == BrowserEntry::Folder || e.kind == BrowserEntry::File) names.push_back(e.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "zeta", "car.JPG", "van.png"}));
}

TEST_F(FileBrowser, OkGivesTheFolderAndTheTypedName) {
    const WidgetRecord ok = widget_of(750);
    std::string folder = path("files/"), name = "old.csv";
    int result = -5;
    os.push_key(kKeyEnd, false, false);
    os.push_key(kKeyBack);
    os.push_key(kKeyBack);
    os.push_key(kKeyBack);
    os.push_text("txt");
    click(os, ok);
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("files/"));
    EXPECT_EQ(name, "old.txt");
    EXPECT_FALSE(main_window().popup_open);
    EXPECT_TRUE(main_window().screen_needs_redraw);
}

TEST_F(FileBrowser, CancelGivesBackWhatWasPassedIn) {
    const WidgetRecord cancel = widget_of(751);
    std::string folder = path("files/"), name = "keep.vcf";
    int result = -5;
    os.push_key(kKeyDown);
    os.push_key(kKeyReturn);  // opens a place
    os.push_text("zzz");
    click(os, cancel);
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folder, path("files/"));
    EXPECT_EQ(name, "keep.vcf");
}

TEST_F(FileBrowser, AMissingFolderStartsAtHomeAndEnterWalksIntoFolders) {
    const WidgetRecord ok = widget_of(750);
    std::string folder = path("nowhere/"), name;
    int result = -5;
    click(os, ok);
    BrowseForFile("Import Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("home/"));

    folder = path("files/");
    // No row is highlighted at first; five places and ".." come first,
    // then Alpha and zeta.
    for (int i = 0; i < 8; ++i) os.push_key(kKeyDown);
    os.push_key(kKeyReturn);              // into zeta
    os.push_key(kKeyEnd, false, true);    // its last entry: inner
    os.push_key(kKeyReturn);              // into inner
    click(os, ok);
    BrowseForFile("Import Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("files/zeta/inner/"));
}

TEST_F(FileBrowser, MovingOntoAFilePutsItsNameInTheFieldAndEnterTakesIt) {
    std::string folder = path("files/"), name;
    int result = -5;
    for (int i = 0; i < 10; ++i) os.push_key(kKeyDown);  // onto b.txt
    os.push_key(kKeyReturn);
    BrowseForFile("Import Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(name, "b.txt");
}

TEST_F(FileBrowser, DeletingAFolderAsksOnceAndEnterKeepsIt) {
    std::string folder = path("files/"), name;
    int result = -5;
    for (int i = 0; i < 8; ++i) os.push_key(kKeyDown);  // onto zeta
    os.push_key(kKeyDelete);
    os.push_key(kKeyReturn);  // the default answer is Cancel
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_TRUE(fs::exists(path("files/zeta")));
    bool asked = false;
    for (const auto& t : os.drawn_texts) asked = asked || t.text == "(Folder)";
    EXPECT_TRUE(asked);

    main_window().quit_requested = false;
    for (int i = 0; i < 8; ++i) os.push_key(kKeyDown);
    os.push_key(kKeyDelete);
    os.push_char('d');  // "Delete"
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_FALSE(fs::exists(path("files/zeta"))) << "the whole tree went after one confirmation";
    EXPECT_TRUE(fs::exists(path("files/Alpha")));
}

TEST_F(FileBrowser, DeletingAFileShowsItsSizeWithThousandsSeparators) {
    std::string folder = path("files/"), name;
    int result = -5;
    for (int i = 0; i < 11; ++i) os.push_key(kKeyDown);  // onto README
    os.push_key(kKeyDelete);
    os.push_key(kKeyReturn);
    BrowseForFile("Export Addresses", folder, name, result);
    bool size_shown = false;
    for (const auto& t : os.drawn_texts) size_shown = size_shown || t.text == "1,000,000 Bytes";
    EXPECT_TRUE(size_shown);
    EXPECT_TRUE(fs::exists(path("files/README")));
}

TEST_F(FileBrowser, NewFolderIsMadeInTheCurrentFolderAndBecomesCurrent) {
    const WidgetRecord button = widget_of(752);
    const WidgetRecord ok = widget_of(750);
    std::string folder = path("files/"), name;
    int result = -5;
    click(os, button);
    os.push_text("Reports 2026");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);  // the new folder is current: Enter opens it
    click(os, ok);
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_TRUE(fs::is_directory(path("files/Reports 2026")));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("files/Reports 2026/"));
}

TEST_F(FileBrowser, APopupInsideTheBrowserKeepsTheScreenBehindItDimmedOnce) {
    const WidgetRecord button = widget_of(752);
    const WidgetRecord cancel = widget_of(751);
    const std::uint32_t screen = rgb(200, 100, 50);
    FillBox(Rect{0, 0, 1600, 970}, screen);
    const std::uint32_t dimmed = [&] {
        // What one shade over the screen gives, measured on a scratch copy.
        SaveScreen();
        BlendRect(Rect{0, 0, 1, 1}, rgb(0, 0, 0), 110);
        const std::uint32_t p = os.pixel(0, 0);
        DrawSaved(Rect{0, 0, 1600, 970});
        FreeSaved();
        return p;
    }();
    ASSERT_NE(dimmed, screen);
    std::string folder = path("files/"), name;
    int result = -5;
    std::vector<std::string> seen;
    auto look = [&](const char* when) {
        os.push_call([&, when] {
            seen.push_back(std::string(when) + " " + std::to_string(os.pixel(5, 500) == dimmed) + " " +
                           std::to_string(os.saved_surfaces()));
        });
    };
    click(os, button);
    look("prompt");
    os.push_text("Reports");
    os.push_key(kKeyReturn);
    look("browser");
    click(os, button);
    os.push_key(kKeyReturn);  // a second prompt, left empty
    look("again");
    click(os, cancel);
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 0);
    const std::vector<std::string> expected = {"prompt 1 2", "browser 1 1", "again 1 1"};
    EXPECT_EQ(seen, expected) << "one image per open popup, the screen dimmed once";
    EXPECT_EQ(os.pixel(5, 500), screen) << "the screen comes back as it was";
    EXPECT_EQ(os.saved_surfaces(), 0u);
    EXPECT_EQ(saved_screens(), 0);
}

TEST_F(FileBrowser, TheMouseSetsTheCaretInTheFileNameFieldAndDraggingSelects) {
    const WidgetRecord field = widget_of(757);
    const WidgetRecord ok = widget_of(750);
    const int advance = os.measure_text(fonts().input, "x").width;
    const int y = (field.y1 + field.y2) / 2;
    auto at = [&](int boundary) { return field.x1 + 3 + boundary * advance; };
    std::string folder = path("files/"), name = "report-2025.csv";
    int result = -5;
    // Press between "report-" and "2025", drag to before ".csv", type over the selection.
    os.push_mouse_move(at(7), y);
    os.push_button_down(at(7), y);
    os.push_mouse_move(at(9), y);
    os.push_mouse_move(at(11) + 1, y);
    os.push_button_up(at(11) + 1, y);
    os.push_wait(60);
    os.push_text("2026");
    // A plain click puts the caret at the start.
    os.push_click(at(0), y);
    os.push_text("Q");
    click(os, ok);
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(name, "Qreport-2026.csv");
}

TEST_F(FileBrowser, ItOpensWithNoRowHighlightedSoEnterTakesTheTypedName) {
    std::string folder = path("files/"), name;
    int result = -5;
    int ok_framed = -1;
    os.push_call([&] { ok_framed = widgets()[static_cast<std::size_t>(FindWidget(750))].checked; });
    os.push_text("contacts.vcf");
    os.push_key(kKeyReturn);
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("files/"));
    EXPECT_EQ(name, "contacts.vcf");
    EXPECT_EQ(ok_framed, 1) << "the focus frame is on OK, which Enter presses";
    EXPECT_FALSE(main_window().quit_requested);
}

TEST_F(FileBrowser, EnterOpensTheRowMovedToUntilTheNameIsEditedAgain) {
    std::string folder = path("files/"), name;
    int result = -5;
    std::vector<int> frames;
    auto look = [&] {
        os.push_call([&] {
            // OK's focus frame, and the list's mark that it takes the keys, for whoever reads the table.
            frames.push_back(widgets()[static_cast<std::size_t>(FindWidget(750))].checked);
            frames.push_back(widgets()[static_cast<std::size_t>(FindWidget(753))].checked);
        });
    };
    for (int i = 0; i < 8; ++i) os.push_key(kKeyDown);  // onto zeta
    look();
    os.push_text("x.txt");
    look();
    os.push_key(kKeyReturn);
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("files/")) << "typing after moving gives Enter back to the name";
    EXPECT_EQ(name, "x.txt");
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 1, 0}));

    for (int i = 0; i < 8; ++i) os.push_key(kKeyDown);
    os.push_key(kKeyReturn);  // opens zeta, where no row is highlighted
    os.push_key(kKeyReturn);  // so this one is OK
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(folder, path("files/zeta/"));
    EXPECT_EQ(name, "x.txt");
}

TEST_F(FileBrowser, EscapeCancelsAndBackspaceInTheListOrAltUpGoesUp) {
    std::string folder = path("files/zeta/inner/"), name = "abcd";
    int result = -5;
    os.push_key(kKeyUp, false, false, /*alt*/ true);  // -> zeta
    os.push_key(kKeyHome);
    os.push_key(kKeyDelete);                          // the keys are the name's: it loses a letter
    os.push_key(kKeyEnd);
    os.push_key(kKeyBack);                            // and another
    os.push_key(kKeyDown);                            // the list's now
    os.push_key(kKeyBack);                            // -> files
    os.push_key(kKeyReturn, false, /*ctrl*/ true);    // OK from anywhere
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("files/"));
    EXPECT_EQ(name, "bc");
    EXPECT_TRUE(fs::exists(path("files/zeta/inner"))) << "Delete in the name field deletes no folder";

    folder = path("files/");
    name = "keep.csv";
    os.push_text("zz");
    os.push_key(kKeyEscape);
    os.push_char(27);
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(name, "keep.csv");
    EXPECT_FALSE(main_window().quit_requested) << "Escape ended it, not the script";
}

TEST_F(FileBrowser, ADoubleClickOpensAFolderAndChoosesAFileAsOkWould) {
    const WidgetRecord list = widget_of(753);
    const int row_height = std::max(22, FontHeight(fonts().input) + 4);
    auto row = [&](int i) { return list.y1 + 1 + i * row_height + row_height / 2; };
    std::string folder = path("files/"), name;
    int result = -5;
    os.push_double_click(list.x1 + 60, row(9));      // zeta
    os.push_double_click(list.x1 + 60, row(5), 20);  // "..": a quick one the event wait sees as one click
    os.push_click(list.x1 + 60, row(12));            // README, twice, slowly: still not chosen
    os.push_wait(600);
    os.push_click(list.x1 + 60, row(12));
    os.push_double_click(list.x1 + 60, row(11));     // b.txt
    BrowseForFile("Import Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("files/"));
    EXPECT_EQ(name, "b.txt");
    EXPECT_FALSE(main_window().quit_requested);
}

TEST_F(FileBrowser, ATypedFolderIsOpenedATypedPathIsTakenApartAndTheButtonsHaveMnemonics) {
    std::string folder = path("files/"), name;
    int result = -5;
    os.push_text("zeta");
    os.push_key(kKeyReturn);  // opens it and empties the field
    os.push_text(path("files/Alpha"));
    os.push_alt('o');         // OK by its letter opens a folder the same way
    os.push_text("list.csv");
    os.push_alt('o');
    BrowseForFile("Export Addresses", folder, name, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(folder, path("files/Alpha/"));
    EXPECT_EQ(name, "list.csv");
    for (int id : {752, 750, 751}) EXPECT_EQ(widgets()[static_cast<std::size_t>(FindWidget(id))].mnemonic, 1) << id;

    // A typed path to a file gives its folder and its name.
    folder = path("files/");
    name.clear();
    os.push_text("zeta/inner/../inner/deeper/x.txt");
    os.push_key(kKeyReturn);
    BrowseForFile("Import Addresses", folder, name, result);
    EXPECT_EQ(folder, path("files/zeta/inner/deeper/"));
    EXPECT_EQ(name, "x.txt");
}

TEST_F(FileBrowser, DeleteTreeRemovesEverythingBelowAndLeavesLinkedFoldersAlone) {
    fs::create_directories(path("keep/me"));
    fs::create_directories(path("tree/a/b"));
    write(path("tree/a/b/f"), "f");
    fs::create_directory_symlink(path("keep"), path("tree/link"));
    EXPECT_TRUE(DeleteTree(path("tree")));
    EXPECT_FALSE(fs::exists(path("tree")));
    EXPECT_TRUE(fs::exists(path("keep/me"))) << "a link is removed, not followed";
}

}  // namespace
}  // namespace domora
