// The address file "address10.dat" and its in-memory image and view.
//
// The file is a headerless run of record chunks:
//   0  u32  total length of the record, header included
//   4  4    "MSRI"
//   8  i32  record id
//   12 u8   live flag (1 live, 0 deleted)
//   13 u8   marks (bit 0 selected, bit 1 search)
//   14 u32  reserved, 0
//   18      the 17 field values, each ended by a zero byte
// The whole file is read into one image and written back whole; the view
// holds the offsets of the records shown under the current address mode.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "addresses/address_names.h"
#include "app/file_guard.h"
#include "app/files.h"
#include "app/result.h"

namespace domora {

inline constexpr int kAddressFieldCount = 17;

enum AddressField {
    kFieldFirst = 0,
    kFieldLast,
    kFieldCompany,
    kFieldAddress1,
    kFieldAddress2,
    kFieldCity,
    kFieldState,
    kFieldZip,
    kFieldCountry,
    kFieldHomePhone,
    kFieldWorkPhone,
    kFieldCellPhone,
    kFieldEmail,
    kFieldWebSite,
    kFieldMisc1,
    kFieldMisc2,
    kFieldMisc3,
};

// The entry form's labels, in field order.
inline constexpr const char* kAddressLabels =
    "First|Last|Company|Address 1|Address 2|City|State|Zip/Postal Code|Country|Home Phone|Work Phone|Cell Phone|"
    "Email|Web Site|Misc 1|Misc 2|Misc 3";

// Mark bits, by number (for mark / set_mark) and as masks.
inline constexpr int kSelectedBit = 0;
inline constexpr int kSearchBit = 1;
inline constexpr std::uint8_t kSelectedMark = 1;
inline constexpr std::uint8_t kSearchMark = 2;

// Address modes.
inline constexpr int kModeAll = 0;
inline constexpr int kModeSearch = 1;

inline constexpr std::size_t kAddressRecordHeaderSize = 18;
// A new record is assembled in a builder of this size, so no record is longer.
inline constexpr std::size_t kAddressRecordBuilderSize = 4096;
// Room kept beside a large image for the records added next: growing it
// moves all of it, and that took longer than the add.
inline constexpr std::size_t kAddressSpareRoom = 64 * kAddressRecordBuilderSize;

using AddressValues = std::array<std::string, kAddressFieldCount>;

struct AddressRecord {
    std::int32_t id = 0;
    bool live = false;
    std::uint8_t marks = 0;
    AddressValues fields;
};

// What append_record did with the values it was given.
struct AppendResult {
    std::uint32_t offset = 0;  // where the record now starts in the image
    std::string first;         // the First value as stored, " (n)" added when the name was taken
    bool cut = false;          // values were cut to fit the record builder
};

// The name key of the unique-name rule: First + " " + Last + " " + Company,
// outer blanks removed, lower case.
std::string address_name_key(std::string_view first, std::string_view last, std::string_view company);

// What catching up with the file found (AddressStore::catch_up).
struct FileCatchUp {
    bool reloaded = false;       // the file was read again
    bool changed_by_other = false;  // another program had written it since it was read
    std::string kept_copy;       // where the user's version went when a change could not be carried over
    std::string their_copy;      // where the other program's file went when both changed a record
    std::string read_error;      // the file is there but could not be read
};

// One record chunk built from its parts (values must fit; used by the store and tests).
std::string build_address_record(std::int32_t id, bool live, std::uint8_t marks, const AddressValues& values);

class AddressStore;

// These records' offsets in sort order: the stable sort by sort key, so
// equal keys keep the order of their offsets. progress, when given, hears
// of every record as its key is formed.
std::vector<std::uint32_t> sorted_offsets(const AddressStore& store, std::vector<std::uint32_t> offsets,
                                          const std::function<void(std::int64_t, std::int64_t)>& progress = {});

class AddressStore {
public:
    AddressStore();
    // Each waits for the worker of find_order_ahead first.
    ~AddressStore();
    AddressStore(AddressStore&& other);
    AddressStore& operator=(AddressStore&& other);

    // ---- the file ------------------------------------------------------------------------
    // Reads the address file into the image and rebuilds the view. Junk
    // between frames is left out of the image, so that the next write keeps
    // exactly the records that were shown. A missing
    // or empty file is an empty address book. A file that exists but cannot
    // be read also leaves the book empty, returns the error, and keeps write()
    // from replacing that file until a later load succeeds.
    Result<void> load();
    // Catches up with the file (catch_up), then writes the whole image,
    // atomically and owner-only.
    Result<void> write();
    // Writes another image (a sorted one) as the address file, under the
    // same rule. It was made from the image as it stands, so when another
    // program changed the file since, nothing is written and the error says
    // so (changed_meanwhile): the caller catches up and makes it again.
    Result<void> write_image(std::string_view image);
    static bool changed_meanwhile(const Error& error);
    // When the file is not the one last read or written (another program
    // replaced or rewrote it, or it was never read), reads it again and
    // carries the changes not yet written over to it by record id: an added
    // record is added again (under a new id when the file gives its id to
    // another record), an edit replaces the record with that id, a delete
    // removes it; the marks of the records on both sides stay as they were.
    // An edit of a record the other program removed cannot be carried over:
    // the whole book as it stood is then kept beside the file under a dated
    // name and the user is told, so nothing the user typed is lost and no
    // older book is written over the newer one.
    // An edit or delete of a record the other program changed too is
    // carried over, and the other program's file as it was is kept beside
    // it under a dated name, so that its version of the record is not lost
    // unseen; the user is told.
    // An image that was never read from the file has nothing to catch up with.
    FileCatchUp catch_up();
    // For a screen being entered: loads the file when it was never read (or
    // the data folder moved), else catches up with it.
    FileCatchUp refresh();
    // The id an added record ended up with after a catch-up gave it a new one.
    std::int32_t renumbered(std::int32_t id) const;
    bool read_failed() const { return m_read_failed; }
    // A form that ends in a save is open: a large book gets the file that
    // save will write made ready, and its sort order found, while the user types.
    void expect_save();

    // ---- the image -----------------------------------------------------------------------
    const std::string& image() const { return m_image; }
    std::size_t size() const { return m_image.size(); }
    // Takes a new image (the sort's) without touching the file; the view is rebuilt.
    void replace_image(std::string image);
    // The offset of the first valid record frame at or after from, or npos.
    // Bytes that do not start a frame are skipped one at a time; a frame
    // whose length is below 18 or runs past the end of the image counts as such bytes.
    std::size_t next_frame(std::size_t from) const;
    std::uint32_t length_at(std::uint32_t offset) const;
    std::int32_t id_at(std::uint32_t offset) const;
    bool live_at(std::uint32_t offset) const;
    std::uint8_t marks_at(std::uint32_t offset) const;
    void set_marks_at(std::uint32_t offset, std::uint8_t marks);
    // How many records of the image (shown or not, live or deleted) carry
    // the selected mark; counted once, then kept by every change of a mark.
    std::size_t selected_count() const;
    // Clears the selected mark of every record in the image. When the one
    // selected record is known (as after a key moved the selection), only
    // its byte is touched instead of every record's.
    void clear_selected();
    void set_live_at(std::uint32_t offset, bool live);
    // The record_fingerprint of the record's fields.
    std::uint64_t content_fingerprint(std::uint32_t offset) const;
    // The header values and the 17 fields, each read up to its zero byte and
    // never past the record's end (missing fields are empty).
    AddressRecord record_at(std::uint32_t offset) const;
    // The stored text of one field, read the same way.
    std::string_view field_at(std::uint32_t offset, int field) const;

    // Calls visit(offset) for every record frame in image order until it returns false.
    template <class Visit>
    void each_frame(Visit&& visit) const {
        if (m_order_known && m_ordered_end == m_image.size()) {
            // Every frame is known already: no need to look for them.
            for (const std::uint32_t offset : m_frames) {
                if (!visit(offset)) return;
            }
            return;
        }
        for (std::size_t at = next_frame(0); at != std::string::npos; at = next_frame(at + length_at(static_cast<std::uint32_t>(at)))) {
            if (!visit(static_cast<std::uint32_t>(at))) return;
        }
    }

    // ---- the view ------------------------------------------------------------------------
    void rebuild_view();
    int count() const { return static_cast<int>(m_items.size()); }
    // Offset of the record at a view position (the position must be valid).
    std::uint32_t item(int position) const { return m_items[static_cast<std::size_t>(position)]; }
    bool valid_position(int position) const { return position >= 0 && position < count(); }
    // The view position of the record at this offset, or -1 when the view does not show it.
    int position_of(std::uint32_t offset) const;
    int mode() const { return m_mode; }
    // Sets the mode only; callers rebuild the view.
    void set_mode_value(int mode) {
        if (mode != m_mode) m_view_current = false;
        m_mode = mode;
    }
    int current() const { return m_current; }
    void set_current(int position) { m_current = position; }

    // ---- changes -------------------------------------------------------------------------
    // Adds a record at the end of the image with a name no live record has
    // (First gets " (2)", " (3)", ... when needed) and updates the view. Zero
    // bytes end a value; values too long for the record builder are cut, the
    // longest first, so the record fits. The file is not written.
    AppendResult append_record(std::int32_t id, std::uint8_t marks, const AddressValues& values);
    // Room for count more records of bytes in all (headers included), made
    // at once: a large book taken in grows by what it takes, not by doubling.
    void reserve_appends(std::size_t count, std::size_t bytes);
    // Largest id in the view + 1; on overflow the smallest unused id from 1.
    std::int32_t new_record_id() const;

    // ---- order ---------------------------------------------------------------------------
    // For the sort. When the image was in sort order at the last sort (or,
    // after a load, turns out to be) and since then only a few records were
    // appended and any number marked deleted, puts the new records in their
    // places and drops the deleted ones, in place: the very bytes the full
    // sort gives. Returns false, having changed nothing, when the full sort
    // is needed.
    bool place_changes();
    // The record's sort key (address_sort_key of its First, Last and
    // Company), formed in a buffer the caller reuses over many records.
    std::string_view sort_key(std::uint32_t offset, std::string& buffer) const;
    // Where the last place_changes put the record with this id, while no
    // later change has moved the records.
    std::optional<std::uint32_t> placed_at(std::int32_t id) const;
    // For the full sort: writes the records at these offsets, in this order,
    // as the address file, then holds that file as the image (read back into
    // the same memory, so that the book is never held twice) and logs what a
    // load of it logs. When the file cannot be written the image in memory
    // becomes those records in that order all the same, and the error is returned.
    Result<void> write_in_order(const std::vector<std::uint32_t>& order);
    // Finds the sort order of the image as it stands on a worker thread, so
    // that the sort after the change the user is typing only places what
    // changed meanwhile. Every change of the image waits for the worker
    // first; only the marks and the deleted flags, which it never reads,
    // may change while it runs.
    void find_order_ahead();
    // For the full sort: the offsets of the live records in sort order (the
    // stable sort by sort key), when the order was found ahead and since
    // then records were only appended (a few) or marked deleted; nullopt
    // when the sort has to find it itself. What was found is used once.
    std::optional<std::vector<std::uint32_t>> take_found_order();
    // After the sorted image was written, rebuilds the view and logs what a
    // load of that file logs; the file holds exactly the image, so it is not read back.
    void finish_as_loaded();

private:
    // Writes the file from pieces, under the rule of write_image.
    Result<void> write_pieces(const std::function<std::string_view()>& next);
    Result<void> note_written(Result<void> saved, const FileIdentity& written);
    // Keeps only the whole frames of a freshly read image.
    void drop_junk();
    // The file is still the one last read or written, or the image never came from it.
    bool may_write_over() const;
    struct Carried;
    Carried carry_over(AddressStore& ours, const ChangeJournal& journal);
    std::string unique_first(const AddressValues& values);
    void build_name_keys();
    std::string name_key_at(std::uint32_t offset) const;
    void name_key_into(std::uint32_t offset, std::string& key) const;
    void verify_order();
    void forget_order();
    struct OrderCheck {
        std::string key, previous;
        bool have_previous = false;
        bool done = false;
        std::size_t expected = 0;
    };
    OrderCheck start_order_check();
    void check_order_at(OrderCheck& check, std::uint32_t offset);
    void finish_order_check(const OrderCheck& check);
    // Waits for the worker of find_order_ahead, if one runs, and keeps what it found.
    void settle_order_ahead();
    // The live records appended from this offset to the end of the image,
    // in image order; nullopt when more than a few were, or bytes there are
    // not whole records.
    std::optional<std::vector<std::uint32_t>> live_appended_since(std::size_t from) const;
    struct FoundOrder;
    struct OrderAhead;
    FoundOrder find_order() const;
    // The worker of find_order_ahead and what it found.
    struct OrderAheadSlot {
        OrderAheadSlot();
        OrderAheadSlot(OrderAheadSlot&& other);
        OrderAheadSlot& operator=(OrderAheadSlot&& other);
        ~OrderAheadSlot();
        void settle();
        std::unique_ptr<OrderAhead> ahead;
        std::unique_ptr<FoundOrder> found;
    };

    // First of the members, so that moving a store waits for its worker
    // before the image moves.
    OrderAheadSlot m_order_ahead;
    std::string m_image;
    // The file the image was read from or last written as, and the records
    // changed since, for catch_up.
    bool m_loaded = false;
    std::string m_loaded_path;
    FileIdentity m_identity;
    ChangeJournal m_journal;
    std::vector<std::pair<std::int32_t, std::int32_t>> m_renumbered;
    std::vector<std::uint32_t> m_items;
    int m_mode = kModeAll;
    int m_current = 0;
    std::int32_t m_largest_id = 0;  // over the view, kept with it
    bool m_read_failed = false;
    // Name keys of the live records, built when first needed and kept up to
    // date by every change after, so adds and long imports stay linear.
    AddressNameIndex m_names;
    bool m_name_keys_valid = false;
    // Until this many records were appended since the last sort or load the
    // names are not learnt: each append looks at every name once instead.
    // An add is sorted at once; an import goes on to learn them.
    static constexpr std::size_t kAppendsBeforeLearningNames = 4;
    std::size_t m_appends_since_sort = 0;
    // The view matches the image and the mode; rebuilding it again is not needed.
    bool m_view_current = false;
    // What the last sort left: m_frames holds the offset of every record in
    // [0, m_ordered_end), back to back, the live ones in sort order;
    // m_dead_in_order of them were marked deleted since. Records after
    // m_ordered_end were appended since. Unknown after a load until checked.
    bool m_order_known = false;
    std::size_t m_ordered_end = 0;
    std::size_t m_dead_in_order = 0;
    std::vector<std::uint32_t> m_frames;
    // The id and new offset of each record the last place_changes put in place.
    std::vector<std::pair<std::int32_t, std::uint32_t>> m_placed;
    // The count of selected records, once known; forgotten whenever records
    // move. m_selected_hint is the record that last gained the mark: while
    // the count is 1 and it still has the mark, it is the only one.
    mutable bool m_selected_known = false;
    mutable std::size_t m_selected_count = 0;
    std::uint32_t m_selected_hint = UINT32_MAX;
};

// The program's one address book.
AddressStore& address_store();

}  // namespace domora
