#include "quorvalib/files/ProductVersion.h"

namespace quorvalib::files {

bool GetProductVersion(Astring& version) {
#if defined(TOV_VERSION_MAJOR) && defined(TOV_VERSION_MINOR) && defined(TOV_VERSION_PATCH)
    version = Astring::Format("%i.%i.%i", TOV_VERSION_MAJOR, TOV_VERSION_MINOR, TOV_VERSION_PATCH);
    return true;
#else
    version.Clear();
    return false;
#endif
}

}  // namespace quorvalib::files
