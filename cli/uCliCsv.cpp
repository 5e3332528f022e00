// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliCsv.h"

#include <map>

namespace {

std::string Cell(const nlohmann::json& value) {
    if (value.is_null())
        return {};
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (text.find_first_of(",\"\n") == std::string::npos)
            return text;
        std::string quoted = "\"";
        for (const char c : text)
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        return quoted + "\"";
    }
    return value.dump();
}

void Flatten(const nlohmann::json& object, const std::string& prefix,
             std::vector<std::pair<std::string, std::string>>& out) {
    for (const auto& [key, value] : object.items()) {
        if (!value.is_object())
            out.emplace_back(prefix + key, Cell(value));
    }
    for (const auto& [key, value] : object.items()) {
        if (value.is_object())
            Flatten(value, prefix + key + "_", out);
    }
}

std::string Join(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i)
        line += (i == 0 ? "" : ",") + cells[i];
    return line;
}

} // namespace

std::vector<std::pair<std::string, std::string>> CsvCells(const nlohmann::json& object) {
    std::vector<std::pair<std::string, std::string>> cells;
    if (object.is_object())
        Flatten(object, "", cells);
    return cells;
}

std::vector<std::string> TCsvWriter::Lines(const nlohmann::json& object) {
    const auto cells = CsvCells(object);
    std::vector<std::string> lines;
    if (m_columns.empty()) {
        for (const auto& cell : cells)
            m_columns.push_back(cell.first);
        lines.push_back(Join(m_columns));
    }
    std::map<std::string, std::string> byName(cells.begin(), cells.end());
    std::vector<std::string> row;
    for (const std::string& column : m_columns)
        row.push_back(byName[column]);
    lines.push_back(Join(row));
    return lines;
}
