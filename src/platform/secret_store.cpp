#include "platform/secret_store.h"

namespace domora {

namespace {

class NoSecretService : public SecretStore {
public:
    Lookup find(const std::string&, const std::string&, std::string&) override { return Lookup::NoService; }
    bool keep(const std::string&, const std::string&, const std::string&, const std::string&) override { return false; }
    void forget(const std::string&, const std::string&) override {}
};

NoSecretService g_none;
SecretStore* g_store = nullptr;

}  // namespace

void set_secret_store(SecretStore* store) { g_store = store; }

SecretStore& secret_store() { return g_store ? *g_store : g_none; }

}  // namespace domora
