// SPDX-License-Identifier: GPL-3.0-or-later
// `ravelox-cli test --csv`: the interval objects of the JSON stream as CSV
// rows, so that both carry the same fields. A nested field is named by its
// path with "_" ("local_output_kbps"); null is an empty cell. The header is
// taken from the first row; later rows keep its columns.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// The object's scalar fields in order, nested objects after the scalars of
// their level: (column name, cell text).
std::vector<std::pair<std::string, std::string>> CsvCells(const nlohmann::json& object);

class TCsvWriter final {
public:
    // The lines to write for one object: the header before the first row.
    std::vector<std::string> Lines(const nlohmann::json& object);

private:
    std::vector<std::string> m_columns;
};
