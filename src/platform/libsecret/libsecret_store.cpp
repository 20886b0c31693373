#include "platform/libsecret/libsecret_store.h"

#include <libsecret/secret.h>

#include "platform/cp1252.h"

namespace domora {

namespace {

// Secrets are found again by the server and the user name they were kept for.
const SecretSchema* schema() {
    static const SecretSchema kSchema = {
        "org.domora.ContactsSync",
        SECRET_SCHEMA_NONE,
        {
            {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &kSchema;
}

class LibsecretStore : public SecretStore {
public:
    Lookup find(const std::string& server, const std::string& user, std::string& secret) override {
        GError* error = nullptr;
        const std::string s = cp1252_to_utf8(server), u = cp1252_to_utf8(user);
        gchar* found = secret_password_lookup_sync(schema(), nullptr, &error, "server", s.c_str(), "user", u.c_str(), nullptr);
        if (error) {
            g_error_free(error);
            return Lookup::NoService;
        }
        if (!found) return Lookup::NotFound;
        secret = utf8_to_cp1252(found);
        secret_password_free(found);
        return Lookup::Found;
    }

    bool keep(const std::string& label, const std::string& server, const std::string& user, const std::string& secret) override {
        GError* error = nullptr;
        const std::string s = cp1252_to_utf8(server), u = cp1252_to_utf8(user);
        std::string password = cp1252_to_utf8(secret);
        const gboolean stored = secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, cp1252_to_utf8(label).c_str(),
                                                           password.c_str(), nullptr, &error, "server", s.c_str(), "user", u.c_str(), nullptr);
        for (char& c : password) c = 0;
        if (error) {
            g_error_free(error);
            return false;
        }
        return stored != FALSE;
    }

    void forget(const std::string& server, const std::string& user) override {
        GError* error = nullptr;
        const std::string s = cp1252_to_utf8(server), u = cp1252_to_utf8(user);
        secret_password_clear_sync(schema(), nullptr, &error, "server", s.c_str(), "user", u.c_str(), nullptr);
        if (error) g_error_free(error);
    }
};

}  // namespace

std::unique_ptr<SecretStore> make_libsecret_store() { return std::make_unique<LibsecretStore>(); }

}  // namespace domora
