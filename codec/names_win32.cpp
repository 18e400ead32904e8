#include "codec/names.h"

NameRules HostNameRules() { return NameRules::Windows; }
NameRules OtherNameRules() { return NameRules::Posix; }
