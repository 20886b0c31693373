// Stored credentials: the password of the contacts sync goes to the
// desktop's Secret Service, never to a file of ours. The real backend talks
// to the Secret Service through libsecret; the headless one keeps secrets in
// memory and can play a desktop without any service. Until one is set there
// is no service at all.
//
// Texts are Windows-1252 byte strings, as everywhere in the platform layer.
#pragma once

#include <string>

namespace domora {

class SecretStore {
public:
    virtual ~SecretStore() = default;
    enum class Lookup { Found, NotFound, NoService };
    // The secret kept for this server and user.
    virtual Lookup find(const std::string& server, const std::string& user, std::string& secret) = 0;
    // False when no service took it.
    virtual bool keep(const std::string& label, const std::string& server, const std::string& user, const std::string& secret) = 0;
    virtual void forget(const std::string& server, const std::string& user) = 0;
};

void set_secret_store(SecretStore* store);
// The store set, or one that answers NoService.
SecretStore& secret_store();

}  // namespace domora
