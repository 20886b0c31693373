// Service reminders: the file and what a damaged one gives, when a reminder
// is due by date, by distance or by both, moving a repeating one on when its
// service is recorded, the notice at start, the Vehicles screen's line, and
// the reminders across a backup and a restore.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/backup.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "shell/shell.h"
#include "ui/chart.h"
#include "ui/popups.h"
#include "vehicle_fixtures.h"
#include "vehicle_ui_fixture.h"
#include "vehicles/reminders.h"
#include "vehicles/vehicle_forms.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_screen.h"

namespace domora {
namespace {

Reminder reminder(std::int32_t id, const std::string& text, int y, int m, int d, std::int32_t odometer = 0, int months = 0,
                  std::int32_t distance = 0) {
    Reminder r;
    r.id = id;
    r.vehicle_id = 1;
    r.text = text;
    r.due_year = y, r.due_month = m, r.due_day = d;
    r.due_odometer = odometer;
    r.repeat_months = months;
    r.repeat_distance = distance;
    return r;
}

struct NoProgress : CopyProgress {
    void step(int, int) override {}
};

class Reminders : public test::VehicleUiTest {
protected:
    void SetUp() override {
        VehicleUiTest::SetUp();
        os.us_measurement = false;
        os.now = UtcTime{2024, 3, 7, 12, 0, 0, 0};
    }
    // The vehicle at 45,000 km, its latest record the service at that reading.
    void load_car() {
        write(path("vehicle11.dat"), test::vehicle_chunk(1, "Honda") + test::fuel_chunk(1, 2, 1, false, 4000000, 4450000) +
                                         test::service_chunk(1, 3, 2, 4500000, 50000, "Wash"));
        enter_vehicle_manager(m());
    }
    void keep(const std::vector<Reminder>& reminders) {
        ReminderFile file;
        file.reminders = reminders;
        ASSERT_TRUE(save_reminders(path("reminders.dat"), file));
    }
    const WidgetRecord* label(const std::string& text) const {
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.kind == kKindLabel && w.text == text) return &w;
        }
        return nullptr;
    }
    int today() const { return day_number(2024, 3, 7); }
};

TEST_F(Reminders, TheFileKeepsWhatItCannotReadOutAndCountsIt) {
    const std::vector<Reminder> kept = {reminder(1, "Oil change", 2024, 9, 1, 4500000, 6, 1000000),
                                        reminder(2, "T\xFCV", 0, 0, 0, 5000000)};
    keep(kept);
    EXPECT_EQ(mode_of(path("reminders.dat")), 0600u);
    const ReminderFile read_back = load_reminders(path("reminders.dat"));
    EXPECT_EQ(read_back.reminders, kept);
    EXPECT_EQ(read_back.damaged, 0);
    EXPECT_EQ(load_reminders(path("none.dat")).reminders.size(), 0u) << "no file is no reminders";

    // Junk, a day that does not exist, a chunk of a later kind and one cut off at the end.
    const ReminderFile damaged = load_reminders(std::string(DOMORA_TEST_DATA_DIR) + "/reminders_damaged.dat");
    ASSERT_EQ(damaged.reminders.size(), 2u);
    EXPECT_EQ(damaged.reminders[0].text, "Oil change");
    EXPECT_EQ(damaged.reminders[1].text, "T\xFCv");
    EXPECT_EQ(damaged.reminders[1].vehicle_id, 2);
    EXPECT_EQ(damaged.damaged, 3);
    ASSERT_EQ(damaged.other_chunks.size(), 1u);
    EXPECT_EQ(encode_reminders(damaged).size(), encode_reminder(damaged.reminders[0]).size() +
                                                    encode_reminder(damaged.reminders[1]).size() + damaged.other_chunks[0].size())
        << "the unknown chunk is written back as it came";
    for (std::size_t cut = 0; cut < encode_reminders(read_back).size(); ++cut) {
        const ReminderFile part = parse_reminders(encode_reminders(read_back).substr(0, cut));
        EXPECT_LE(part.reminders.size(), 2u);
        EXPECT_EQ(part.damaged > 0, cut != 0 && cut != encode_reminder(kept[0]).size()) << cut;
    }
}

TEST_F(Reminders, DueByDateByDistanceAndByWhicheverComesFirst) {
    const std::int64_t at = 4500000;  // 45,000 km
    struct Case {
        Reminder r;
        bool miles;
        ReminderState state;
    };
    const Case cases[] = {
        {reminder(1, "Date, months off", 2024, 6, 1), false, ReminderState::Later},
        {reminder(1, "Date, in 30 days", 2024, 4, 6), false, ReminderState::Soon},
        {reminder(1, "Date, today", 2024, 3, 7), false, ReminderState::Soon},
        {reminder(1, "Date, yesterday", 2024, 3, 6), false, ReminderState::Overdue},
        {reminder(1, "Distance, 600 km off", 0, 0, 0, 4560000), false, ReminderState::Later},
        {reminder(1, "Distance, 500 km off", 0, 0, 0, 4550000), false, ReminderState::Soon},
        {reminder(1, "Distance, 500 km in miles", 0, 0, 0, 4550000), true, ReminderState::Later},
        {reminder(1, "Distance, 300 mi in miles", 0, 0, 0, 4548280), true, ReminderState::Soon},
        {reminder(1, "Distance, reached", 0, 0, 0, 4500000), false, ReminderState::Soon},
        {reminder(1, "Distance, passed", 0, 0, 0, 4499999), false, ReminderState::Overdue},
        {reminder(1, "Both, the distance passed", 2024, 9, 1, 4400000), false, ReminderState::Overdue},
        {reminder(1, "Both, the date near", 2024, 3, 20, 9000000), false, ReminderState::Soon},
    };
    for (const Case& c : cases) EXPECT_EQ(reminder_due(c.r, today(), at, c.miles).state, c.state) << c.r.text;
    // With no reading known a due odometer says nothing yet.
    EXPECT_EQ(reminder_due(reminder(1, "", 0, 0, 0, 100), today(), 0, false).state, ReminderState::Later);

    load_car();
    keep({reminder(1, "Later", 2024, 12, 1), reminder(2, "Soon", 2024, 3, 30), reminder(3, "Overdue", 0, 0, 0, 4400000),
          reminder(4, "Another car's", 2020, 1, 1)});
    vehicle_manager().reminders_loaded = false;
    ReminderFile& file = reminders_of(m());
    file.reminders[3].vehicle_id = 2;
    const Reminder* next = next_reminder(file, 1, m().store, today());
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->text, "Overdue");
    EXPECT_EQ(reminder_text(*next), "Overdue - due at 44,000 km");
    EXPECT_EQ(reminder_line(reminder(1, "Oil", 2024, 9, 1, 5500000, 6, 1000000)),
              "Oil - due Sep 1, 2024 or at 55,000 km - every 6 months or 10,000 km");
    EXPECT_EQ(next_reminder(file, 7, m().store, today()), nullptr);
}

TEST_F(Reminders, TheScreenShowsTheNextOneInTheColourOfItsUrgency) {
    load_car();
    main_window().current_screen = kScreenVehicles;
    vehicle_screen();
    ASSERT_NE(label("Next Reminder:  "), nullptr);
    ASSERT_NE(label("None"), nullptr);

    // A damaged file is told on entering, and the screen is drawn whole after it.
    write(path("reminders.dat"), read(std::string(DOMORA_TEST_DATA_DIR) + "/reminders_damaged.dat"));
    m().reminders_loaded = false;
    again();
    install_popup_messages();
    os.push_key(kKeyReturn);
    vehicle_screen();
    set_message_handler(nullptr);
    EXPECT_TRUE(drawn("3 reminders are damaged and have been skipped"));
    ASSERT_NE(label("Next Reminder:  "), nullptr);
    EXPECT_NE(label("Oil change - due Sep 1, 2024 or at 45,000 km"), nullptr);

    keep({reminder(1, "Tyres", 2024, 3, 30)});
    m().reminders_loaded = false;
    again();
    vehicle_screen();
    ASSERT_NE(label("Tyres - due Mar 30, 2024"), nullptr);
    const std::uint32_t soon = label("Tyres - due Mar 30, 2024")->colour1;
    keep({reminder(1, "Tyres", 2024, 3, 1)});
    m().reminders_loaded = false;
    again();
    vehicle_screen();
    ASSERT_NE(label("Tyres - due Mar 1, 2024 (overdue)"), nullptr);
    const std::uint32_t overdue = label("Tyres - due Mar 1, 2024 (overdue)")->colour1;
    EXPECT_NE(soon, overdue);
    EXPECT_NE(soon, rgb(255, 255, 255)) << "neither is the plain white of a reminder not yet near";
    EXPECT_NE(overdue, rgb(255, 255, 255));
}

TEST_F(Reminders, AServiceRecordedMovesARepeatingReminderOnWhenTheUserSaysSo) {
    // From a service on January 31: a month on is the last day of February.
    EXPECT_EQ(moved_on(reminder(1, "Oil", 2024, 1, 31, 0, 1, 0), 2024, 1, 31, 0), reminder(1, "Oil", 2024, 2, 29, 0, 1, 0));
    // What repeats moves on from the service; what does not is done with.
    EXPECT_EQ(moved_on(reminder(1, "Oil", 2024, 3, 1, 4400000, 0, 1000000), 2024, 3, 5, 4500000),
              reminder(1, "Oil", 0, 0, 0, 5500000, 0, 1000000));

    load_car();
    keep({reminder(1, "Oil change", 2024, 3, 1, 4400000, 6, 1000000), reminder(2, "Brakes", 2025, 1, 1, 0, 12, 0),
          reminder(3, "Oil change", 2024, 1, 1)});  // does not repeat: left alone
    const auto add_service = [&](const std::string& what, bool yes) {
        for (const std::string& value : {std::string("2024/03/05"), std::string("45,600"), what, std::string("79.90")}) {
            os.push_key(kKeyEscape);
            os.push_text(value);
            os.push_key(value == "79.90" ? kKeyReturn : kKeyTab);
        }
        os.push_key(yes ? kKeyReturn : kKeyEscape);  // Yes is the default
        add_maintenance_record(m());
        again();
    };
    add_service("OIL CHANGE and new filter", false);
    EXPECT_TRUE(drawn("Move the reminder \"Oil change\" on?"));
    EXPECT_TRUE(drawn("Next due Sep 5, 2024 or at 55,600 km"));
    EXPECT_EQ(load_reminders(path("reminders.dat")).reminders[0].due_month, 3) << "No leaves it";
    add_service("Oil change", true);
    const ReminderFile file = load_reminders(path("reminders.dat"));
    EXPECT_EQ(file.reminders[0], reminder(1, "Oil change", 2024, 9, 5, 5560000, 6, 1000000));
    EXPECT_EQ(file.reminders[1], reminder(2, "Brakes", 2025, 1, 1, 0, 12, 0));
    EXPECT_EQ(file.reminders[2], reminder(3, "Oil change", 2024, 1, 1));
}

TEST_F(Reminders, RemindersAreAddedThroughTheFormWhichSaysWhatIsMissing) {
    load_car();
    os.push_key(kKeyReturn);  // Add
    // Return goes from field to field and saves from the last one.
    const auto on = [&](int fields) {
        for (int i = 0; i < fields; ++i) os.push_key(kKeyReturn);
    };
    os.push_text("Timing belt");
    on(5);  // neither a date nor an odometer
    on(1);
    os.push_text("2024/02/30");
    on(4);  // no such day
    on(1);
    os.push_key(kKeyEscape);
    os.push_text("2026/03/01");
    on(1);
    os.push_text("150,000");
    on(1);
    os.push_text("48");
    on(2);
    os.push_key(kKeyEscape);  // Close the list
    manage_reminders(m());
    EXPECT_TRUE(drawn("** Please enter a due date, a due odometer or both **"));
    EXPECT_TRUE(drawn("** Please enter the date in the format YYYY/MM/DD **"));
    const ReminderFile file = load_reminders(path("reminders.dat"));
    ASSERT_EQ(file.reminders.size(), 1u);
    EXPECT_EQ(file.reminders[0], reminder(1, "Timing belt", 2026, 3, 1, 15000000, 48, 0));
    EXPECT_TRUE(drawn("Timing belt - due Mar 1, 2026 or at 150,000 km - every 48 months"));
}

TEST_F(Reminders, ADeletedVehiclesRemindersGoWithItAndNoNewOneInheritsThem) {
    write(path("vehicle11.dat"), test::vehicle_chunk(1, "Honda") + test::vehicle_chunk(2, "Volvo", "", "V70"));
    enter_vehicle_manager(m());
    std::vector<Reminder> kept = {reminder(1, "Oil change", 2024, 9, 1), reminder(2, "Wipers", 2024, 12, 1)};
    kept[1].vehicle_id = 2;
    keep(kept);
    m().store.select_vehicle(2);
    m().store.set_current_vehicle_id(2);
    os.push_text("yes");
    os.push_key(kKeyReturn);
    delete_vehicle(m());
    EXPECT_EQ(load_reminders(path("reminders.dat")).reminders, std::vector<Reminder>{kept[0]});
    // The next vehicle added gets id 2 again, and no reminders.
    EXPECT_EQ(m().store.new_ids().vehicle_id, 2);
}

TEST_F(Reminders, TheStartSaysOnceWhatIsOverdueAndTheyComeBackWithARestore) {
    write(path("vehicle11.dat"), test::vehicle_chunk(1, "Honda") + test::vehicle_chunk(2, "Volvo", "", "V70") +
                                     test::service_chunk(1, 3, 2, 4500000, 50000, "Wash"));
    std::vector<Reminder> kept = {reminder(1, "Oil change", 2024, 3, 1), reminder(2, "Wipers", 2024, 12, 1),
                                  reminder(3, "Tyres", 0, 0, 0, 3000000)};
    kept[2].vehicle_id = 2;  // the Volvo has no readings: not overdue by distance
    keep(kept);
    os.push_key(kKeyReturn);
    announce_overdue_reminders();
    EXPECT_TRUE(drawn("This reminder is overdue:"));
    EXPECT_TRUE(drawn("2020 Honda Civic: Oil change - due Mar 1, 2024"));
    EXPECT_FALSE(drawn("2020 Volvo V70: Tyres - due at 30,000 km"));
    EXPECT_EQ(overdue_notice(reminders_of(m()), m().store, day_number(2024, 2, 1)), "");

    // Backed up, then lost, then restored: the same reminders, due as before.
    std::filesystem::create_directories(path("usb"));
    NoProgress progress;
    ASSERT_TRUE(back_up_files(path("usb/Domora/"), progress).ok());
    keep({});
    forget_restored_data();
    EXPECT_TRUE(reminders_of(m()).reminders.empty());
    ASSERT_TRUE(restore_files(path("usb/Domora/"), progress).ok());
    forget_restored_data();
    enter_vehicle_manager(m());
    EXPECT_EQ(reminders_of(m()).reminders, kept);
    const Reminder* next = next_reminder(reminders_of(m()), 1, m().store, today());
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(reminder_due(*next, today(), vehicle_odometer(m().store, 1), false).state, ReminderState::Overdue);
}

}  // namespace
}  // namespace domora
