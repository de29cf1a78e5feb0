#include "platform/port_list.h"

namespace vemla {

std::string TPortInfo::Describe() const {
    std::string text = Path;
    for (const std::string* part : {&ById, &Driver})
        if (!part->empty()) text += "  " + *part;
    if (!Vendor.empty()) text += "  " + Vendor + ":" + Product;
    if (!Serial.empty()) text += "  " + Serial;
    return text;
}

} // namespace vemla
