// What a screen reader is told about the widget table, and what its actions
// do, against the headless accessibility service.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "addresses/address_screen.h"
#include "addresses/address_screen_parts.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "platform/headless/headless_accessibility.h"
#include "ui/accessible_tree.h"
#include "ui/popups.h"
#include "ui_fixture.h"

namespace domora {
namespace {

using Role = AccessibleRole;
using Change = AccessibleChange;

class Accessible : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_accessibility_service(&reader);
        forget_accessible_tree();
    }
    void TearDown() override {
        forget_accessible_tree();
        set_accessibility_service(nullptr);
        UiTest::TearDown();
    }
    // Turns of the event wait for queued actions: each turn takes one, and a
    // click ends when its release timer has run.
    void turns(int n) {
        for (int i = 0; i < n; ++i) {
            os.push(EventKind::Wake);
            os.push_wait(60);
        }
    }
    // Children of a node of the newest description, by index.
    std::vector<const AccessibleNode*> children_of(const AccessibleNode* parent) const {
        std::vector<const AccessibleNode*> out;
        const AccessibleTree& tree = reader.tree();
        const int at = parent ? tree.index_of(parent->key) : -1;
        for (const AccessibleNode& n : tree.nodes) {
            if (n.parent == at) out.push_back(&n);
        }
        return out;
    }
    HeadlessAccessibility reader;
};

// ---- the Addresses screen ------------------------------------------------------------------------

class AddressScreen : public Accessible {
protected:
    void SetUp() override {
        Accessible::SetUp();
        app_paths().address_file = path("address10.dat");
        status_log_set_path(path("status.log"));
        address_store() = AddressStore{};
        address_list_state() = ListState{};
    }
    void people(const std::vector<std::pair<std::string, std::string>>& first_last) {
        std::string file;
        std::int32_t id = 1;
        for (const auto& [first, last] : first_last) {
            AddressValues v;
            v[kFieldFirst] = first;
            v[kFieldLast] = last;
            file += build_address_record(id++, true, 0, v);
        }
        write(path("address10.dat"), file);
    }
    void run() {
        main_window().quit_requested = false;
        main_window().current_screen = kScreenAddresses;
        input() = InputState{};
        address_screen();
    }
};

TEST_F(AddressScreen, TheScreenIsAFrameWithItsTabsButtonsAndTheListAsATable) {
    people({{"Ann", "Baker"}, {"Ben", "Cole"}, {"", ""}});
    run();
    const AccessibleTree& tree = reader.tree();
    EXPECT_EQ(tree.window_name, kProductName);

    const auto tab_lists = reader.nodes(Role::PageTabList);
    ASSERT_EQ(tab_lists.size(), 1u);
    std::vector<std::string> tabs;
    for (const AccessibleNode* tab : children_of(tab_lists[0])) {
        EXPECT_EQ(tab->role, Role::PageTab);
        tabs.push_back(tab->name + ((tab->states & kAccessibleSelected) ? "*" : ""));
    }
    EXPECT_EQ(tabs, (std::vector<std::string>{"Addresses*", "Passwords", "Vehicles", "Options", "About"}));

    for (const char* caption : {"Find", "Print", "Map", "Add", "Edit", "Delete", "Import", "Export"}) {
        const AccessibleNode* button = reader.node(Role::PushButton, caption);
        ASSERT_NE(button, nullptr) << caption;
        EXPECT_EQ(button->actions, kAccessiblePress);
    }
    // The arrows drawn as bitmaps get names; the switches are buttons named
    // by their captions, which are not heard a second time as labels.
    EXPECT_NE(reader.node(Role::PushButton, "Scroll Up"), nullptr);
    const AccessibleNode* all = reader.node(Role::PushButton, "All Addresses");
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->description, "3 records");
    EXPECT_EQ(reader.node(Role::Label, "All Addresses"), nullptr);
    const AccessibleNode* select_all = reader.node(Role::CheckBox, "Select All");
    ASSERT_NE(select_all, nullptr);
    EXPECT_TRUE(select_all->states & kAccessibleCheckable);

    const AccessibleNode* list = reader.node(Role::Table, "Addresses");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->columns, (std::vector<std::string>{"Last", "First"}));
    ASSERT_EQ(list->rows.size(), 3u);
    // The rows come from the records, the current one checked as the screen marks it.
    EXPECT_EQ(list->rows[0].cells, (std::vector<std::string>{"Baker", "Ann"}));
    EXPECT_EQ(list->rows[1].cells, (std::vector<std::string>{"Cole", "Ben"}));
    EXPECT_EQ(list->current_row, 0);
    EXPECT_TRUE(list->rows[0].checked);
    EXPECT_FALSE(list->rows[1].checked);
    EXPECT_GT(list->rows[1].bounds.top, list->rows[0].bounds.top);
    // With no popup and no field, the keys go to the list.
    ASSERT_GE(tree.focus, 0);
    EXPECT_EQ(tree.nodes[static_cast<std::size_t>(tree.focus)].key, list->key);
}

TEST_F(AddressScreen, AnAddressIsAddedThroughTheClientsActionsAlone) {
    people({{"Ann", "Baker"}});
    os.push_call([&] { reader.press(*reader.node(Role::PushButton, "Add")); });
    turns(3);
    os.push_call([&] {
        const auto dialogs = reader.nodes(Role::Dialog);
        ASSERT_EQ(dialogs.size(), 1u);
        const auto fields = reader.nodes(Role::Text);
        ASSERT_EQ(fields.size(), static_cast<std::size_t>(kAddressFieldCount));
        EXPECT_EQ(fields[0]->parent, reader.tree().index_of(dialogs[0]->key));
        reader.set_text(*fields[0], "Zelda");
        reader.set_text(*fields[1], "Ames");  // not the focused field: a click gives it the focus first
        reader.press(*reader.node(Role::PushButton, "Save"));
    });
    turns(12);
    run();
    const AddressStore& store = address_store();
    ASSERT_EQ(store.count(), 2);
    const AddressRecord added = store.record_at(store.item(0));
    EXPECT_EQ(added.fields[kFieldFirst], "Zelda");
    EXPECT_EQ(added.fields[kFieldLast], "Ames");
    EXPECT_NE(read(path("address10.dat")).find(std::string("Zelda") + '\0' + "Ames" + '\0'), std::string::npos);
    // The form came and went as a dialog.
    ASSERT_FALSE(reader.trees.empty());
    EXPECT_TRUE(reader.nodes(Role::Dialog).empty());
    const auto opened = std::count_if(reader.changes.begin(), reader.changes.end(),
                                      [](const Change& c) { return c.kind == Change::DialogOpened; });
    const auto closed = std::count_if(reader.changes.begin(), reader.changes.end(),
                                      [](const Change& c) { return c.kind == Change::DialogClosed; });
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
}

TEST_F(AddressScreen, ActivatingARowMakesItCurrentAndATabSwitchesTheScreen) {
    people({{"Ann", "Baker"}, {"Ben", "Cole"}, {"Cy", "Dunn"}});
    std::uint32_t list_key = 0;
    os.push_call([&] {
        const AccessibleNode* list = reader.node(Role::Table, "Addresses");
        list_key = list->key;
        reader.activate(*list, 2);
    });
    turns(3);
    os.push_call([&] {
        const AccessibleNode* list = reader.node(Role::Table, "Addresses");
        EXPECT_EQ(list->key, list_key) << "the list keeps its key through the rebuild";
        EXPECT_EQ(list->current_row, 2);
        EXPECT_GE(reader.count(Change::CurrentRow, list_key), 1);
        EXPECT_GE(reader.count(Change::Focus, list_key), 1) << "the focused list's new row is announced";
        reader.activate(*list, 7);  // no such row: nothing happens
        reader.press(*reader.node(Role::PageTab, "About"));
    });
    turns(3);
    run();
    EXPECT_EQ(address_store().current(), 2);
    EXPECT_EQ(main_window().current_screen, kScreenAbout);
}

TEST_F(AddressScreen, NothingIsDescribedOrTakenWhileNoClientListens) {
    people({{"Ann", "Baker"}});
    reader.client_listening = false;
    reader.actions.push_back({AccessibleAction::Press, 1, -1, {}});
    run();
    EXPECT_TRUE(reader.trees.empty());
    EXPECT_EQ(reader.actions.size(), 1u) << "the action waits for a listener";
    // A client that starts listening later is told the whole screen.
    reader.client_listening = true;
    reader.actions.clear();
    run();
    ASSERT_FALSE(reader.trees.empty());
    EXPECT_NE(reader.node(Role::Table, "Addresses"), nullptr);
}

// ---- popups ------------------------------------------------------------------------------------------

TEST_F(Accessible, AFormIsADialogWhoseFieldsTellTheirLabelTextAndCaret) {
    clear_field_buffer();
    set_field_text(1, "Oak Street");
    os.push_text("Ann");
    os.push_key(kKeyLeft);
    os.push_call([&] {
        const AccessibleNode* dialog = reader.node(Role::Dialog, "New Address");
        ASSERT_NE(dialog, nullptr) << "named by its first message line";
        const auto fields = reader.nodes(Role::Text);
        ASSERT_EQ(fields.size(), 2u);
        EXPECT_EQ(fields[0]->name, "Name:");
        EXPECT_EQ(fields[0]->value, "Ann");
        EXPECT_EQ(fields[0]->caret, 2);
        EXPECT_TRUE(fields[0]->states & kAccessibleFocused);
        EXPECT_EQ(fields[1]->name, "Street:");
        EXPECT_EQ(fields[1]->value, "Oak Street");
        EXPECT_FALSE(fields[1]->states & kAccessibleFocused);
        EXPECT_EQ(reader.count(Change::Value, fields[0]->key), 3) << "one change per typed character";
        EXPECT_GE(reader.count(Change::Caret, fields[0]->key), 4);
        EXPECT_EQ(reader.count(Change::Value, fields[1]->key), 0);
        const AccessibleNode* save = reader.node(Role::PushButton, "Save");
        ASSERT_NE(save, nullptr);
        EXPECT_FALSE(save->states & kAccessibleDefault) << "Enter moves on to the next field here, not to Save";
    });
    os.push_key(kKeyEscape);  // empties the field, keeps the form
    os.push_call([&] { EXPECT_EQ(reader.nodes(Role::Text)[0]->value, ""); });
    int result = 0;
    ShowPopup("New Address|Fill in what you know", "Name:|Street:", 1, "Save|Cancel", 30 + 100, result);
}

TEST_F(Accessible, ASecretFieldNeverGivesOutItsCharacters) {
    clear_field_buffer();
    set_field_secret(0);
    os.push_text("hunter2");
    os.push_call([&] {
        const auto secrets = reader.nodes(Role::PasswordText);
        ASSERT_EQ(secrets.size(), 1u);
        EXPECT_EQ(secrets[0]->value, std::string(7, '\x95'));
        EXPECT_EQ(secrets[0]->caret, 7);
        EXPECT_TRUE(reader.nodes(Role::Text).empty());
        // Nowhere in anything the reader was given.
        for (const auto& tree : reader.trees) {
            for (const AccessibleNode& n : tree->nodes) {
                EXPECT_EQ(n.value.find("hunter"), std::string::npos);
                EXPECT_EQ(n.name.find("hunter"), std::string::npos);
            }
        }
        // A client may still replace it, as a user may type it.
        reader.set_text(*secrets[0], "swordfish");
    });
    turns(2);
    os.push_key(kKeyReturn);
    int result = 0;
    ShowPopup("Please Enter Your Master Password", "", 1, "OK|Cancel", 30 + 100, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(field_text(0), "swordfish");
}

TEST_F(Accessible, AOneButtonMessageIsAnAlertAndAQuestionADialogWithItsDefault) {
    os.push_call([&] {
        const auto alerts = reader.nodes(Role::Alert);
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0]->name, "The file could not be read.");
        EXPECT_EQ(alerts[0]->description, "The file could not be read. Nothing was changed.");
        EXPECT_GE(reader.count(Change::DialogOpened, alerts[0]->key), 1);
        // The button Enter presses has the focus.
        const AccessibleTree& tree = reader.tree();
        ASSERT_GE(tree.focus, 0);
        EXPECT_EQ(tree.nodes[static_cast<std::size_t>(tree.focus)].name, "OK");
        reader.press(*reader.node(Role::PushButton, "OK"));
    });
    turns(3);
    int result = 0;
    ShowPopup("The file could not be read.||Nothing was changed.", "", 1, "OK", 0, result);
    EXPECT_EQ(result, 1);

    os.push_call([&] {
        EXPECT_TRUE(reader.nodes(Role::Alert).empty());
        const AccessibleNode* question = reader.node(Role::Dialog, "Delete this password?");
        ASSERT_NE(question, nullptr);
        const AccessibleTree& tree = reader.tree();
        EXPECT_EQ(tree.nodes[static_cast<std::size_t>(tree.focus)].name, "No") << "the destructive question's default";
        reader.press(*reader.node(Role::PushButton, "Yes"));
    });
    turns(3);
    ShowPopup("Delete this password?||Bank", "", 2, "Yes|No", 0, result);
    EXPECT_EQ(result, 1);
}

TEST_F(Accessible, AListPickerIsATableWhoseActivatedRowIsChosen) {
    popup_list().lines = {"|Fruit", "Apple", "Banana", "Cherry"};
    os.push_call([&] {
        const auto tables = reader.nodes(Role::Table);
        ASSERT_EQ(tables.size(), 1u);
        ASSERT_EQ(tables[0]->rows.size(), 4u);
        EXPECT_EQ(tables[0]->rows[0].cells[0], "Fruit") << "a heading without its bar";
        EXPECT_EQ(tables[0]->rows[2].cells[0], "Banana");
        EXPECT_TRUE(reader.nodes(Role::Dialog).empty()) << "a drop-down list, not a dialog";
        reader.activate(*tables[0], 2);
    });
    turns(4);
    int result = -2;
    PickFromList(200, 200, 150, 0, 0, result);
    EXPECT_EQ(result, 2);
}

TEST_F(Accessible, StaleAndUnfitActionsAreDropped) {
    os.push_call([&] {
        reader.actions.push_back({AccessibleAction::Press, 999999, -1, {}});         // no such node
        reader.press(*reader.node(Role::Label, "Choose one"));                        // a label does nothing
        reader.set_text(*reader.node(Role::PushButton, "Cancel"), "text");            // a button takes no text
        reader.press(*reader.node(Role::PushButton, "Cancel"));
    });
    turns(8);
    int result = 0;
    ShowPopup("Choose one", "", 1, "OK|Cancel", 0, result);
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(reader.actions.empty());
}

}  // namespace
}  // namespace domora
