#include "codec/names.h"

NameRules HostNameRules() { return NameRules::Posix; }
NameRules OtherNameRules() { return NameRules::Windows; }
