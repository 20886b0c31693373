// Secrets in memory for tests; with no_service set it plays a desktop
// where no Secret Service answers.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "platform/secret_store.h"

namespace domora {

class HeadlessSecretStore : public SecretStore {
public:
    bool no_service = false;
    std::map<std::pair<std::string, std::string>, std::string> secrets;
    int lookups = 0;

    Lookup find(const std::string& server, const std::string& user, std::string& secret) override {
        ++lookups;
        if (no_service) return Lookup::NoService;
        const auto found = secrets.find({server, user});
        if (found == secrets.end()) return Lookup::NotFound;
        secret = found->second;
        return Lookup::Found;
    }
    bool keep(const std::string&, const std::string& server, const std::string& user, const std::string& secret) override {
        if (no_service) return false;
        secrets[{server, user}] = secret;
        return true;
    }
    void forget(const std::string& server, const std::string& user) override { secrets.erase({server, user}); }
};

}  // namespace domora
