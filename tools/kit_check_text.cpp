#include "tools/kit_check_text.h"

namespace vxk5 {

std::string CheckLine(const KitCheckResult& check) {
    switch (check.state) {
        case KitCheck::Matched:
            return "Check: XXH3-64 of the deflate stream (" + std::to_string(check.streamBytes) + " bytes), matches";
        case KitCheck::Unknown:
            return "Check: version " + std::to_string(check.version) + ", unknown to this tool; not checked";
        case KitCheck::Absent: return "Check: none; the deflate stream was not checked";
        default: return std::string("Check: ") + KitCheckText(check.state);
    }
}

std::vector<std::string> CheckDoubts(const KitCheckResult& check) {
    std::vector<std::string> doubts;
    if (check.state == KitCheck::Absent) {
        doubts.push_back("the kit carries no check of its deflate stream: damage that still inflates goes "
                         "unnoticed (vxk5-kit create writes one)");
    } else if (check.state == KitCheck::Unknown) {
        doubts.push_back("the kit's check is of version " + std::to_string(check.version) +
                         ", which this tool does not know: the deflate stream was not checked");
    }
    if (check.ignoredBytes != 0) {
        doubts.push_back(std::to_string(check.ignoredBytes) + " bytes after the deflate stream" +
                         (check.state == KitCheck::Absent ? "" : " and its check") + " are ignored");
    }
    return doubts;
}

std::string CheckDamage(const DistributionKit* kit) {
    if (kit == nullptr || !IsKitDamage(kit->Check().state)) return std::string();
    return std::string(", ") + KitCheckText(kit->Check().state);
}

}  // namespace vxk5
