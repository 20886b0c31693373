// A vCard import leaves exactly the same address file and status log as the
// importer always did, however its inside is made faster: other programs'
// files and random cards full of escapes, folds, quoted-printable text,
// groups, odd types and names that collide, imported into a book that
// already holds records. The figures below are checksums of the bytes the
// importer wrote before it was reworked for speed.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "addresses/address_exchange.h"
#include "addresses/address_list.h"
#include "addresses/address_store.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "support.h"

namespace domora {
namespace {

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string pick(std::mt19937& random, std::initializer_list<const char*> choices) {
    return *(choices.begin() + random() % choices.size());
}

// A value with the things a parser can get wrong: blanks around it, escapes,
// line breaks, separators, Windows-1252 letters, now and then a long run.
std::string random_value(std::mt19937& random) {
    std::string out;
    const int pieces = static_cast<int>(random() % 5);
    for (int i = 0; i < pieces; ++i) {
        out += pick(random, {"Ann", "Lee", " ", "  ", "\\,", "\\;", "\\n", "\\N", "\\\\", "\\:", "\\\"", "\\x", ",", ";",
                             "=0D=0A", "M\xFCller", "|", ":", "tel:", "+1-", "PREF", "x", "\t", "=", "\"q\""});
    }
    if (random() % 40 == 0) out += std::string(300 + random() % 900, static_cast<char>('a' + random() % 26));
    return out;
}

std::string random_types(std::mt19937& random) {
    std::string out;
    const int count = static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
        out += pick(random, {";TYPE=WORK", ";TYPE=home", ";type=CELL,VOICE", ";PREF", ";PREF=1", ";TYPE=INTERNET", ";FAX",
                             ";TYPE=\"work,voice\"", ";X-ODD=a:b", ";VALUE=uri", ";CHARSET=UTF-8", ";AOL", ";HOME", ";MSG"});
    }
    return out;
}

std::string random_line(std::mt19937& random) {
    const std::string group = random() % 6 == 0 ? pick(random, {"item1.", "item2.", "WORK.", " item3."}) : "";
    switch (random() % 16) {
        case 0: return group + "N" + random_types(random) + ":" + random_value(random) + ";" + random_value(random) + ";" +
                       random_value(random) + ";;";
        case 1: return group + "FN:" + random_value(random);
        case 2: return group + "ORG:" + random_value(random) + ";" + random_value(random);
        case 3: return group + "EMAIL" + random_types(random) + ":" + random_value(random) + "@example.org";
        case 4: return group + "TEL" + random_types(random) + ":" + random_value(random) + "555 0100" + random_value(random);
        case 5: return group + "ADR" + random_types(random) + ":" + random_value(random) + ";" + random_value(random) + ";" +
                       random_value(random) + ";" + random_value(random) + ";" + random_value(random) + ";" +
                       random_value(random) + ";" + random_value(random);
        case 6: return group + "NOTE" + random_types(random) + ":" + random_value(random);
        case 7: return "BDAY" + random_types(random) + ":" + random_value(random);
        case 8: return group + "URL" + random_types(random) + ":http\\://" + random_value(random);
        case 9: return "NOTE;ENCODING=QUOTED-PRINTABLE:Line=0D=0Aone=3D=C3=BC=\r\n two " + random_value(random);
        case 10: return " folded " + random_value(random);
        case 11: return "\tfolded " + random_value(random);
        case 12: return random_value(random);
        case 13: return "TEL;TYPE=WORK;VALUE=uri:tel:+1-555-0199;ext=" + std::to_string(random() % 1000);
        case 14: return "VERSION:" + pick(random, {"2.1", "3.0", "4.0"});
        default: return "  " + pick(random, {"X-FOO", "PHOTO", "Item1.tel", "email", "Adr"}) + random_types(random) + ":" +
                        random_value(random) + "  ";
    }
}

std::string random_cards(std::uint32_t seed, int cards) {
    std::mt19937 random(seed);
    std::string text;
    for (int c = 0; c < cards; ++c) {
        const std::string end = pick(random, {"\r\n", "\r\n", "\n", "\r"});
        if (random() % 30 != 0) text += "BEGIN:VCARD" + end;
        // Colliding names make the unique-name rule add suffixes.
        if (random() % 3 == 0) text += "N:Lee;Ann;;;" + end;
        const int lines = static_cast<int>(random() % 12);
        for (int i = 0; i < lines; ++i) text += random_line(random) + end;
        if (random() % 30 != 0) text += pick(random, {"END:VCARD", "end:vcard", " END:VCARD "}) + end;
    }
    return text;
}

class ImportBytes : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        status_log_set_path(path("status.log"));
        app_paths().address_file = path("address10.dat");
    }

    // Imports the text into a book of a few records, as the Import button
    // does from there on; the checksums of the log and the address file.
    std::pair<std::uint64_t, std::uint64_t> import(const std::string& text) {
        std::filesystem::remove(path("status.log"));
        AddressStore store;
        AddressValues v;
        v[kFieldFirst] = "Ann";
        v[kFieldLast] = "Lee";
        (void)store.append_record(store.new_record_id(), 0, v);
        v[kFieldFirst] = "Zed";
        (void)store.append_record(store.new_record_id(), kSearchMark, v);
        EXPECT_TRUE(sort_addresses(store).ok());
        write(path("cards.vcf"), text);
        std::int32_t last_id = 0;
        main_window().quit_requested = false;
        (void)import_vcard_file(store, path("cards.vcf"), last_id);
        (void)sort_addresses(store);
        return {fnv1a(read(path("status.log"))), fnv1a(read(path("address10.dat")))};
    }
};

TEST_F(ImportBytes, OtherProgramsFilesGiveTheSameFileAndLog) {
    const std::pair<const char*, std::pair<std::uint64_t, std::uint64_t>> expected[] = {
        {"John_Doe_ANDROID.vcf", {7283957368517120566u, 4848634762273147565u}},
        {"John_Doe_BLACK_BERRY.vcf", {2975941601044448206u, 14142470650479468581u}},
        {"John_Doe_EVOLUTION.vcf", {11403904861454815637u, 9358971208680810112u}},
        {"John_Doe_GMAIL.vcf", {1096407671370769218u, 14597338204159618624u}},
        {"John_Doe_IPHONE.vcf", {15749434951207083337u, 9727725137791642918u}},
        {"John_Doe_LOTUS_NOTES.vcf", {6945924292376496459u, 1968882288233847378u}},
        {"John_Doe_MAC_ADDRESS_BOOK.vcf", {5428061961781094995u, 12624312992227854674u}},
        {"John_Doe_MS_OUTLOOK.vcf", {7452489196862177088u, 6820711263133606188u}},
        {"fullcontact.vcf", {16880747889188814743u, 14589383032136750282u}},
        {"gmail-list.vcf", {9531748970795062622u, 14342916676413713296u}},
        {"gmail-single.vcf", {468701462745439310u, 15868991981573953274u}},
        {"gmail-single2.vcf", {3096981123064277310u, 15844639983143593711u}},
        {"outlook-2003.vcf", {1665271654742576919u, 10762450693431093385u}},
        {"outlook-2007.vcf", {8092118624452279730u, 6172864436736374460u}},
        {"rfc2426-example.vcf", {15662782445838782539u, 1543742561346055083u}},
        {"rfc6350-example.vcf", {5483025936381949756u, 14489807795594516765u}},
        {"thunderbird-MoreFunctionsForAddressBook-extension.vcf", {1071815430106637439u, 11114464311187322547u}},
    };
    for (const auto& [name, sums] : expected) {
        const auto got = import(read(std::string(DOMORA_CORPUS_DIR) + "/vcard/" + name));
        EXPECT_EQ(got, sums) << name << ": {" << got.first << "u, " << got.second << "u}";
    }
}

TEST_F(ImportBytes, RandomCardsGiveTheSameFileAndLog) {
    const std::pair<std::uint32_t, std::pair<std::uint64_t, std::uint64_t>> expected[] = {
        {1, {14135994655468907093u, 4625024359213583378u}}, {2, {5081109245012749254u, 1060882797237408670u}}, {3, {6250256366157073550u, 2668720402601103842u}}, {4, {2241155807788991492u, 1825844314037630433u}}, {5, {9336379508662548550u, 4572672569442919962u}}, {6, {1174215978853358187u, 7939136886885161638u}}, {7, {6178338497915384744u, 4619127765231680153u}}, {8, {1734054664790402477u, 10302875847407364380u}},
    };
    for (const auto& [seed, sums] : expected) {
        const auto got = import(random_cards(seed, 150));
        EXPECT_EQ(got, sums) << "seed " << seed << ": {" << got.first << "u, " << got.second << "u}";
    }
}

}  // namespace
}  // namespace domora
