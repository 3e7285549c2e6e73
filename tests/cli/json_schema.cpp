#include "tests/cli/json_schema.h"

#include <fstream>
#include <regex>
#include <set>
#include <stdexcept>

namespace vantrel::testing {

namespace {

bool HasType(const nlohmann::json& instance, const std::string& type) {
    if (type == "object") return instance.is_object();
    if (type == "array") return instance.is_array();
    if (type == "string") return instance.is_string();
    if (type == "integer") return instance.is_number_integer();
    if (type == "number") return instance.is_number();
    if (type == "boolean") return instance.is_boolean();
    if (type == "null") return instance.is_null();
    throw std::invalid_argument("unknown type in schema: " + type);
}

// Numbers compare by value, whatever their JSON representation (1 and 1.0 are equal).
bool SameValue(const nlohmann::json& a, const nlohmann::json& b) {
    if (a.is_number() && b.is_number()) return a.get<double>() == b.get<double>();
    return a == b;
}

const std::set<std::string> kAnnotations{"$schema", "$id", "title", "description", "$defs"};

}  // namespace

JsonSchema JsonSchema::FromFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    return JsonSchema(nlohmann::json::parse(in));
}

std::vector<std::string> JsonSchema::Check(const nlohmann::json& instance, const std::string& pointer) const {
    std::vector<std::string> faults;
    Validate(root_.at(nlohmann::json::json_pointer(pointer)), instance, "$", faults);
    return faults;
}

void JsonSchema::Validate(const nlohmann::json& schema, const nlohmann::json& instance, const std::string& where,
                          std::vector<std::string>& faults) const {
    if (schema.is_boolean()) {
        if (!schema.get<bool>()) faults.push_back(where + ": nothing is allowed here");
        return;
    }
    const auto fault = [&](const std::string& what) {
        faults.push_back(where + ": " + what + " (" + instance.dump() + ")");
    };
    for (const auto& [keyword, value] : schema.items()) {
        if (kAnnotations.count(keyword) > 0) continue;
        if (keyword == "$ref") {
            const std::string ref = value.get<std::string>();
            if (ref.rfind("#", 0) != 0) throw std::invalid_argument("only local references: " + ref);
            Validate(root_.at(nlohmann::json::json_pointer(ref.substr(1))), instance, where, faults);
        } else if (keyword == "oneOf") {
            int matching = 0;
            for (const auto& option : value) {
                std::vector<std::string> ignored;
                Validate(option, instance, where, ignored);
                if (ignored.empty()) ++matching;
            }
            if (matching != 1) fault("matches " + std::to_string(matching) + " of the oneOf choices, not 1");
        } else if (keyword == "type") {
            bool any = false;
            for (const auto& type : value.is_array() ? value : nlohmann::json::array({value})) {
                any = any || HasType(instance, type.get<std::string>());
            }
            if (!any) fault("not of type " + value.dump());
        } else if (keyword == "const") {
            if (!SameValue(instance, value)) fault("not " + value.dump());
        } else if (keyword == "enum") {
            bool any = false;
            for (const auto& allowed : value) any = any || SameValue(instance, allowed);
            if (!any) fault("not one of " + value.dump());
        } else if (keyword == "pattern") {
            if (instance.is_string() &&
                !std::regex_search(instance.get<std::string>(), std::regex(value.get<std::string>()))) {
                fault("does not match " + value.get<std::string>());
            }
        } else if (keyword == "minimum") {
            if (instance.is_number() && instance.get<double>() < value.get<double>()) fault("below " + value.dump());
        } else if (keyword == "maximum") {
            if (instance.is_number() && instance.get<double>() > value.get<double>()) fault("above " + value.dump());
        } else if (keyword == "required") {
            if (!instance.is_object()) continue;
            for (const auto& name : value) {
                if (!instance.contains(name.get<std::string>())) fault("lacks " + name.get<std::string>());
            }
        } else if (keyword == "properties") {
            if (!instance.is_object()) continue;
            for (const auto& [name, property] : value.items()) {
                if (instance.contains(name)) Validate(property, instance.at(name), where + "." + name, faults);
            }
        } else if (keyword == "additionalProperties") {
            if (!instance.is_object()) continue;
            const nlohmann::json& known = schema.contains("properties") ? schema.at("properties")
                                                                        : nlohmann::json::object();
            for (const auto& [name, field] : instance.items()) {
                if (!known.contains(name)) Validate(value, field, where + "." + name, faults);
            }
        } else if (keyword == "items") {
            if (!instance.is_array()) continue;
            for (std::size_t i = 0; i < instance.size(); ++i) {
                Validate(value, instance[i], where + "[" + std::to_string(i) + "]", faults);
            }
        } else {
            throw std::invalid_argument("keyword not checked by this validator: " + keyword);
        }
    }
}

}  // namespace vantrel::testing
