// The desktop's Secret Service through libsecret (GNOME Keyring, KWallet's
// Secret Service, KeePassXC and others answer it).
#pragma once

#include <memory>

#include "platform/secret_store.h"

namespace domora {

std::unique_ptr<SecretStore> make_libsecret_store();

}  // namespace domora
