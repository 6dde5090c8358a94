#include "tools/scenario_fields.h"

#include <stdexcept>
#include <vector>

using nlohmann::json;

namespace scenario {

void Bad(const std::string& where, const std::string& why) {
    throw std::runtime_error(where + ": " + why);
}

void OnlyKeys(const json& object, const std::string& where, const std::set<std::string>& allowed) {
    if (!object.is_object()) Bad(where, "expected an object");
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!allowed.count(it.key())) Bad(where, "unknown field \"" + it.key() + "\"");
}

char Letter(const json& object, const std::string& where) {
    std::string s = Get<std::string>(object, "letter", where, "");
    if (s.size() != 1 || s[0] < 'A' || s[0] > 'Z')
        Bad(where + ".letter", "expected one letter A-Z");
    return s[0];
}

void LibraryFields(const json& object, const std::string& where, bool* installed,
                   std::set<std::string>* missingEntries) {
    *installed = Get<bool>(object, "installed", where, true);
    for (const std::string& name :
         Get<std::vector<std::string>>(object, "missingEntries", where, {}))
        missingEntries->insert(name);
}

}  // namespace scenario
