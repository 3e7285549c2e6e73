// The part of JSON Schema (draft 2020-12) that docs/json-events.schema.json uses, enough to hold the console's
// output to its documentation. A keyword it does not know is an error, so the schema cannot say more than
// is checked.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vantrel::testing {

class JsonSchema {
public:
    explicit JsonSchema(nlohmann::json root) : root_(std::move(root)) {}
    // Loads docs/json-events.schema.json from the source tree.
    static JsonSchema FromFile(const std::string& path);

    // What is wrong with instance against the definition at pointer ("" for the whole schema), one line a fault.
    std::vector<std::string> Check(const nlohmann::json& instance, const std::string& pointer = "") const;

private:
    void Validate(const nlohmann::json& schema, const nlohmann::json& instance, const std::string& where,
                  std::vector<std::string>& faults) const;

    nlohmann::json root_;
};

}  // namespace vantrel::testing
