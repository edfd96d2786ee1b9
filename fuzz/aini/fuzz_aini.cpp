// Settings text of any shape: parsing never reads past the input, every stored text keeps
// its limit, and the saved layout reads back to the same items. A value that holds both quote
// characters and needs quoting has no exact form, so the layout itself is only required to be
// stable from the second save on.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "quorvalib/files/Aini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Aini ini(Astring("fuzz.ini"));
    ini.LoadFromText(text);
    for (size_t i = 0; i < ini.ItemCount(); ++i) {
        const AiniItem& item = ini.Item(i);
        if (item.key && std::strlen(item.key) > Aini::kMaxKey) std::abort();
        if (item.value && std::strlen(item.value) > Aini::kMaxValue) std::abort();
        if (item.comment && std::strlen(item.comment) > Aini::kMaxComment) std::abort();
        if (item.IsHeader() && std::strlen(item.section) > Aini::kMaxSection) std::abort();
        if (item.IsKey() && !ini.Find(item.section ? item.section : "", item.key)) std::abort();
    }
    const std::string saved = ini.SaveText();
    Aini again(Astring("fuzz.ini"));
    again.LoadFromText(saved);
    if (again.ItemCount() != ini.ItemCount()) std::abort();
    const std::string savedAgain = again.SaveText();
    Aini third(Astring("fuzz.ini"));
    third.LoadFromText(savedAgain);
    if (third.ItemCount() != ini.ItemCount() || third.SaveText() != savedAgain) std::abort();
    return 0;
}
